// Boot mode 2: the boot configuration document becomes user configuration,
// object by object; a bad object is logged and skipped.
#include <exception>
#include <string>

#include "boot/boot_mode_work.h"
#include "desired/desired_document.h"
#include "tarn/config_validation.h"
#include "tarn/exceptions.h"
#include "tarn/json_doc.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"
#include "tarn/utilities.h"

namespace TarnConfigStore {
namespace {

bool IsEmpty(const rapidjson::Value& value) {
    return value.IsNull() || (value.IsObject() && value.MemberCount() == 0) || (value.IsArray() && value.Empty());
}

void ProcessObject(rapidjson::Document::AllocatorType& allocator, const std::shared_ptr<DBStore::StoreConnection>& conn,
                   const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache, const std::string& component,
                   const std::string& group, const std::string& key, rapidjson::Value& value) {
    const std::string label = "/" + component + "/" + group + "/" + key;
    if (IsEmpty(value)) return CSLogger::Log(0, "%s is empty, skipping", label.c_str());
    const std::shared_ptr<TarnSchemaStore::SchemaObject> object =
        cache->GetSchemaObject(TarnSchemaStore::SchemaObjectId(component, group, key));
    if (!object) return CSLogger::Log(0, "Schema not found for %s, skipping", label.c_str());
    if (!ValidateUserInstances(*object, value, label))
        return CSLogger::Log(0, "Validation failed for %s, skipping", label.c_str());
    try {
        if (object->IsMutableDefaultConfig()) {
            // Every instance goes, the ones copied from the defaults too,
            // before the document's values are written.
            using TarnPlatform::SqlQuote;
            const std::string sql = "DELETE FROM 'Config' WHERE Name = " + SqlQuote(key) +
                                    " and Component=" + SqlQuote(component) + " and ConfigGroup=" + SqlQuote(group) + ";";
            if (DBStore::Execute(conn, sql, {}, {}, 3000) != 0)
                throw ConfigStoreException("Delete mutable default config failed");
        }
        const std::string version = object->GetVersion();
        if (value.IsObject()) {
            WriteBootDocumentObject(allocator, conn, version, component, group, key, object, value);
        } else if (value.IsArray()) {
            for (rapidjson::Value& element : value.GetArray())
                WriteBootDocumentObject(allocator, conn, version, component, group, key, object, element);
        } else if (value.IsString() && MemberName(value) == DELETE_DEFAULT_VALUE) {
            CSLogger::Log(2, "Default configuration for %s will be deleted.", label.c_str());
        }
    } catch (const std::exception& e) {
        CSLogger::Log(0, "%s: %s, skipping", e.what(), label.c_str());
    }
}

} // namespace

void ProcessBootDocument(const std::shared_ptr<DBStore::StoreConnection>& conn) {
    const std::string path = TarnPlatform::HostPath(BOOT_CONFIGURATION_PATH);
    if (!FileExists(path.c_str())) return;
    CSLogger::Log(2, "Processing boot document.");
    const std::shared_ptr<JsonDoc> doc = CreateDocumentFromFile(path);
    const auto cache = TarnSchemaStore::SchemaStore::GetCache();
    rapidjson::Value* root = doc->document.get();
    if (!root->IsObject()) return CSLogger::Log(0, "Failed to process, document should be an object");
    auto profile = root->FindMember("profile");
    if (profile != root->MemberEnd()) {
        if (!profile->value.IsObject()) ThrowInvalidJson();
        root = &profile->value;
    }
    rapidjson::Document::AllocatorType& allocator = doc->document->GetAllocator();
    for (auto& c : root->GetObject()) {
        const std::string component = MemberName(c.name);
        if (!c.value.IsObject()) {
            CSLogger::Log(0, "/%s is invalid, skipping", component.c_str());
            continue;
        }
        for (auto& g : c.value.GetObject()) {
            const std::string group = MemberName(g.name);
            if (!g.value.IsObject()) {
                CSLogger::Log(0, "/%s/%s is invalid, skipping", component.c_str(), group.c_str());
                continue;
            }
            for (auto& k : g.value.GetObject())
                ProcessObject(allocator, conn, cache, component, group, MemberName(k.name), k.value);
        }
    }
    CSLogger::Log(2, "Boot document processed.");
}

} // namespace TarnConfigStore
