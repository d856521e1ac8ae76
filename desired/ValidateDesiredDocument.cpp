// Checking a whole desired document against the user schemas of the objects
// it names, and the errors named by object and instance for those who show them.
#include <cstdlib>
#include <string>
#include <vector>

#include "tarn/config_validation.h"
#include "tarn/desired_config.h"
#include "tarn/platform/json_validator.h"

namespace TarnConfigStore {
namespace {

constexpr size_t kChunkCapacity = 65536;

// Validates into result (an array of {"field", "error"}).
void Validate(const rapidjson::Document& document, const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache,
              rapidjson::Document& result) {
    rapidjson::MemoryPoolAllocator<> schemaPool(kChunkCapacity);
    rapidjson::Document schema(&schemaPool);
    TarnSchemaStore::GenerateSchemaDocument(document, cache, schema, result);
    JsonValidator::Validate(schema, document, result, USER_VALIDATION_CODES, "");
}

// The reference tokens of a JSON pointer, "~1" and "~0" undone.
std::vector<std::string> Tokens(const std::string& pointer) {
    std::vector<std::string> tokens;
    for (size_t i = 0; i < pointer.size(); ++i) {
        if (pointer[i] == '/') { tokens.emplace_back(); continue; }
        if (tokens.empty()) tokens.emplace_back();
        if (pointer[i] == '~' && i + 1 < pointer.size() && (pointer[i + 1] == '0' || pointer[i + 1] == '1'))
            tokens.back() += pointer[++i] == '0' ? '~' : '/';
        else
            tokens.back() += pointer[i];
    }
    return tokens;
}

const rapidjson::Value* Member(const rapidjson::Value& value, const std::string& name) {
    if (!value.IsObject()) return nullptr;
    auto m = value.FindMember(rapidjson::Value(rapidjson::StringRef(name.data(), name.size())));
    return m == value.MemberEnd() ? nullptr : &m->value;
}

// Names the object and instance that a pointer /profile/c/g/k[/index/...] leads into.
void Place(const rapidjson::Document& document, const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache,
           DesiredDocumentError& error) {
    const std::vector<std::string> t = Tokens(error.pointer);
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
    if (const rapidjson::Value* id = Member(element, object->GetIdField()); id && id->IsString())
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
