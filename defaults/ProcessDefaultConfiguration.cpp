#include <exception>
#include <memory>
#include <string>

#include "defaults/default_config.h"
#include "store/unique_dir.h"
#include "tarn/db_connection.h"
#include "tarn/exceptions.h"
#include "tarn/json_doc.h"
#include "tarn/platform/config_store_document.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"
#include "tarn/schema_processing.h"

namespace TarnConfigStore {
namespace {

// Validation results of one default file live in a pool of their own.
constexpr size_t kErrorsChunkCapacity = 65536;

bool EndsWithJson(const std::string& path) {
    return path.size() >= 5 && path.compare(path.size() - 5, 5, ".json") == 0;
}

std::string Text(const rapidjson::Value& value) { return std::string(value.GetString(), value.GetStringLength()); }

void CopyToConfig(const std::shared_ptr<DBStore::StoreConnection>& conn, const std::string& component,
                  const std::string& group, const std::string& key) {
    CSLogger::Log(2, "Copying defaultConfig to Config for schema= {%s/%s/%s}.", component.c_str(), group.c_str(),
                  key.c_str());
    const std::string sql =
        "INSERT OR REPLACE INTO Config(Component, ConfigGroup, Name, Identifier, UserValue, VitalValue, CachedValue, "
        "Version) SELECT Component, ConfigGroup, Name, Identifier, Value, VitalValue, CachedValue, Version from "
        "DefaultConfig where Component=" + TarnPlatform::SqlQuote(component) +
        " and ConfigGroup = " + TarnPlatform::SqlQuote(group) + " and Name=" + TarnPlatform::SqlQuote(key) + ";";
    if (DBStore::ExecuteV2(conn, sql, nullptr, nullptr, 3000) == 1)
        CSLogger::Log(0, "Failed to write mutable default config for %s/%s/%s", component.c_str(), group.c_str(),
                      key.c_str());
}

// One element of a default file: every value of its "config", then the copy
// into Config for a mutable-default object registered by this run.
void ProcessElement(const std::shared_ptr<DBStore::StoreConnection>& conn,
                    const std::shared_ptr<TarnSchemaStore::SchemaStore>& store, bool isTarnio,
                    const TarnSchemaStore::SchemaObjectIdSet& newIds, rapidjson::Value& element,
                    rapidjson::Document::AllocatorType& allocator, rapidjson::Document& errors) {
    const std::string key = Text(element["key"]), component = Text(element["component"]),
                      group = Text(element["group"]);
    const auto schemaObject = TarnSchemaStore::GetSchema(component, group, key, store);
    if (!schemaObject) return;  // not registered here, e.g. skipped by the SmartNIC split
    const bool copyToConfig = schemaObject->IsMutableDefaultConfig() &&
                              newIds.count(TarnSchemaStore::SchemaObjectId(component, group, key));
    const std::string version = schemaObject->GetVersion();

    rapidjson::Value& config = element["config"];
    if (isTarnio && ConfigStoreDocument::ValueExists(element, "tarnio_config")) config = element["tarnio_config"];

    rapidjson::Value elementErrors(rapidjson::kArrayType);
    if (config.IsArray()) {
        int position = 0;
        for (rapidjson::Value& value : config.GetArray())
            WriteDefaultConfigValue(allocator, conn, version, component, group, key, schemaObject, value, errors,
                                    {position++, &elementErrors});
    } else {
        WriteDefaultConfigValue(allocator, conn, version, component, group, key, schemaObject, config, errors,
                                {-1, &elementErrors});
    }
    if (!elementErrors.Empty()) {
        CSLogger::Log(0, "Validation failed for key: %s", key.c_str());
        errors.PushBack(elementErrors, errors.GetAllocator());
    }
    if (copyToConfig) CopyToConfig(conn, component, group, key);
}

// The schema lookups of one default file read the schema store in one read
// transaction, not one each.
class SchemaStoreRead {
public:
    explicit SchemaStoreRead(const std::shared_ptr<TarnSchemaStore::SchemaStore>& store) : m_store(*store) {
        m_store.BeginRead();
    }
    ~SchemaStoreRead() {
        try {
            m_store.EndRead();
        } catch (const std::exception&) {
            // A read ends with the store's connection as well.
        }
    }
    SchemaStoreRead(const SchemaStoreRead&) = delete;
    SchemaStoreRead& operator=(const SchemaStoreRead&) = delete;

private:
    TarnSchemaStore::SchemaStore& m_store;
};

void ProcessDefaultFile(const std::shared_ptr<DBStore::StoreConnection>& conn,
                        const std::shared_ptr<TarnSchemaStore::SchemaStore>& store, bool isTarnio,
                        const TarnSchemaStore::SchemaObjectIdSet& newIds, const std::string& path) {
    CSLogger::Log(2, "Processing default config from '%s'", path.c_str());
    auto doc = CreateDocumentFromFile(path);
    const SchemaStoreRead read(store);
    rapidjson::MemoryPoolAllocator<> errorsPool(kErrorsChunkCapacity);
    rapidjson::Document errors(rapidjson::kArrayType, &errorsPool);
    rapidjson::Value& data = (*doc->document)["data"];
    for (rapidjson::Value& element : data.GetArray())
        ProcessElement(conn, store, isTarnio, newIds, element, doc->document->GetAllocator(), errors);
    if (!errors.Empty()) CSLogger::Log(0, "Default configuration failed '%s'", path.c_str());
}

} // namespace

void ProcessDefaultConfiguration(bool isTarnio, const TarnSchemaStore::SchemaObjectIdSet& newIds) {
    CSLogger::Log(2, "Processing default configuration.");
    std::shared_ptr<DBStore::StoreConnection> conn;
    try {
        conn = GetDBConnection(DBStore::CONFIG_STORE, true);
        const auto store = TarnSchemaStore::SchemaStore::GetStore();
        const std::string dirPath = TarnPlatform::HostPath(DEFAULT_CONFIG_DIR);
        UniqueDir dir = OpenDir(dirPath);
        if (!dir) {
            CSLogger::Log(0, "Failed to open %s", dirPath.c_str());
        } else {
            // The table is rebuilt as a whole or not at all: without the
            // transaction the DELETE alone would commit.
            if (DBStore::BeginTransaction(conn) != 0)
                throw ConfigStoreException("Failed to begin default configuration transaction");
            if (DBStore::ExecuteV2(conn, "DELETE from DefaultConfig;", nullptr, nullptr, 3000) == 1)
                throw ConfigStoreException("Failed to cleanup default config");
            while (const dirent* entry = readdir(dir.get())) {
                const std::string path = dirPath + "/" + entry->d_name;
                if (EndsWithJson(path)) ProcessDefaultFile(conn, store, isTarnio, newIds, path);
            }
            if (DBStore::CommitTransaction(conn) != 0)
                throw ConfigStoreException("Failed to commit default configuration transaction");
        }
    } catch (const std::exception& e) {
        DBStore::CancelTransaction(conn);
        CSLogger::Log(0, "DefaultConfiguration Failed %s", e.what());
    }
    CSLogger::Log(2, "Completed processing default configuration.");
}

} // namespace TarnConfigStore
