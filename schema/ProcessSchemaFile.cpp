#include <cstring>
#include <exception>
#include <string>

#include "schema/schema_files.h"
#include "tarn/exceptions.h"
#include "tarn/json_doc.h"
#include "tarn/platform/config_store_document.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/feature_list.h"
#include "tarn/platform/host_root.h"

namespace TarnConfigStore {
namespace {

using ConfigStoreDocument::ValueExists;

bool SmartnicSplitOn() {
    TarnPlatform::LoadFeatures();
    return *FeatureList[TarnPlatform::FEATURE_SMARTNIC] != 0;
}

bool IsText(const rapidjson::Value& value, const char* text) {
    return value.IsString() && value.GetStringLength() == std::strlen(text) &&
           std::memcmp(value.GetString(), text, value.GetStringLength()) == 0;
}

// With the split on, an entry without "smartnic" lives on the host only,
// "tarn-shared" on both sides, "tarnio-only" on the SmartNIC only, any other
// value nowhere. With the split off every entry is registered.
bool RegistersHere(const rapidjson::Value& entry, bool split, bool isTarnio) {
    if (!ValueExists(entry, "smartnic")) return !(split && isTarnio);
    const rapidjson::Value& type = entry["smartnic"]["schema"];  // missing: the JSON check fails the file
    if (IsText(type, "tarnio-only")) return !(split && !isTarnio);
    return !split || IsText(type, "tarn-shared");
}

std::string Text(const rapidjson::Value& value) { return std::string(value.GetString(), value.GetStringLength()); }

void RegisterEntries(const std::shared_ptr<TarnSchemaStore::SchemaStore>& store, const std::string& fileId,
                     const rapidjson::Value& data, const TarnSchemaStore::SchemaObjectIdSet& registeredIds,
                     TarnSchemaStore::SchemaObjectIdSet& newIds, bool isTarnio) {
    const bool split = SmartnicSplitOn();
    for (const rapidjson::Value& entry : data.GetArray()) {
        if (!ValueExists(entry, "key") || !ValueExists(entry, "group") || !ValueExists(entry, "component")) {
            CSLogger::Log(0, "Schema file %s.json has errors", fileId.c_str());
            store->AbortUpdate();
            return;
        }
        const std::string key = Text(entry["key"]), group = Text(entry["group"]),
                          component = Text(entry["component"]);
        if (RegistersHere(entry, split, isTarnio)) {
            std::string text;
            ConfigStoreDocument::SerializeValue(entry, text);
            TarnSchemaStore::SetSchema(fileId, component, group, key, text, entry, store, ValueExists(entry, "smartnic"));
        } else {
            CSLogger::Log(2, "[SchemaProcessor]: Skipping schema %s/%s/%s for tarnio=%d", component.c_str(),
                          group.c_str(), key.c_str(), isTarnio ? 1 : 0);
        }
        // Skipped entries count too: their defaults are looked up (and not found) like any other.
        TarnSchemaStore::SchemaObjectId id(component, group, key);
        if (!registeredIds.count(id)) newIds.insert(id);
    }
}

} // namespace

bool ProcessSchemaFile(const std::shared_ptr<TarnSchemaStore::SchemaStore>& store, const std::string& fileId,
                       const std::unordered_set<std::string>& crateSchemaIds,
                       const TarnSchemaStore::SchemaObjectIdSet& registeredIds,
                       TarnSchemaStore::SchemaObjectIdSet& newIds, bool isTarnio) {
    bool updating = false;
    try {
        CSLogger::Log(2, "Processing schema from '%s.json' to SchemaStore", fileId.c_str());
        auto doc = CreateDocumentFromFile(TarnPlatform::HostPath(std::string(SCHEMA_DIR) + "/" + fileId + ".json"));
        const rapidjson::Value& root = *doc->document;
        if (!ValueExists(root, "data") || !ValueExists(root, "metadata") ||
            !ValueExists(root["metadata"], "cratename") || !ValueExists(root["metadata"], "crateversion"))
            CSLogger::Log(0, "[SchemaProcessor] Invalid format in schema file %s.json", fileId.c_str());

        const std::string name = Text(root["metadata"]["cratename"]);
        std::string version = Text(root["metadata"]["crateversion"]);
        const size_t underscore = version.find('_');
        if (underscore != std::string::npos) version[underscore] = '-';
        if (!crateSchemaIds.count(name + "_" + version)) {
            CSLogger::Log(0,
                          "[SchemaProcessor] Metadata %s_%s in schema file %s.json does not have a match in CRATE list",
                          name.c_str(), version.c_str(), fileId.c_str());
            CSLogger::Log(0, "[SchemaProcessor] Schema file %s.json validation error", fileId.c_str());
            return false;
        }

        store->BeginUpdate();
        updating = true;
        RegisterEntries(store, fileId, root["data"], registeredIds, newIds, isTarnio);
        store->CommitUpdate();
        return true;
    } catch (const std::exception& e) {
        CSLogger::Log(0, "[SchemaProcessor] Failed to process schema file %s.json: %s", fileId.c_str(), e.what());
        if (updating) {
            try {
                store->AbortUpdate();
            } catch (const std::exception&) {
                // The update rolls back when the store object goes as well.
            }
        }
        return false;
    }
}

} // namespace TarnConfigStore
