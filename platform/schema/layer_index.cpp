#include "schema/layer_index.h"

#include <string_view>
#include <utility>

#include "schema/schema_walk.h"
#include "tarn/platform/schema_store.h"

namespace TarnSchemaValidation {
namespace {

std::string_view NameOf(const rapidjson::Value& name) { return {name.GetString(), name.GetStringLength()}; }

// The keywords of a node the layer rules read, found in one pass over its
// members; each is the first member of its name, as FindMember finds it.
// All null for a node that is not an object.
struct LayerKeywords {
    const rapidjson::Value* instanceId = nullptr;
    const rapidjson::Value* vital = nullptr;
    const rapidjson::Value* cached = nullptr;
    const rapidjson::Value* properties = nullptr;
    const rapidjson::Value* items = nullptr;
    const rapidjson::Value* type = nullptr;

    explicit LayerKeywords(const rapidjson::Value& node) {
        if (!node.IsObject()) return;
        const std::pair<std::string_view, const rapidjson::Value**> wanted[] = {
            {TarnSchemaWalk::MARK_INSTANCE_ID, &instanceId},
            {TarnSchemaWalk::MARK_VITAL, &vital},
            {TarnSchemaWalk::MARK_CACHED, &cached},
            {"properties", &properties},
            {"items", &items},
            {"type", &type}};
        for (auto m = node.MemberBegin(); m != node.MemberEnd(); ++m)
            for (const auto& [keyword, slot] : wanted)
                if (!*slot && keyword == NameOf(m->name)) *slot = &m->value;
    }
    bool IsInstanceId() const { return TarnSchemaWalk::IsTrue(instanceId); }
};

} // namespace

const LayerNode* LayerNode::Property(const rapidjson::Value& name) const {
    auto found = properties.find(NameOf(name));
    return found == properties.end() ? nullptr : found->second;
}

LayerIndex::LayerIndex(const rapidjson::Value& schema) { Add(schema); }

// Recurses as deep as the schema nests; every schema was parsed with a
// bounded depth.
const LayerNode* LayerIndex::Add(const rapidjson::Value& node) {
    LayerNode& added = m_nodes.emplace_back();
    if (!node.IsObject()) return &added;
    added.isObject = true;
    const LayerKeywords keywords(node);
    added.instanceId = keywords.IsInstanceId();
    added.vital = keywords.vital != nullptr;
    added.cached = keywords.cached != nullptr;
    added.hasType = keywords.type != nullptr;
    added.typeObject = TarnSchemaWalk::StringEquals(keywords.type, "object");
    if (keywords.items && keywords.items->IsObject()) added.items = Add(*keywords.items);
    if (keywords.properties && keywords.properties->IsObject()) {
        added.propertiesObject = true;
        added.properties.reserve(keywords.properties->MemberCount());
        for (auto m = keywords.properties->MemberBegin(); m != keywords.properties->MemberEnd(); ++m)
            if (!added.properties.count(NameOf(m->name))) added.properties.emplace(NameOf(m->name), Add(m->value));
    }
    if (auto id = added.properties.find(TarnSchemaStore::GENERATED_ID_FIELD);
        id != added.properties.end() && id->second->instanceId)
        added.declaresGeneratedId = m_generatesIds = true;
    return &added;
}

} // namespace TarnSchemaValidation
