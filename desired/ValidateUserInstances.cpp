#include <string>

#include "desired/desired_document.h"
#include "tarn/config_validation.h"
#include "tarn/error_codes.h"
#include "tarn/platform/cs_logger.h"

namespace TarnConfigStore {

bool ValidateUserInstances(const TarnSchemaStore::SchemaObject& schemaObject, const rapidjson::Value& value,
                           const std::string& path) {
    const rapidjson::Value& schema = schemaObject.GetUserSchema();
    if (value.IsArray() && schemaObject.IsNonSingleton()) {
        bool valid = true;
        for (rapidjson::SizeType i = 0; i < value.Size(); ++i)
            valid &= ValidateUserObject(schema, value[i], path + "/" + std::to_string(i), false);
        return valid;
    }
    if (!ValidateUserObject(schema, value, path, schemaObject.IsMutableDefaultConfig())) return false;
    if (!value.IsArray()) return true;
    // A schema that leaves the type open takes an array too; a singleton
    // has one value all the same, never one per element.
    CSLogger::LogErrCode(0, CS_VALIDATION_ERROR, path.c_str(), "type: expected object, found array");
    return false;
}

} // namespace TarnConfigStore
