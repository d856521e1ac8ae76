// Validation of configuration values and their instance identifiers.
#include <string>

#include "tarn/config_validation.h"
#include "tarn/error_codes.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/json_validator.h"

namespace TarnConfigStore {

const std::set<int> USER_VALIDATION_CODES = {0, 1, 3, 7, 8};
const std::set<int> DEFAULT_VALIDATION_CODES = {0, 1, 4, 8};

namespace {
// Chunk capacity of the pools of validation results.
constexpr size_t kResultChunkCapacity = 65536;
} // namespace

bool checkValidationErrors(const rapidjson::Value& result) {
    RAPIDJSON_ASSERT(result.IsArray());
    for (const auto& error : result.GetArray()) {
        const char* field = error["field"].GetString();
        const char* text = error["error"].GetString();
        CSLogger::LogErrCode(0, CS_VALIDATION_ERROR, field, text);
    }
    return result.Empty();
}

bool ValidateUserObject(const rapidjson::Value& schema, const rapidjson::Value& value, const std::string& path,
                        bool allowDeleteDefault) {
    // The whole value, length included: a NUL inside must not end the comparison.
    if (value.IsString() && allowDeleteDefault)
        return std::string(value.GetString(), value.GetStringLength()) == DELETE_DEFAULT_VALUE;
    rapidjson::MemoryPoolAllocator<> allocator(kResultChunkCapacity);
    rapidjson::Document result(&allocator);
    JsonValidator::Validate(schema, value, result, USER_VALIDATION_CODES, path);
    return checkValidationErrors(result);
}

std::string GetInstanceIdFromValue(const rapidjson::Value& value,
                                   const std::shared_ptr<TarnSchemaStore::SchemaObject>& schemaObject) {
    const std::string field = schemaObject->GetIdField();
    if (field.empty()) return {};
    if (value.IsObject()) {
        auto id = value.FindMember(field);
        if (id != value.MemberEnd() && id->value.IsString())
            return std::string(id->value.GetString(), id->value.GetStringLength());
    }
    ThrowException<ConfigStoreException>(CS_INVALID_KEY_VALUE, field.c_str());
}

} // namespace TarnConfigStore
