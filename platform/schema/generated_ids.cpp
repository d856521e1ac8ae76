#include "schema/generated_ids.h"

#include <cstdio>
#include <random>
#include <unistd.h>

#include "tarn/platform/schema_store.h"

namespace TarnGeneratedIds {
namespace {

using TarnSchemaValidation::LayerNode;

// Visits, children first, every object of value whose node declares a
// generated identifier. visit returns false to stop the walk.
template <typename V, typename F>
bool Walk(const LayerNode& node, V& value, F& visit) {
    if (!node.isObject) return true;
    if (value.IsObject()) {
        for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m)
            if (const LayerNode* sub = node.Property(m->name); sub && !Walk(*sub, m->value, visit)) return false;
        if (node.declaresGeneratedId) return visit(value);
    } else if (value.IsArray() && node.items) {
        for (auto e = value.Begin(); e != value.End(); ++e)
            if (!Walk(*node.items, *e, visit)) return false;
    }
    return true;
}

} // namespace

bool Missing(const LayerNode& schema, const rapidjson::Value& value) {
    bool missing = false;
    auto visit = [&missing](const rapidjson::Value& object) {
        missing = !object.HasMember(TarnSchemaStore::GENERATED_ID_FIELD);
        return !missing;
    };
    Walk(schema, value, visit);
    return missing;
}

void Fill(const LayerNode& schema, rapidjson::Value& value, rapidjson::Document::AllocatorType& allocator,
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
    Walk(schema, value, visit);
}

namespace {

// One generator per thread, seeded once from the random device instead of
// opening the device for every identifier. A forked child seeds its own, so
// that it never repeats its parent's identifiers.
std::mt19937_64& Engine() {
    struct Seeded {
        pid_t pid = -1;
        std::mt19937_64 engine;
    };
    thread_local Seeded seeded;
    if (seeded.pid != getpid()) {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        seeded.engine.seed(seed);
        seeded.pid = getpid();
    }
    return seeded.engine;
}

} // namespace

std::string NewId() {
    std::mt19937_64& engine = Engine();
    std::uniform_int_distribution<uint32_t> word;
    uint32_t w[4] = {word(engine), word(engine), word(engine), word(engine)};
    w[1] = (w[1] & 0xffff0fffu) | 0x00004000u;  // version 4
    w[2] = (w[2] & 0x3fffffffu) | 0x80000000u;  // variant 1
    char text[37];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%04x%08x", w[0], w[1] >> 16, w[1] & 0xffffu, w[2] >> 16,
                  w[2] & 0xffffu, w[3]);
    return text;
}

} // namespace TarnGeneratedIds
