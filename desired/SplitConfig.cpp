// The split of a configuration value into the store's value layers, as the
// layer markers of its schema say.
#include "tarn/config_validation.h"
#include "tarn/exceptions.h"

#include <cstring>

namespace TarnConfigStore {

bool ProcessConfig(rapidjson::Value& value, const rapidjson::Value& node, const std::string& layer) {
    auto instanceId = node.FindMember("instanceId");
    if (instanceId != node.MemberEnd() && instanceId->value.IsTrue()) return true;  // in every layer, whole

    const bool user = layer == LAYER_USER;
    if (user) {
        if (node.HasMember(LAYER_VITAL) || node.HasMember(LAYER_CACHED)) return false;
    } else if (node.HasMember(layer)) {
        return true;
    }

    if (value.IsObject()) {
        if (value.MemberCount() == 0) return user;
        const rapidjson::Value& props = node["properties"];
        for (auto m = value.MemberBegin(); m != value.MemberEnd();) {
            // EraseMember keeps the order; the next member moves into m.
            m = ProcessConfig(m->value, props[m->name], layer) ? m + 1 : value.EraseMember(m);
        }
        if (value.MemberCount() == 0) return false;
        if (user || value.MemberCount() > 1) return true;
        // A vital or cached part that holds nothing but the identifier of
        // its object does not count.
        const rapidjson::Value& only = props[value.MemberBegin()->name];
        auto mark = only.FindMember(layer.c_str());
        if (mark != only.MemberEnd() && mark->value.GetBool()) return true;
        auto id = only.FindMember("instanceId");
        if (id == only.MemberEnd()) return true;
        return !id->value.GetBool();
    }

    if (value.IsArray() && !value.Empty()) {
        const rapidjson::Value& items = node["items"];
        if (!(items["type"] == "object")) return user;
        for (auto e = value.Begin(); e != value.End();) e = ProcessConfig(*e, items, layer) ? e + 1 : value.Erase(e);
        return !value.Empty();
    }
    return user;
}

namespace {

constexpr const char* kLayers[] = {LAYER_USER, LAYER_VITAL, LAYER_CACHED};
constexpr unsigned kUser = 1, kVital = 2, kCached = 4, kAll = 7;

bool NameIs(const rapidjson::Value& name, const char* text, rapidjson::SizeType length) {
    return name.GetStringLength() == length && std::memcmp(name.GetString(), text, length) == 0;
}

// The keywords of a schema node the split reads, found in one pass over its
// members (the first of a repeated name, as FindMember finds it). A node
// that is not an object is refused, as looking a keyword up in it is.
struct Keywords {
    const rapidjson::Value* instanceId = nullptr;
    const rapidjson::Value* vital = nullptr;
    const rapidjson::Value* cached = nullptr;
    const rapidjson::Value* properties = nullptr;
    const rapidjson::Value* items = nullptr;

    explicit Keywords(const rapidjson::Value& node) {
        if (!node.IsObject()) ThrowInvalidJson();
        for (auto m = node.MemberBegin(); m != node.MemberEnd(); ++m) {
            const rapidjson::Value& name = m->name;
            const rapidjson::Value* value = &m->value;
            switch (name.GetStringLength()) {
            case 5:
                if (!vital && NameIs(name, LAYER_VITAL, 5)) vital = value;
                else if (!items && NameIs(name, "items", 5)) items = value;
                break;
            case 6:
                if (!cached && NameIs(name, LAYER_CACHED, 6)) cached = value;
                break;
            case 10:
                if (!instanceId && NameIs(name, "instanceId", 10)) instanceId = value;
                else if (!properties && NameIs(name, "properties", 10)) properties = value;
                break;
            default:
                break;
            }
        }
    }

    bool IsIdentifier() const { return instanceId && instanceId->IsTrue(); }
    // Layers of active that keep the value whole, and those the walk decides.
    unsigned Whole(unsigned active) const { return active & ((vital ? kVital : 0) | (cached ? kCached : 0)); }
    unsigned Walking(unsigned active) const { return active & ~Whole(active) & ~(vital || cached ? kUser : 0); }
    const rapidjson::Value& Properties() const {
        if (!properties) ThrowInvalidJson();
        return *properties;
    }
    // The "items" node when it describes objects, else null.
    const rapidjson::Value* ObjectItems() const {
        if (!items) ThrowInvalidJson();
        return (*items)["type"] == "object" ? items : nullptr;
    }
};

const rapidjson::Value& PropertyNode(const rapidjson::Value& properties, const rapidjson::Value& name) {
    if (!properties.IsObject()) ThrowInvalidJson();
    auto found = properties.FindMember(name);
    if (found == properties.MemberEnd()) ThrowInvalidJson();
    return found->value;
}

// Writes the three layers' texts of a value in one walk, straight from the
// value, without the pruned copies ProcessConfig works on: each part goes
// out as the walk keeps it for a layer, and a part the walk drops for a
// layer afterwards is cut off that layer's text again. The decisions are
// ProcessConfig's for each layer, and a shape its walks refuse throws here
// as well. One writer serves a thread's splits, so its buffers are reused.
class LayerWriter {
public:
    // The texts, in kLayers' order; empty where nothing belongs.
    std::unordered_map<std::string, std::string> Texts(const rapidjson::Value& value, const rapidjson::Value& schema) {
        for (unsigned l = 0; l < 3; ++l) {
            m_buffers[l].Clear();
            m_failedAt[l] = kNone;
        }
        const unsigned kept = Write(value, Keywords(schema), kAll);
        std::unordered_map<std::string, std::string> texts;
        for (unsigned l = 0; l < 3; ++l) {
            std::string& text = texts[kLayers[l]];
            if (!(kept & Bit(l))) continue;
            if (m_failedAt[l] != kNone) ThrowInvalidJson();  // NaN or infinity
            text.assign(m_buffers[l].GetString(), m_buffers[l].GetSize());
        }
        return texts;
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    static unsigned Bit(unsigned l) { return 1u << l; }

    static bool Descends(const rapidjson::Value& value, const Keywords& node) {
        if (value.IsObject()) return value.MemberCount() > 0;
        return value.IsArray() && !value.Empty() && node.ObjectItems();
    }

    // The layers of active that Write may write the value into: exactly the
    // ones it keeps, unless the walk descends into the value.
    static unsigned Reach(const rapidjson::Value& value, const Keywords& node, unsigned active) {
        if (node.IsIdentifier()) return active;
        const unsigned walking = node.Walking(active);
        return node.Whole(active) | (walking && Descends(value, node) ? walking : walking & kUser);
    }

    // Writes value for each layer of active as ProcessConfig(value, node,
    // layer) would leave it; returns the layers for which that returns true.
    // What it wrote for the others is to be cut off.
    unsigned Write(const rapidjson::Value& value, const Keywords& node, unsigned active) {
        if (node.IsIdentifier()) return Whole(value, active);
        const unsigned walking = node.Walking(active);
        const unsigned kept = Whole(value, node.Whole(active));
        if (!walking) return kept;
        if (value.IsObject() && value.MemberCount() > 0) return kept | Object(value, node.Properties(), walking);
        if (value.IsArray() && !value.Empty())
            if (const rapidjson::Value* items = node.ObjectItems()) return kept | Array(value, *items, walking);
        return kept | Whole(value, walking & kUser);
    }

    unsigned Object(const rapidjson::Value& value, const rapidjson::Value& props, unsigned walking) {
        Put('{', walking);
        size_t kept[3] = {0, 0, 0};
        const rapidjson::Value* first[3] = {nullptr, nullptr, nullptr};
        for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m) {
            const rapidjson::Value& child = PropertyNode(props, m->name);
            const Keywords keywords(child);
            const unsigned reach = Reach(m->value, keywords, walking);
            size_t marks[3];
            for (unsigned l = 0; l < 3; ++l) {
                if (!(reach & Bit(l))) continue;
                marks[l] = m_buffers[l].GetSize();
                if (kept[l]) m_buffers[l].Put(',');
                Piece(l, m->name);
                m_buffers[l].Put(':');
            }
            const unsigned keep = Write(m->value, keywords, walking);
            for (unsigned l = 0; l < 3; ++l) {
                if (!(reach & Bit(l))) continue;
                if (!(keep & Bit(l))) CutTo(l, marks[l]);
                else if (!kept[l]++) first[l] = &child;
            }
        }
        Put('}', walking);
        unsigned result = 0;
        for (unsigned l = 0; l < 3; ++l)
            if ((walking & Bit(l)) && kept[l] && (l == 0 || kept[l] > 1 || Counts(*first[l], kLayers[l])))
                result |= Bit(l);
        return result;
    }

    // A vital or cached part that holds nothing but the identifier of its
    // object does not count: whether the one member left, of node only, does.
    static bool Counts(const rapidjson::Value& only, const char* layer) {
        auto mark = only.FindMember(layer);
        if (mark != only.MemberEnd() && mark->value.GetBool()) return true;
        auto id = only.FindMember("instanceId");
        if (id == only.MemberEnd()) return true;
        return !id->value.GetBool();
    }

    unsigned Array(const rapidjson::Value& value, const rapidjson::Value& items, unsigned walking) {
        const Keywords keywords(items);
        Put('[', walking);
        unsigned any = 0;
        for (const rapidjson::Value& element : value.GetArray()) {
            const unsigned reach = Reach(element, keywords, walking);
            size_t marks[3];
            for (unsigned l = 0; l < 3; ++l) {
                if (!(reach & Bit(l))) continue;
                marks[l] = m_buffers[l].GetSize();
                if (any & Bit(l)) m_buffers[l].Put(',');
            }
            const unsigned keep = Write(element, keywords, walking);
            for (unsigned l = 0; l < 3; ++l)
                if ((reach & Bit(l)) && !(keep & Bit(l))) CutTo(l, marks[l]);
            any |= keep;
        }
        Put(']', walking);
        return any;
    }

    unsigned Whole(const rapidjson::Value& value, unsigned layers) {
        for (unsigned l = 0; l < 3; ++l)
            if (layers & Bit(l)) Piece(l, value);
        return layers;
    }

    void Put(char c, unsigned layers) {
        for (unsigned l = 0; l < 3; ++l)
            if (layers & Bit(l)) m_buffers[l].Put(c);
    }

    // A value written on its own; one the writer refuses (NaN, infinity)
    // fails the layer's text unless the walk drops it again.
    void Piece(unsigned l, const rapidjson::Value& value) {
        const size_t start = m_buffers[l].GetSize();
        m_writer.Reset(m_buffers[l]);
        if (!value.Accept(m_writer) && m_failedAt[l] == kNone) m_failedAt[l] = start;
    }

    void CutTo(unsigned l, size_t size) {
        m_buffers[l].Pop(m_buffers[l].GetSize() - size);
        if (m_failedAt[l] != kNone && m_failedAt[l] >= size) m_failedAt[l] = kNone;
    }

    rapidjson::StringBuffer m_buffers[3];
    rapidjson::Writer<rapidjson::StringBuffer> m_writer{m_buffers[0]};
    size_t m_failedAt[3] = {kNone, kNone, kNone};  // where the first refused value begins
};

} // namespace

std::unordered_map<std::string, std::string> SplitConfig(const rapidjson::Value& value,
                                                         const rapidjson::Value& schema) {
    thread_local LayerWriter writer;
    return writer.Texts(value, schema);
}

} // namespace TarnConfigStore
