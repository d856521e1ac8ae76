// The split of a configuration value into the store's value layers, as the
// layer markers of its schema say.
#include <cstring>

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

// Writes one layer's text of a value straight from the value, without the
// pruned copy ProcessConfig works on: each part goes out as the walk keeps
// it, and a part the walk drops afterwards is cut off the text again. The
// decisions, and the schema lookups that throw, are ProcessConfig's, in its
// order.
class LayerWriter {
public:
    explicit LayerWriter(const char* layer) : m_layer(layer), m_user(std::strcmp(layer, LAYER_USER) == 0) {}

    // The layer's text of value, empty when nothing of it belongs there.
    std::string Text(const rapidjson::Value& value, const rapidjson::Value& schema) {
        std::string text;
        if (Write(value, schema)) {
            if (m_failedAt != kNone) ThrowInvalidJson();  // NaN or infinity
            text.assign(m_buffer.GetString(), m_buffer.GetSize());
        }
        return text;
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    // Writes value as ProcessConfig(value, node, layer) would leave it, and
    // returns what that returns; on false, what it wrote is to be cut off.
    bool Write(const rapidjson::Value& value, const rapidjson::Value& node) {
        auto instanceId = node.FindMember("instanceId");
        if (instanceId != node.MemberEnd() && instanceId->value.IsTrue()) return Whole(value);
        if (m_user) {
            if (node.HasMember(LAYER_VITAL) || node.HasMember(LAYER_CACHED)) return false;
        } else if (node.HasMember(m_layer)) {
            return Whole(value);
        }
        if (value.IsObject()) {
            if (value.MemberCount() == 0) return m_user && Whole(value);
            return Object(value, node["properties"]);
        }
        if (value.IsArray() && !value.Empty()) {
            const rapidjson::Value& items = node["items"];
            if (!(items["type"] == "object")) return m_user && Whole(value);
            m_buffer.Put('[');
            bool any = false;
            for (const rapidjson::Value& element : value.GetArray()) {
                const size_t mark = m_buffer.GetSize();
                if (any) m_buffer.Put(',');
                if (Write(element, items)) any = true;
                else CutTo(mark);
            }
            m_buffer.Put(']');
            return any;
        }
        return m_user && Whole(value);
    }

    bool Object(const rapidjson::Value& value, const rapidjson::Value& props) {
        m_buffer.Put('{');
        const rapidjson::Value* first = nullptr;
        size_t kept = 0;
        for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m) {
            const size_t mark = m_buffer.GetSize();
            if (kept) m_buffer.Put(',');
            Piece(m->name);
            m_buffer.Put(':');
            if (!Write(m->value, props[m->name])) {
                CutTo(mark);
            } else if (!kept++) {
                first = &m->name;
            }
        }
        m_buffer.Put('}');
        if (kept == 0) return false;
        if (m_user || kept > 1) return true;
        // A vital or cached part that holds nothing but the identifier of
        // its object does not count.
        const rapidjson::Value& only = props[*first];
        auto mark = only.FindMember(m_layer);
        if (mark != only.MemberEnd() && mark->value.GetBool()) return true;
        auto id = only.FindMember("instanceId");
        if (id == only.MemberEnd()) return true;
        return !id->value.GetBool();
    }

    bool Whole(const rapidjson::Value& value) {
        Piece(value);
        return true;
    }

    // A value written on its own; one the writer refuses (NaN, infinity)
    // fails the text unless the walk drops it again.
    void Piece(const rapidjson::Value& value) {
        const size_t start = m_buffer.GetSize();
        m_writer.Reset(m_buffer);
        if (!value.Accept(m_writer) && m_failedAt == kNone) m_failedAt = start;
    }

    void CutTo(size_t size) {
        m_buffer.Pop(m_buffer.GetSize() - size);
        if (m_failedAt != kNone && m_failedAt >= size) m_failedAt = kNone;
    }

    const char* m_layer;
    bool m_user;
    rapidjson::StringBuffer m_buffer;
    rapidjson::Writer<rapidjson::StringBuffer> m_writer{m_buffer};
    size_t m_failedAt = kNone;  // where the first refused value begins
};

} // namespace

std::unordered_map<std::string, std::string> SplitConfig(const rapidjson::Value& value,
                                                         const rapidjson::Value& schema) {
    std::unordered_map<std::string, std::string> layers;
    for (const char* layer : {LAYER_USER, LAYER_VITAL, LAYER_CACHED})
        layers[layer] = LayerWriter(layer).Text(value, schema);
    return layers;
}

} // namespace TarnConfigStore
