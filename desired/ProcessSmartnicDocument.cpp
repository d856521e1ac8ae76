// The rows of a SmartNIC configuration: every object validated on its own,
// all of them before the verdict, so the log names every failing one.
#include <string>

#include "desired/desired_document.h"
#include "tarn/config_validation.h"
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

void ProcessObject(rapidjson::Document& document, const std::shared_ptr<DBStore::StoreConnection>& conn,
                   const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache, const std::string& component,
                   const std::string& group, const std::string& key, rapidjson::Value& v, bool& failed) {
    const std::string path = component + "/" + group + "/" + key;
    const std::shared_ptr<TarnSchemaStore::SchemaObject> object =
        cache->GetSchemaObject(TarnSchemaStore::SchemaObjectId(component, group, key));
    if (!object || !ValidateUserInstances(*object, v, path))
        return Invalid(path, failed);
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

} // namespace

void ProcessSmartnicDocument(rapidjson::Document& document, const std::shared_ptr<DBStore::StoreConnection>& conn) {
    const auto cache = TarnSchemaStore::SchemaStore::GetCache();
    bool failed = false;
    // A level that is not an object names no object: it fails validation
    // under its own path instead of being walked.
    if (!document.IsObject()) {
        Invalid("", failed);
    } else {
        for (auto& c : document.GetObject()) {
            const std::string component = MemberName(c.name);
            if (!c.value.IsObject()) { Invalid(component, failed); continue; }
            for (auto& g : c.value.GetObject()) {
                const std::string group = MemberName(g.name);
                if (!g.value.IsObject()) { Invalid(component + "/" + group, failed); continue; }
                for (auto& k : g.value.GetObject())
                    ProcessObject(document, conn, cache, component, group, MemberName(k.name), k.value, failed);
            }
        }
    }
    if (failed)
        throw ConfigStoreException(
            "Failed to validate smartnic configuration, Check logs for specific validation errors.");
}

} // namespace TarnConfigStore
