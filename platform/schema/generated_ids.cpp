#include "schema/generated_ids.h"

#include <cstdio>
#include <random>

#include "schema/compiled_schema.h"
#include "schema/schema_walk.h"
#include "tarn/platform/schema_store.h"

namespace TarnGeneratedIds {

bool DeclaresGeneratedId(const rapidjson::Value& node) {
    const rapidjson::Value* props = TarnSchemaWalk::Member(node, "properties");
    const rapidjson::Value* id = props ? TarnSchemaWalk::Member(*props, TarnSchemaStore::GENERATED_ID_FIELD) : nullptr;
    return id && TarnSchemaWalk::IsInstanceIdNode(*id);
}

namespace {

using TarnSchemaWalk::Member;

// A registered schema whose compiled form knows it declares no generated
// identifier anywhere: the walk would find nothing.
bool SurelyNone(const rapidjson::Value& schema) {
    auto kept = TarnSchemaValidation::KeptFor(schema);
    return kept && !kept->mayGenerateIds;
}

// Visits, children first, every object of value whose node declares a
// generated identifier. visit returns false to stop the walk.
template <typename V, typename F>
bool Walk(const rapidjson::Value& node, V& value, F& visit) {
    if (!node.IsObject()) return true;
    if (value.IsObject()) {
        if (const rapidjson::Value* props = Member(node, "properties"); props && props->IsObject())
            for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m) {
                auto sub = props->FindMember(m->name);
                if (sub != props->MemberEnd() && !Walk(sub->value, m->value, visit)) return false;
            }
        if (DeclaresGeneratedId(node)) return visit(value);
    } else if (value.IsArray()) {
        if (const rapidjson::Value* items = Member(node, "items"); items && items->IsObject())
            for (auto e = value.Begin(); e != value.End(); ++e)
                if (!Walk(*items, *e, visit)) return false;
    }
    return true;
}

} // namespace

bool Missing(const rapidjson::Value& schema, const rapidjson::Value& value) {
    bool missing = false;
    auto visit = [&missing](const rapidjson::Value& object) {
        missing = !object.HasMember(TarnSchemaStore::GENERATED_ID_FIELD);
        return !missing;
    };
    if (!SurelyNone(schema)) Walk(schema, value, visit);
    return missing;
}

void Fill(const rapidjson::Value& schema, rapidjson::Value& value, rapidjson::Document::AllocatorType& allocator,
          const std::function<std::string()>& make) {
    auto visit = [&](rapidjson::Value& object) {
        if (!object.HasMember(TarnSchemaStore::GENERATED_ID_FIELD)) {
            const std::string id = make();
            object.AddMember(rapidjson::Value(TarnSchemaStore::GENERATED_ID_FIELD, allocator),
                             rapidjson::Value(id.c_str(), static_cast<rapidjson::SizeType>(id.size()), allocator),
                             allocator);
        }
        return true;
    };
    if (!SurelyNone(schema)) Walk(schema, value, visit);
}

std::string NewId() {
    std::random_device device;
    std::uniform_int_distribution<uint32_t> word;
    uint32_t w[4] = {word(device), word(device), word(device), word(device)};
    w[1] = (w[1] & 0xffff0fffu) | 0x00004000u;  // version 4
    w[2] = (w[2] & 0x3fffffffu) | 0x80000000u;  // variant 1
    char text[37];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%04x%08x", w[0], w[1] >> 16, w[1] & 0xffffu, w[2] >> 16,
                  w[2] & 0xffffu, w[3]);
    return text;
}

} // namespace TarnGeneratedIds
