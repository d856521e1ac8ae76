// One schema for a whole desired document, built from the user schemas of
// the objects the document names.
#include <string>
#include <vector>

#include "schema/schema_walk.h"
#include "tarn/platform/schema_store.h"

namespace TarnSchemaStore {
namespace {

using Allocator = rapidjson::Document::AllocatorType;
using TarnSchemaWalk::Child;

constexpr char kDeleteDefault[] = "DELETE_DEFAULT";

std::string Name(const rapidjson::Value& name) { return std::string(name.GetString(), name.GetStringLength()); }

// An object node whose members are the known ones of the level; any other
// member fails as "unknown <level> '<name>'".
rapidjson::Value Level(const char* memberKind, Allocator& allocator) {
    rapidjson::Value node(rapidjson::kObjectType);
    node.AddMember("type", "object", allocator);
    node.AddMember("x-memberKind", rapidjson::StringRef(memberKind), allocator);
    node.AddMember("properties", rapidjson::Value(rapidjson::kObjectType), allocator);
    node.AddMember("additionalProperties", false, allocator);
    return node;
}

rapidjson::Value TypeOnly(const char* type, Allocator& allocator) {
    rapidjson::Value node(rapidjson::kObjectType);
    node.AddMember("type", rapidjson::StringRef(type), allocator);
    return node;
}

// Adds the member unless the level has it already (a document may repeat a
// name; the first one decides).
rapidjson::Value* AddOnce(rapidjson::Value& level, const std::string& name, rapidjson::Value node, Allocator& allocator) {
    rapidjson::Value& props = level["properties"];
    if (props.HasMember(name)) return nullptr;
    props.AddMember(rapidjson::Value(name.c_str(), static_cast<rapidjson::SizeType>(name.size()), allocator), node,
                    allocator);
    return &props[name];
}

// An object's schema placed at base inside a bigger document: its local
// references now lead to the same nodes under base.
void Rebase(rapidjson::Value& schema, const std::string& base, Allocator& allocator) {
    const std::string prefix = TarnSchemaWalk::UriFragment(base).substr(1);
    std::vector<rapidjson::Value*> pending{&schema};
    while (!pending.empty()) {
        rapidjson::Value* node = pending.back();
        pending.pop_back();
        rapidjson::Value* ref = TarnSchemaWalk::Member(*node, "$ref");
        if (ref && ref->IsString() && ref->GetStringLength() > 0 && ref->GetString()[0] == '#') {
            std::string text = "#" + prefix + (ref->GetString() + 1);
            ref->SetString(text.c_str(), static_cast<rapidjson::SizeType>(text.size()), allocator);
        }
        TarnSchemaWalk::ForEachSubschema(*node, [&](rapidjson::Value& sub, const std::string&) { pending.push_back(&sub); });
    }
}

rapidjson::Value KeySchema(const SchemaObject& object, const rapidjson::Value& value, const std::string& pointer,
                           Allocator& allocator) {
    if (object.IsMutableDefaultConfig() && value.IsString() && Name(value) == kDeleteDefault) {
        rapidjson::Value node(rapidjson::kObjectType);
        rapidjson::Value choices(rapidjson::kArrayType);
        choices.PushBack(rapidjson::StringRef(kDeleteDefault), allocator);
        node.AddMember("enum", choices, allocator);
        return node;
    }
    rapidjson::Value user(object.GetUserSchema(), allocator);
    if (!object.IsNonSingleton()) {
        Rebase(user, pointer, allocator);
        return user;
    }
    Rebase(user, pointer + "/items", allocator);
    rapidjson::Value node(rapidjson::kObjectType);
    node.AddMember("type", "array", allocator);
    node.AddMember("items", user, allocator);
    return node;
}

} // namespace

void GenerateSchemaDocument(const rapidjson::Value& desiredDocument, const std::shared_ptr<SchemaObjectCache>& cache,
                            rapidjson::Document& schemaOut, rapidjson::Document& errors) {
    errors.SetArray();
    Allocator& allocator = schemaOut.GetAllocator();
    schemaOut.SetObject();
    schemaOut.AddMember("type", "object", allocator);
    schemaOut.AddMember("properties", rapidjson::Value(rapidjson::kObjectType), allocator);
    rapidjson::Value profile = Level("component", allocator);

    const rapidjson::Value* components = TarnSchemaWalk::Member(desiredDocument, "profile");
    if (components && components->IsObject()) {
        const std::string profilePointer = "/properties/profile";
        for (auto c = components->MemberBegin(); c != components->MemberEnd(); ++c) {
            const std::string component = Name(c->name);
            if (!cache->HasComponent(component)) continue;
            const std::string componentPointer = Child(profilePointer + "/properties", component);
            if (!c->value.IsObject()) {
                AddOnce(profile, component, TypeOnly("object", allocator), allocator);
                continue;
            }
            rapidjson::Value* groups = AddOnce(profile, component, Level("group", allocator), allocator);
            if (!groups) continue;
            for (auto g = c->value.MemberBegin(); g != c->value.MemberEnd(); ++g) {
                const std::string group = Name(g->name);
                if (!cache->HasGroup(component, group)) continue;
                const std::string groupPointer = Child(componentPointer + "/properties", group);
                if (!g->value.IsObject()) {
                    AddOnce(*groups, group, TypeOnly("object", allocator), allocator);
                    continue;
                }
                rapidjson::Value* keys = AddOnce(*groups, group, Level("key", allocator), allocator);
                if (!keys) continue;
                for (auto k = g->value.MemberBegin(); k != g->value.MemberEnd(); ++k) {
                    const std::string key = Name(k->name);
                    const auto& object = cache->GetSchemaObject(SchemaObjectId(component, group, key));
                    if (!object || (*keys)["properties"].HasMember(key)) continue;
                    AddOnce(*keys, key, KeySchema(*object, k->value, Child(groupPointer + "/properties", key), allocator),
                            allocator);
                }
            }
        }
    }
    schemaOut["properties"].AddMember("profile", profile, allocator);
}

} // namespace TarnSchemaStore
