// The rows of a SmartNIC configuration: every object validated on its own,
// all of them before the verdict, so the log names every failing one; and
// that validation alone.
#include <string>

#include "desired/desired_document.h"
#include "tarn/config_validation.h"
#include "tarn/desired_config.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"

namespace TarnConfigStore {
namespace {

constexpr char kDeleteRow[] =
    "INSERT INTO DesiredUserConfig (Component, ConfigGroup, Name, BootAction) VALUES (?, ?, ?, ?);";

void Invalid(const std::string& path, bool& failed) {
    CSLogger::Log(0, "Validation failed for configuration {%s}", path.c_str());
    failed = true;
}

// Writes the rows of a valid object.
void WriteObject(rapidjson::Document& document, const std::shared_ptr<DBStore::StoreConnection>& conn,
                 const std::string& component, const std::string& group, const std::string& key,
                 const std::shared_ptr<TarnSchemaStore::SchemaObject>& object, rapidjson::Value& v) {
    const std::string version = object->GetVersion();
    if (v.IsArray()) {
        for (rapidjson::Value& element : v.GetArray())
            WriteDesiredConfigValue(document.GetAllocator(), conn, version, component, group, key, object, element);
    } else if (v.IsObject()) {
        WriteDesiredConfigValue(document.GetAllocator(), conn, version, component, group, key, object, v);
    } else if (v.IsString() && MemberName(v) == DELETE_DEFAULT_VALUE) {
        if (DBStore::Execute(conn, kDeleteRow, {component, group, key, "DELETE"}, {}, 3000) != 0)
            throw ConfigStoreException("Write desired config failed");
    }
}

// Validates every object of the document, logging each failing one, and
// hands each valid one to take(component, group, key, schema object, value);
// whether all passed. A level that is not an object names no object: it
// fails validation under its own path instead of being walked.
template <typename Document, typename Take>
bool WalkObjects(Document& document, Take take) {
    const auto cache = TarnSchemaStore::SchemaStore::GetCache();
    bool failed = false;
    if (!document.IsObject()) {
        Invalid("", failed);
        return false;
    }
    for (auto& c : document.GetObject()) {
        const std::string component = MemberName(c.name);
        if (!c.value.IsObject()) { Invalid(component, failed); continue; }
        for (auto& g : c.value.GetObject()) {
            const std::string group = MemberName(g.name);
            if (!g.value.IsObject()) { Invalid(component + "/" + group, failed); continue; }
            for (auto& k : g.value.GetObject()) {
                const std::string key = MemberName(k.name), path = component + "/" + group + "/" + key;
                const auto object = cache->GetSchemaObject(TarnSchemaStore::SchemaObjectId(component, group, key));
                if (!object || !ValidateUserInstances(*object, k.value, path)) Invalid(path, failed);
                else take(component, group, key, object, k.value);
            }
        }
    }
    return !failed;
}

} // namespace

void ProcessSmartnicDocument(rapidjson::Document& document, const std::shared_ptr<DBStore::StoreConnection>& conn) {
    const bool valid = WalkObjects(document, [&](const std::string& component, const std::string& group,
                                                 const std::string& key, const auto& object, rapidjson::Value& v) {
        WriteObject(document, conn, component, group, key, object, v);
    });
    if (!valid)
        throw ConfigStoreException(
            "Failed to validate smartnic configuration, Check logs for specific validation errors.");
}

bool ValidateSmartnicConfiguration(const rapidjson::Document& document) {
    return WalkObjects(document, [](const auto&...) {});
}

} // namespace TarnConfigStore
