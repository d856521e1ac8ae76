// Completing an entry's schema and deriving its user schema.
#include <string>
#include <string_view>
#include <unordered_set>

#include "schema/schema_entry.h"
#include "schema/schema_walk.h"
#include "tarn/platform/schema_store.h"

namespace TarnSchemaEntry {
namespace {

using TarnSchemaWalk::Member;

[[noreturn]] void Refuse(const std::string& why) { throw EntryError("schema: " + why); }

// "additionalProperties": false on every object node of the split's path
// that leaves other members open, so a valid value is one the split can
// place. Nodes that combine schemas are left to their author. A node's
// keywords are found in one pass over its members, the first of a name
// counting as Member finds it; positions, since adding a member may move
// them all.
void CloseObjects(rapidjson::Value& node, rapidjson::Document::AllocatorType& allocator) {
    if (!node.IsObject()) return;
    constexpr rapidjson::SizeType kNone = ~rapidjson::SizeType(0);
    rapidjson::SizeType props = kNone, items = kNone;
    bool combines = false, othersSaid = false, instanceId = false, instanceIdSeen = false;
    for (auto m = node.MemberBegin(); m != node.MemberEnd(); ++m) {
        const std::string_view key(m->name.GetString(), m->name.GetStringLength());
        const auto at = static_cast<rapidjson::SizeType>(m - node.MemberBegin());
        if (key == "allOf" || key == "anyOf" || key == "oneOf" || key == "$ref") combines = true;
        else if (key == "additionalProperties" || key == "patternProperties") othersSaid = true;
        else if (key == "properties" && props == kNone) props = at;
        else if (key == "items" && items == kNone) items = at;
        else if (key == TarnSchemaWalk::MARK_INSTANCE_ID && !instanceIdSeen) {
            instanceIdSeen = true;
            instanceId = TarnSchemaWalk::IsTrue(&m->value);
        }
    }
    if (instanceId) return;
    if (!combines && !othersSaid && (props != kNone || TarnSchemaWalk::TypeIncludes(node, "object")))
        node.AddMember("additionalProperties", false, allocator);
    if (props != kNone && node.MemberBegin()[props].value.IsObject()) {
        rapidjson::Value& properties = node.MemberBegin()[props].value;
        for (auto p = properties.MemberBegin(); p != properties.MemberEnd(); ++p) CloseObjects(p->value, allocator);
    }
    if (items != kNone && node.MemberBegin()[items].value.IsObject())
        CloseObjects(node.MemberBegin()[items].value, allocator);
}

void MarkIdentifier(rapidjson::Document& schema, const std::string& idField) {
    auto& allocator = schema.GetAllocator();
    if (Member(schema, "type") && !TarnSchemaWalk::TypeIncludes(schema, "object"))
        Refuse("an object with instances must have \"type\": \"object\"");
    if (!Member(schema, "type")) schema.AddMember("type", "object", allocator);
    if (!Member(schema, "properties")) schema.AddMember("properties", rapidjson::Value(rapidjson::kObjectType), allocator);
    if (!Member(schema, "required")) schema.AddMember("required", rapidjson::Value(rapidjson::kArrayType), allocator);

    rapidjson::Value& props = schema["properties"];
    rapidjson::Value* node = Member(props, idField.c_str());
    if (!node) {
        if (idField != TarnSchemaStore::GENERATED_ID_FIELD)
            Refuse("the idField '" + idField + "' is not described under \"properties\"");
        rapidjson::Value generated(rapidjson::kObjectType);
        generated.AddMember("type", "string", allocator);
        generated.AddMember("instanceId", true, allocator);
        props.AddMember(rapidjson::Value(idField.c_str(), allocator), generated, allocator);
        node = Member(props, idField.c_str());
    }
    if (!node->IsObject()) Refuse("the node of the idField '" + idField + "' must be an object");
    if (const rapidjson::Value* mark = Member(*node, TarnSchemaWalk::MARK_INSTANCE_ID)) {
        if (!TarnSchemaWalk::IsTrue(mark)) Refuse("the idField '" + idField + "' cannot be marked \"instanceId\": false");
    } else {
        node->AddMember("instanceId", true, allocator);
    }
    rapidjson::Value& required = schema["required"];
    bool listed = false;
    for (const auto& r : required.GetArray()) listed = listed || (r.IsString() && idField == r.GetString());
    if (!listed) required.PushBack(rapidjson::Value(idField.c_str(), allocator), allocator);
}

rapidjson::Value Refusal(const char* why, rapidjson::Document::AllocatorType& allocator) {
    rapidjson::Value node(rapidjson::kObjectType);
    node.AddMember("not", rapidjson::Value(rapidjson::kObjectType), allocator);
    node.AddMember("title", rapidjson::Value(why, allocator), allocator);
    return node;
}

const char* LayerRefusal(const rapidjson::Value& node) {
    const bool vital = Member(node, TarnSchemaWalk::MARK_VITAL) != nullptr;
    const bool cached = Member(node, TarnSchemaWalk::MARK_CACHED) != nullptr;
    if (vital && cached) return "member of the vital and cached layers; a user value cannot set it";
    return vital ? "member of the vital layer; a user value cannot set it"
                 : "member of the cached layer; a user value cannot set it";
}

bool Marked(const rapidjson::Value& node) {
    return !TarnSchemaWalk::IsInstanceIdNode(node) && TarnSchemaWalk::HasLayerMarker(node);
}

// Replaces the marked members by refusals, the way the split leaves them out
// of the user layer: through "properties" and object "items".
void Strip(rapidjson::Value& node, rapidjson::Document::AllocatorType& allocator) {
    if (!node.IsObject() || TarnSchemaWalk::IsInstanceIdNode(node)) return;
    std::unordered_set<std::string_view> dropped;
    if (rapidjson::Value* props = Member(node, "properties"); props && props->IsObject()) {
        for (auto p = props->MemberBegin(); p != props->MemberEnd(); ++p) {
            if (Marked(p->value)) {
                p->value = Refusal(LayerRefusal(p->value), allocator);
                dropped.emplace(p->name.GetString(), p->name.GetStringLength());
            } else {
                Strip(p->value, allocator);
            }
        }
    }
    if (rapidjson::Value* items = Member(node, "items");
        items && items->IsObject() && TarnSchemaWalk::StringEquals(Member(*items, "type"), "object")) {
        if (Marked(*items))
            *items = Refusal(LayerRefusal(*items), allocator);
        else
            Strip(*items, allocator);
    }
    rapidjson::Value* required = Member(node, "required");
    if (dropped.empty() || !required || !required->IsArray()) return;
    rapidjson::Value kept(rapidjson::kArrayType);  // one pass: erasing each name would shift the rest every time
    for (auto& r : required->GetArray())
        if (!r.IsString() || !dropped.count({r.GetString(), r.GetStringLength()})) kept.PushBack(r, allocator);
    *required = kept;
    if (required->Empty()) node.RemoveMember("required");  // draft 4 wants at least one name
}

} // namespace

void CompleteSchema(rapidjson::Document& schema, const std::string& idField) {
    if (!schema.IsObject()) Refuse("the schema must be an object");
    if (!idField.empty()) MarkIdentifier(schema, idField);
    if (const rapidjson::Value* props = Member(schema, "properties"); props && props->IsObject())
        for (auto p = props->MemberBegin(); p != props->MemberEnd(); ++p) {
            if (p->name == idField.c_str() || !TarnSchemaWalk::IsInstanceIdNode(p->value)) continue;
            const std::string member(p->name.GetString(), p->name.GetStringLength());
            if (idField.empty()) Refuse("a singleton object has no identifier, so '" + member + "' cannot be marked \"instanceId\"");
            Refuse("only the idField '" + idField + "' can be marked \"instanceId\" at the top, not '" + member + "'");
        }
    CloseObjects(schema, schema.GetAllocator());
}

void DeriveUserSchema(const rapidjson::Value& full, int kind, rapidjson::Document& user) {
    auto& allocator = user.GetAllocator();
    if (kind == TarnSchemaStore::KIND_INTERNAL) {
        static_cast<rapidjson::Value&>(user) = Refusal("values of this object are set by the host only", allocator);
        return;
    }
    if (Marked(full)) {
        static_cast<rapidjson::Value&>(user) = Refusal(LayerRefusal(full), allocator);
        return;
    }
    user.CopyFrom(full, allocator);
    Strip(user, allocator);
}

} // namespace TarnSchemaEntry
