// One schema for a whole desired document, built from the user schemas of
// the objects the document names.
#include <map>
#include <string>
#include <utility>
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

// The node an earlier occurrence of the name made in the level, when it is
// a level itself.
rapidjson::Value* LevelNode(rapidjson::Value& level, const std::string& name) {
    rapidjson::Value& props = level["properties"];
    auto node = props.FindMember(rapidjson::StringRef(name.data(), static_cast<rapidjson::SizeType>(name.size())));
    return node != props.MemberEnd() && node->value.HasMember("properties") ? &node->value : nullptr;
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
        TarnSchemaWalk::ForEachSubschema(*node, [&](rapidjson::Value& sub, const TarnSchemaWalk::Step&) { pending.push_back(&sub); });
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
    // A singleton has one value, never one per element, even where its
    // schema leaves the type open.
    if (!object.IsNonSingleton() && value.IsArray()) return TypeOnly("object", allocator);
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
                            rapidjson::Document& schemaOut, rapidjson::Document& errors,
                            std::vector<DesiredKeySchema>* keySchemas) {
    errors.SetArray();
    Allocator& allocator = schemaOut.GetAllocator();
    schemaOut.SetObject();
    schemaOut.AddMember("type", "object", allocator);
    schemaOut.AddMember("properties", rapidjson::Value(rapidjson::kObjectType), allocator);
    rapidjson::Value profile = Level("component", allocator);
    std::map<std::string, size_t> firstListed;  // keySchemas' entry of each key's first occurrence

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
            // A repeated name is checked against the node of its first
            // occurrence, which it does not extend.
            rapidjson::Value* groups = AddOnce(profile, component, Level("group", allocator), allocator);
            const bool freshGroups = groups != nullptr;
            if (!groups && keySchemas) groups = LevelNode(profile, component);
            if (!groups) continue;
            for (auto g = c->value.MemberBegin(); g != c->value.MemberEnd(); ++g) {
                const std::string group = Name(g->name);
                if (!cache->HasGroup(component, group)) continue;
                const std::string groupPointer = Child(componentPointer + "/properties", group);
                if (!g->value.IsObject()) {
                    if (freshGroups) AddOnce(*groups, group, TypeOnly("object", allocator), allocator);
                    continue;
                }
                rapidjson::Value* keys =
                    freshGroups ? AddOnce(*groups, group, Level("key", allocator), allocator) : nullptr;
                const bool freshKeys = keys != nullptr;
                if (!keys && keySchemas) keys = LevelNode(*groups, group);
                if (!keys) continue;
                for (auto k = g->value.MemberBegin(); k != g->value.MemberEnd(); ++k) {
                    const std::string key = Name(k->name);
                    const auto& object = cache->GetSchemaObject(SchemaObjectId(component, group, key));
                    if (!object) continue;
                    const std::string keyPointer = Child(groupPointer + "/properties", key);
                    if (keySchemas) {
                        rapidjson::Value schema;
                        if (freshKeys && AddOnce(*keys, key, rapidjson::Value(rapidjson::kObjectType), allocator)) {
                            firstListed[keyPointer] = keySchemas->size();
                            schema = KeySchema(*object, k->value, "", allocator);
                        } else if (auto first = firstListed.find(keyPointer); first != firstListed.end()) {
                            schema.CopyFrom((*keySchemas)[first->second].schema, allocator);
                        } else {
                            continue;  // left out of the node: the levels refuse it
                        }
                        keySchemas->push_back({&k->value, Child(Child(Child("/profile", component), group), key),
                                               std::move(schema)});
                        continue;
                    }
                    if ((*keys)["properties"].HasMember(key)) continue;
                    AddOnce(*keys, key, KeySchema(*object, k->value, keyPointer, allocator), allocator);
                }
            }
        }
    }
    schemaOut["properties"].AddMember("profile", profile, allocator);
}

} // namespace TarnSchemaStore
