#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "defaults/default_config.h"
#include "tarn/config_validation.h"
#include "tarn/exceptions.h"
#include "tarn/platform/config_store_document.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_utils.h"
#include "tarn/platform/json_validator.h"

namespace TarnConfigStore {
namespace {

struct FreeText {
    void operator()(char* text) const { std::free(text); }
};

const char* StringOr(const rapidjson::Value& object, const char* member, const char* otherwise) {
    if (!object.IsObject()) return otherwise;
    auto found = object.FindMember(member);
    return found != object.MemberEnd() && found->value.IsString() ? found->value.GetString() : otherwise;
}

// The instance as far as the value tells it: its identifier, else its place.
std::string InstanceName(const rapidjson::Value& value, const TarnSchemaStore::SchemaObject& schemaObject,
                         int position) {
    const std::string field = schemaObject.GetIdField();
    if (field.empty()) return "(singleton)";
    const char* id = StringOr(value, field.c_str(), nullptr);
    if (id) return std::string("'") + id + "'";
    return position < 0 ? "(\"config\" value)" : "(\"config\" element " + std::to_string(position) + ")";
}

// Every error goes to the log and, with the instance, to the element's errors.
void ReportInvalid(const std::string& object, const std::string& instance, rapidjson::Value& result,
                   rapidjson::Value& elementErrors, rapidjson::Document::AllocatorType& errorsAllocator) {
    for (rapidjson::Value& error : result.GetArray()) {
        CSLogger::Log(0, "Invalid default for %s, instance %s, at '%s': %s", object.c_str(), instance.c_str(),
                      StringOr(error, "field", "?"), StringOr(error, "error", "?"));
        if (!error.IsObject()) continue;
        error.AddMember("instance", rapidjson::Value(instance.c_str(), errorsAllocator), errorsAllocator);
        elementErrors.PushBack(error, errorsAllocator);
    }
}

} // namespace

void WriteDefaultConfigValue(rapidjson::Document::AllocatorType& allocator,
                             const std::shared_ptr<DBStore::StoreConnection>& conn, const std::string& version,
                             const std::string& component, const std::string& group, const std::string& name,
                             const std::shared_ptr<TarnSchemaStore::SchemaObject>& schemaObject,
                             rapidjson::Value& value, rapidjson::Document& errors, const DefaultValuePlace& place) {
    const rapidjson::Value& schema = schemaObject->GetSchemaDocument();
    rapidjson::Document result(&errors.GetAllocator());
    JsonValidator::Validate(schema, value, result, DEFAULT_VALIDATION_CODES, "");
    if (!result.IsArray()) ThrowInvalidJson();
    if (result.Size() > 0) {
        ReportInvalid(component + "/" + group + "/" + name, InstanceName(value, *schemaObject, place.position), result,
                      *place.elementErrors, errors.GetAllocator());
        return;
    }

    ConfigStoreDocument::PopulateGeneratedInstanceId(schema, value, allocator);
    const std::string instanceId = GetInstanceIdFromValue(value, schemaObject);
    auto layers = SplitConfig(value, schema);

    std::unique_ptr<char, FreeText> sql(Str_Asprintf(
        nullptr,
        "INSERT OR REPLACE INTO '%s'(Component, ConfigGroup, Name, Identifier, Value, VitalValue, CachedValue, "
        "Version) VALUES (?, ?, ?, ?, ?, ?, ?, ?);",
        "DefaultConfig"));
    if (!sql) throw std::bad_alloc();
    const std::vector<std::string> params = {component, group, name, instanceId, std::move(layers.at(LAYER_USER)),
                                             std::move(layers.at(LAYER_VITAL)), std::move(layers.at(LAYER_CACHED)),
                                             version};
    if (DBStore::Execute(conn, sql.get(), params, {}, 3000) == 1)
        CSLogger::Log(0, "Failed to write default config for %s/%s/%s/%s", component.c_str(), group.c_str(),
                      name.c_str(), instanceId.c_str());
}

} // namespace TarnConfigStore
