#include <string>

#include "desired/desired_document.h"
#include "tarn/config_validation.h"

namespace TarnConfigStore {

bool ValidateUserInstances(const TarnSchemaStore::SchemaObject& schemaObject, const rapidjson::Value& value,
                           const std::string& path) {
    const rapidjson::Value& schema = schemaObject.GetUserSchema();
    const bool allowDeleteDefault = schemaObject.IsMutableDefaultConfig();
    if (!value.IsArray()) return ValidateUserObject(schema, value, path, allowDeleteDefault);
    bool valid = true;
    for (rapidjson::SizeType i = 0; i < value.Size(); ++i)
        valid &= ValidateUserObject(schema, value[i], path + "/" + std::to_string(i), false);
    return valid;
}

} // namespace TarnConfigStore
