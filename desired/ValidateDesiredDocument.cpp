// Checking a whole desired document against the user schemas of the objects
// it names, and the errors named by object and instance for those who show them.
#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "desired/all_pass.h"
#include "desired/desired_document.h"
#include "desired/key_checks.h"
#include "tarn/config_validation.h"
#include "tarn/desired_config.h"
#include "tarn/platform/json_validator.h"

namespace TarnConfigStore {
namespace {

constexpr size_t kChunkCapacity = 65536;

// A JSON pointer's position in the document: the indexes of its component,
// group and key members (-1 above that level).
using Position = std::array<long, 3>;

std::string Escaped(const rapidjson::Value& name) { return PointerToken(MemberName(name)); }

// The position of every component, group and key of the document, by pointer
// (the first of repeated names).
std::unordered_map<std::string, Position> Places(const rapidjson::Value& document) {
    std::unordered_map<std::string, Position> places;
    if (!document.IsObject()) return places;
    const auto profile = document.FindMember("profile");
    if (profile == document.MemberEnd() || !profile->value.IsObject()) return places;
    long ci = 0;
    for (auto c = profile->value.MemberBegin(); c != profile->value.MemberEnd(); ++c, ++ci) {
        const std::string cp = "/profile/" + Escaped(c->name);
        places.emplace(cp, Position{ci, -1, -1});
        if (!c->value.IsObject()) continue;
        long gi = 0;
        for (auto g = c->value.MemberBegin(); g != c->value.MemberEnd(); ++g, ++gi) {
            const std::string gp = cp + "/" + Escaped(g->name);
            places.emplace(gp, Position{ci, gi, -1});
            if (!g->value.IsObject()) continue;
            long ki = 0;
            for (auto k = g->value.MemberBegin(); k != g->value.MemberEnd(); ++k, ++ki)
                places.emplace(gp + "/" + Escaped(k->name), Position{ci, gi, ki});
        }
    }
    return places;
}

// The position of an error's pointer: of its longest prefix that names a member.
Position PositionOf(const std::unordered_map<std::string, Position>& places, std::string pointer) {
    for (;;) {
        if (auto it = places.find(pointer); it != places.end()) return it->second;
        const size_t slash = pointer.rfind('/');
        if (slash == std::string::npos || slash == 0) return {-1, -1, -1};
        pointer.resize(slash);
    }
}

// Whether the validation stopped before its checks: an unusable schema or a
// value nested too deep.
bool Stopped(const rapidjson::Document& errors) {
    for (const rapidjson::Value& e : errors.GetArray()) {
        const char* text = e["error"].GetString();
        if (!std::strncmp(text, "schema: ", 8) || !std::strncmp(text, "value: ", 7)) return true;
    }
    return false;
}

// The document down to its keys, each key's value null. The levels' key
// nodes accept any value and carry no layer marker, and everything above
// the keys is kept, so the levels accept the skeleton exactly when they
// accept the document, without walking every value that each key's own
// schema checks anyway. Below the keys nothing is kept; an array above
// them is kept empty, since only its type is checked there.
rapidjson::Value Skeleton(const rapidjson::Value& value, int level, rapidjson::Document::AllocatorType& allocator) {
    constexpr int kKeys = 4;  // root, profile, component, group, then the keys
    if (level == kKeys) return rapidjson::Value();
    if (value.IsArray()) return rapidjson::Value(rapidjson::kArrayType);
    if (!value.IsObject()) return rapidjson::Value(value, allocator);
    rapidjson::Value skeleton(rapidjson::kObjectType);
    for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m) {
        // Beside "profile" the root's members are not checked at all.
        const bool below = level > 0 || MemberName(m->name) == "profile";
        skeleton.AddMember(rapidjson::Value(m->name, allocator),
                           below ? Skeleton(m->value, level + 1, allocator) : rapidjson::Value(), allocator);
    }
    return skeleton;
}

// Whether the levels and every key pass all checks at once: the common
// case, which needs no ordering of errors.
bool Valid(const rapidjson::Document& document, const rapidjson::Document& levels,
           const std::vector<TarnSchemaStore::DesiredKeySchema>& keys) {
    rapidjson::MemoryPoolAllocator<> pool(kChunkCapacity);
    rapidjson::Document found(&pool);
    if (!JsonValidator::Validate(levels, Skeleton(document, 0, pool), found, USER_VALIDATION_CODES, "")) return false;
    // The keys' checks are independent and only read the document and their
    // schemas: a big document's are shared among the cores.
    return AllPass(keys.size(), [&keys](size_t begin, size_t end) {
        rapidjson::MemoryPoolAllocator<> pool(kChunkCapacity);
        rapidjson::Document found(&pool);
        for (size_t i = begin; i < end; ++i)
            if (!JsonValidator::Validate(keys[i].schema, *keys[i].value, found, USER_VALIDATION_CODES, keys[i].pointer))
                return false;
        return true;
    });
}

// Validates into result (an array of {"field", "error"}), as one validation
// of the document against the schema GenerateSchemaDocument builds would:
// the levels against that schema without the keys' schemas, then each key
// against its own, one check (keywords, user layer, identifier texts) after
// the other, each check's errors in the document's order; then the checks
// across keys (CheckKeys).
void Validate(const rapidjson::Document& document, const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache,
              rapidjson::Document& result) {
    rapidjson::MemoryPoolAllocator<> schemaPool(kChunkCapacity);
    rapidjson::Document levels(&schemaPool);
    std::vector<TarnSchemaStore::DesiredKeySchema> keys;
    TarnSchemaStore::GenerateSchemaDocument(document, cache, levels, result, &keys);
    const std::vector<KeyError> acrossKeys = CheckKeys(keys, cache);
    if (acrossKeys.empty() && Valid(document, levels, keys)) return;
    std::vector<bool> stopped(keys.size(), false);
    std::unordered_map<std::string, Position> places;
    for (const int check : {JsonValidator::CHECK_SCHEMA, JsonValidator::USER_LAYER, JsonValidator::SPLITTABLE,
                            JsonValidator::IDENTIFIER_TEXT}) {
        if (!USER_VALIDATION_CODES.count(check)) continue;
        std::set<int> codes = {check, JsonValidator::ALL_ERRORS};
        if (USER_VALIDATION_CODES.count(JsonValidator::GENERATED_ID_OPTIONAL))
            codes.insert(JsonValidator::GENERATED_ID_OPTIONAL);
        rapidjson::MemoryPoolAllocator<> pool(kChunkCapacity);
        rapidjson::Document found(&pool);
        JsonValidator::Validate(levels, document, found, codes, "");
        if (check == JsonValidator::CHECK_SCHEMA && Stopped(found)) {
            result.CopyFrom(found, result.GetAllocator());
            return;
        }
        // (position, error) in the order found; sorted only when the levels
        // have errors to put among the keys' (the keys come in document order).
        std::vector<std::pair<Position, const rapidjson::Value*>> errors;
        if (!found.Empty() && places.empty()) places = Places(document);
        for (const rapidjson::Value& e : found.GetArray()) {
            Position at = PositionOf(places, e["field"].GetString());
            // An unknown member is reported by its level, after everything inside the level.
            if (!std::strncmp(e["error"].GetString(), "additionalProperties:", 21))
                for (long i = 2; i >= 0; --i)
                    if (at[i] >= 0) {
                        at[i] = LONG_MAX;
                        break;
                    }
            errors.emplace_back(at, &e);
        }
        std::vector<rapidjson::Document> keyErrors;
        keyErrors.reserve(keys.size());
        for (size_t i = 0; i < keys.size(); ++i) {
            if (stopped[i]) continue;
            rapidjson::Document& kf = keyErrors.emplace_back(&pool);
            JsonValidator::Validate(keys[i].schema, *keys[i].value, kf, codes, keys[i].pointer);
            if (kf.Empty()) continue;
            if (check == JsonValidator::CHECK_SCHEMA) stopped[i] = Stopped(kf);
            const Position place = places.empty() ? Position{} : PositionOf(places, keys[i].pointer);
            for (const rapidjson::Value& e : kf.GetArray()) errors.emplace_back(place, &e);
        }
        if (!found.Empty())
            std::stable_sort(errors.begin(), errors.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        auto& allocator = result.GetAllocator();
        for (const auto& e : errors) result.PushBack(rapidjson::Value(*e.second, allocator), allocator);
    }
    auto& allocator = result.GetAllocator();
    const auto text = [&allocator](const std::string& s) {
        return rapidjson::Value(s.data(), static_cast<rapidjson::SizeType>(s.size()), allocator);
    };
    for (const KeyError& e : acrossKeys) {
        rapidjson::Value error(rapidjson::kObjectType);
        error.AddMember("field", text(e.pointer), allocator);
        error.AddMember("error", text(e.reason), allocator);
        result.PushBack(error, allocator);
    }
}

const rapidjson::Value* Member(const rapidjson::Value& value, const std::string& name) {
    if (!value.IsObject()) return nullptr;
    auto m = value.FindMember(rapidjson::Value(rapidjson::StringRef(name.data(), name.size())));
    return m == value.MemberEnd() ? nullptr : &m->value;
}

// Names the object and instance that a pointer /profile/c/g/k[/index/...] leads into.
void Place(const rapidjson::Document& document, const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache,
           DesiredDocumentError& error) {
    const std::vector<std::string> t = PointerTokens(error.pointer);
    if (t.size() < 4 || t[0] != "profile") return;
    error.object = t[1] + "/" + t[2] + "/" + t[3];
    const auto& object = cache->GetSchemaObject(TarnSchemaStore::SchemaObjectId(t[1], t[2], t[3]));
    if (t.size() < 5 || !object || !object->IsNonSingleton()) return;
    error.instance = "#" + t[4];
    const rapidjson::Value* value = &document;
    for (size_t i = 0; i < 4 && value; ++i) value = Member(*value, t[i]);
    if (!value || !value->IsArray()) return;
    char* end = nullptr;
    const unsigned long index = std::strtoul(t[4].c_str(), &end, 10);
    if (t[4].empty() || *end || index >= value->Size()) return;
    const rapidjson::Value& element = (*value)[static_cast<rapidjson::SizeType>(index)];
    // An identifier with a NUL byte inside would show cut short: the index names it.
    if (const rapidjson::Value* id = Member(element, object->GetIdField());
        id && id->IsString() && std::strlen(id->GetString()) == id->GetStringLength())
        error.instance.assign(id->GetString(), id->GetStringLength());
}

} // namespace

bool ValidateDesiredDocument(const rapidjson::Document& document,
                             const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache) {
    rapidjson::MemoryPoolAllocator<> resultPool(kChunkCapacity);
    rapidjson::Document result(&resultPool);
    Validate(document, cache, result);
    return checkValidationErrors(result);
}

std::vector<DesiredDocumentError> ListDesiredDocumentErrors(
    const rapidjson::Document& document, const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache) {
    rapidjson::MemoryPoolAllocator<> resultPool(kChunkCapacity);
    rapidjson::Document result(&resultPool);
    Validate(document, cache, result);
    std::vector<DesiredDocumentError> errors;
    for (const rapidjson::Value& e : result.GetArray()) {
        DesiredDocumentError error;
        error.pointer.assign(e["field"].GetString(), e["field"].GetStringLength());
        error.reason.assign(e["error"].GetString(), e["error"].GetStringLength());
        Place(document, cache, error);
        errors.push_back(std::move(error));
    }
    return errors;
}

} // namespace TarnConfigStore
