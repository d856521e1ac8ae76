// An operator's write of one object's user value.
#include "tarn/config_object.h"

#include <string>

#include "boot/boot_mode_work.h"
#include "tarn/config_validation.h"
#include "tarn/db_connection.h"
#include "tarn/exceptions.h"
#include "tarn/platform/json_validator.h"

namespace TarnConfigStore {
namespace {

// Every error of the value against the object's user schema, logged and
// thrown together, so that one refusal names them all.
void Validate(const TarnSchemaStore::SchemaObject& object, const rapidjson::Value& value, const std::string& label) {
    rapidjson::Document result;
    if (!value.IsObject()) {
        result.SetArray();
        rapidjson::Value error(rapidjson::kObjectType);
        error.AddMember("field", rapidjson::Value(label.c_str(), result.GetAllocator()), result.GetAllocator());
        error.AddMember("error", "type: expected object", result.GetAllocator());
        result.PushBack(error, result.GetAllocator());
    } else {
        JsonValidator::Validate(object.GetUserSchema(), value, result, USER_VALIDATION_CODES, label);
    }
    if (checkValidationErrors(result)) return;
    std::string message = "Validation failed for " + label + ": ";
    for (rapidjson::SizeType i = 0; i < result.Size(); ++i)
        message += std::string(i ? "; '" : "'") + result[i]["field"].GetString() + "' " + result[i]["error"].GetString();
    throw ConfigStoreException(message.c_str());
}

} // namespace

std::string SetUserConfigObject(const TarnSchemaStore::SchemaObjectId& id, rapidjson::Document& value) {
    const std::shared_ptr<TarnSchemaStore::SchemaObject> object = TarnSchemaStore::SchemaStore::GetCache()->GetSchemaObject(id);
    if (!object) throw ConfigStoreException(("No schema registered for " + id.toString()).c_str());
    Validate(*object, value, "/" + id.toString());
    // One statement: the row is replaced whole or not at all.
    WriteBootDocumentObject(value.GetAllocator(), GetDBConnection(DBStore::CONFIG_STORE, true), object->GetVersion(),
                            id.GetComponent(), id.GetGroup(), id.GetName(), object, value);
    return GetInstanceIdFromValue(value, object);
}

} // namespace TarnConfigStore
