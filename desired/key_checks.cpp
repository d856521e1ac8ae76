#include "desired/key_checks.h"

#include <set>
#include <unordered_map>
#include <utility>

#include "tarn/rapidjson.h"

namespace TarnConfigStore {
namespace {

// A text as a JSON string, so that a NUL byte or a control character shows.
std::string Quoted(const std::string& text) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
    return std::string(buffer.GetString(), buffer.GetSize());
}

// The pointer of the first count tokens of pointer.
std::string Prefix(const std::string& pointer, size_t count) {
    size_t end = 0;
    for (size_t i = 0; i < count && end != std::string::npos; ++i) end = pointer.find('/', end + 1);
    return pointer.substr(0, end);
}

} // namespace

std::string PointerToken(const std::string& name) {
    std::string token;
    for (const char c : name) token += c == '~' ? std::string("~0") : c == '/' ? std::string("~1") : std::string(1, c);
    return token;
}

std::vector<std::string> PointerTokens(const std::string& pointer) {
    std::vector<std::string> tokens;
    for (size_t i = 0; i < pointer.size(); ++i) {
        if (pointer[i] == '/') {
            tokens.emplace_back();
            continue;
        }
        if (tokens.empty()) tokens.emplace_back();
        if (pointer[i] == '~' && i + 1 < pointer.size() && (pointer[i + 1] == '0' || pointer[i + 1] == '1'))
            tokens.back() += pointer[++i] == '0' ? '~' : '/';
        else
            tokens.back() += pointer[i];
    }
    return tokens;
}

std::vector<KeyError> CheckKeys(const std::vector<TarnSchemaStore::DesiredKeySchema>& keys,
                                const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache) {
    static const char* const kLevels[] = {"component", "group", "key"};
    std::vector<KeyError> errors;
    std::set<std::string> named;  // pointers of the names reported
    // Per object, the first instance with each identifier: its key and index.
    // Its pointer is made only for an error, not for each of many instances.
    using Instance = std::pair<const TarnSchemaStore::DesiredKeySchema*, rapidjson::SizeType>;
    std::unordered_map<TarnSchemaStore::SchemaObjectId, std::unordered_map<std::string, Instance>,
                       TarnSchemaStore::SchemaObjectIdHash>
        firsts;
    for (const TarnSchemaStore::DesiredKeySchema& key : keys) {
        const std::vector<std::string> t = PointerTokens(key.pointer);  // "profile", component, group, key
        if (t.size() != 4) continue;
        for (size_t level = 1; level < 4; ++level) {
            if (t[level].find('\0') == std::string::npos) continue;
            const std::string at = Prefix(key.pointer, level + 1);
            if (named.insert(at).second)
                errors.push_back({at, std::string("name: the ") + kLevels[level - 1] + " name " + Quoted(t[level]) +
                                          " holds a NUL byte, which a stored name cannot hold"});
            break;
        }
        const TarnSchemaStore::SchemaObjectId id(t[1], t[2], t[3]);
        const std::shared_ptr<TarnSchemaStore::SchemaObject>& object = cache->GetSchemaObject(id);
        if (!object || !object->IsNonSingleton() || !key.value->IsArray()) continue;
        const std::string field = object->GetIdField();
        const auto at = [&field](const TarnSchemaStore::DesiredKeySchema& key, rapidjson::SizeType i) {
            return key.pointer + "/" + std::to_string(i) + "/" + PointerToken(field);
        };
        auto& first = firsts[id];
        for (rapidjson::SizeType i = 0; i < key.value->Size(); ++i) {
            const rapidjson::Value& element = (*key.value)[i];
            if (!element.IsObject()) continue;
            // The member that storing reads the identifier from: the first of that name.
            const auto member = element.FindMember(rapidjson::StringRef(field.data(), field.size()));
            if (member == element.MemberEnd() || !member->value.IsString()) continue;
            const std::string identifier(member->value.GetString(), member->value.GetStringLength());
            const auto [earlier, fresh] = first.emplace(identifier, Instance(&key, i));
            if (!fresh)
                errors.push_back({at(key, i), "instanceId: " + Quoted(identifier) +
                                                  " is already the identifier of the " + t[1] + "/" + t[2] + "/" +
                                                  t[3] + " instance at " +
                                                  at(*earlier->second.first, earlier->second.second) +
                                                  "; each instance needs its own"});
        }
    }
    return errors;
}

} // namespace TarnConfigStore
