// The split of a configuration value into the store's value layers, as the
// layer markers of its schema say.
#include "tarn/config_validation.h"
#include "tarn/exceptions.h"

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

// Writes the three layers' texts of a value in one walk, straight from the
// value, without the pruned copies ProcessConfig works on: each part goes
// out as the walk keeps it for a layer, and a part the walk drops for a
// layer afterwards is cut off that layer's text again. The decisions are
// ProcessConfig's for each layer; the schema lookups are the ones its three
// walks make, each made once, so a shape they refuse throws as well.
class LayerWriter {
public:
    // The texts, in kLayers' order; empty where nothing belongs.
    std::unordered_map<std::string, std::string> Texts(const rapidjson::Value& value, const rapidjson::Value& schema) {
        const unsigned kept = Write(value, schema, kAll);
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

    // Writes value for each layer of active as ProcessConfig(value, node,
    // layer) would leave it; returns the layers for which that returns true.
    // What it wrote for the others is to be cut off.
    unsigned Write(const rapidjson::Value& value, const rapidjson::Value& node, unsigned active) {
        auto instanceId = node.FindMember("instanceId");
        if (instanceId != node.MemberEnd() && instanceId->value.IsTrue()) return Whole(value, active);
        const bool vital = node.HasMember(LAYER_VITAL), cached = node.HasMember(LAYER_CACHED);
        const unsigned whole = active & ((vital ? kVital : 0) | (cached ? kCached : 0));
        const unsigned walking = active & ~whole & ~(vital || cached ? kUser : 0);
        const unsigned kept = Whole(value, whole);
        if (!walking) return kept;
        if (value.IsObject()) {
            if (value.MemberCount() == 0) return kept | Whole(value, walking & kUser);
            return kept | Object(value, node["properties"], walking);
        }
        if (value.IsArray() && !value.Empty()) {
            const rapidjson::Value& items = node["items"];
            if (!(items["type"] == "object")) return kept | Whole(value, walking & kUser);
            return kept | Array(value, items, walking);
        }
        return kept | Whole(value, walking & kUser);
    }

    unsigned Object(const rapidjson::Value& value, const rapidjson::Value& props, unsigned walking) {
        Put('{', walking);
        size_t kept[3] = {0, 0, 0};
        const rapidjson::Value* first[3] = {nullptr, nullptr, nullptr};
        for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m) {
            size_t marks[3];
            for (unsigned l = 0; l < 3; ++l) {
                if (!(walking & Bit(l))) continue;
                marks[l] = m_buffers[l].GetSize();
                if (kept[l]) m_buffers[l].Put(',');
                Piece(l, m->name);
                m_buffers[l].Put(':');
            }
            const unsigned keep = Write(m->value, props[m->name], walking);
            for (unsigned l = 0; l < 3; ++l) {
                if (!(walking & Bit(l))) continue;
                if (!(keep & Bit(l))) CutTo(l, marks[l]);
                else if (!kept[l]++) first[l] = &m->name;
            }
        }
        Put('}', walking);
        unsigned result = 0;
        for (unsigned l = 0; l < 3; ++l)
            if ((walking & Bit(l)) && kept[l] && (l == 0 || kept[l] > 1 || Counts(props[*first[l]], kLayers[l])))
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
        Put('[', walking);
        unsigned any = 0;
        for (const rapidjson::Value& element : value.GetArray()) {
            size_t marks[3];
            for (unsigned l = 0; l < 3; ++l) {
                if (!(walking & Bit(l))) continue;
                marks[l] = m_buffers[l].GetSize();
                if (any & Bit(l)) m_buffers[l].Put(',');
            }
            const unsigned keep = Write(element, items, walking);
            for (unsigned l = 0; l < 3; ++l)
                if ((walking & Bit(l)) && !(keep & Bit(l))) CutTo(l, marks[l]);
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
    return LayerWriter().Texts(value, schema);
}

} // namespace TarnConfigStore
