// The split of a configuration value into the store's value layers, as the
// layer markers of its schema say.
#include "tarn/config_validation.h"
#include "tarn/platform/config_store_document.h"

namespace TarnConfigStore {
namespace {

// Chunk capacity of the pool of each layer's working copy.
constexpr size_t kLayerChunkCapacity = 65536;

} // namespace

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

std::unordered_map<std::string, std::string> SplitConfig(const rapidjson::Value& value,
                                                         const rapidjson::Value& schema) {
    std::unordered_map<std::string, std::string> layers;
    for (const char* layer : {LAYER_USER, LAYER_VITAL, LAYER_CACHED}) {
        rapidjson::MemoryPoolAllocator<> allocator(kLayerChunkCapacity);
        rapidjson::Document copy(&allocator);
        copy.CopyFrom(value, allocator);
        std::string text;
        if (ProcessConfig(copy, schema, layer)) ConfigStoreDocument::SerializeValue(copy, text);
        layers[layer] = text;
    }
    return layers;
}

} // namespace TarnConfigStore
