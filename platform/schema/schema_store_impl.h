// The schema store's implementation classes.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "schema/schema_database.h"
#include "schema/schema_entry.h"
#include "tarn/platform/schema_store.h"

namespace TarnSchemaStore {

class StoredSchemaObject : public SchemaObject {
public:
    explicit StoredSchemaObject(TarnSchemaEntry::SchemaEntry entry);
    ~StoredSchemaObject() override;

    std::string GetIdField() const override { return m_entry.idField; }
    const rapidjson::Value& GetUserSchema() const override;
    const rapidjson::Value& GetSchemaDocument() const override { return *m_entry.schema; }
    std::string GetVersion() const override { return m_entry.version; }
    bool IsMutableDefaultConfig() const override { return m_entry.mutableDefaultConfig; }
    bool IsNonSingleton() const override { return !m_entry.idField.empty(); }
    int GetFileEnabled(uint8_t& enabled) const override;
    int GetFileCategory(std::string& category) const override;
    int GetFilePath(std::string& path) const override;
    std::vector<std::string> GetIdentifierList() const override { return m_entry.fixedInstances; }
    SchemaObjectId GetId() const override { return SchemaObjectId(m_entry.component, m_entry.group, m_entry.name); }
    int GetKind() const override { return m_entry.kind; }

private:
    TarnSchemaEntry::SchemaEntry m_entry;
    mutable std::once_flag m_userOnce;
    mutable std::shared_ptr<rapidjson::Document> m_userSchema;
};

class DatabaseSchemaStore : public SchemaStore {
public:
    explicit DatabaseSchemaStore(std::unique_ptr<TarnSchemaDatabase::Database> db);
    ~DatabaseSchemaStore() override;

    std::shared_ptr<SchemaObject> GetSchemaObject(const SchemaObjectId& id) override;
    std::vector<std::shared_ptr<SchemaObject>> GetSchemaObjects(const std::string& name) override;
    SchemaObjectIdSet GetMutableDefaultConfigIds(bool sharedOnly) override;
    SchemaObjectIdSet GetSchemaObjectIdsByKind(int kind) override;
    SchemaObjectIdSet GetSchemaObjectIds(bool sharedOnly) override;
    void BeginUpdate() override;
    void CommitUpdate() override;
    void AbortUpdate() override;
    std::unordered_set<std::string> GetSchemaFileIds() override;
    void RemoveSchemaFiles(const std::unordered_set<std::string>& fileIds) override;
    void BeginRead() override;
    void EndRead() override;

    // SetSchema's work; see there. parsed: the entry schemaText serializes, or null.
    int Register(const std::string& fileId, const std::string& component, const std::string& group,
                 const std::string& name, const std::string& schemaText, const rapidjson::Value* parsed,
                 bool hasSmartnic);
    bool HasComponent(const std::string& component);
    bool HasGroup(const std::string& component, const std::string& group);

private:
    // The connection, after rolling back an update aborted and not committed.
    TarnSchemaDatabase::Database* Db();
    SchemaObjectIdSet Ids(const char* sql, const std::function<void(TarnSchemaDatabase::Statement&)>& bind = {});
    void WriteEntry(const std::string& fileId, const std::string& schemaText, const TarnSchemaEntry::SchemaEntry& e,
                    bool& replaced);

    std::unique_ptr<TarnSchemaDatabase::Database> m_db;
    // The connection's open transaction. An aborted update is rolled back
    // by the next call but CommitUpdate, which commits it.
    enum class Transaction { None, Read, Update, AbortedUpdate } m_transaction = Transaction::None;
    std::string m_fileRecorded;  // the file whose SchemaFile row the open update wrote
    // Objects read so far, while their callers hold them (a boot reads
    // thousands, each once); forgotten whenever the store changes.
    std::unordered_map<SchemaObjectId, std::weak_ptr<SchemaObject>, SchemaObjectIdHash> m_objects;
};

class StoreSchemaObjectCache : public SchemaObjectCache {
public:
    explicit StoreSchemaObjectCache(std::shared_ptr<DatabaseSchemaStore> store) : m_store(std::move(store)) {}

    const std::shared_ptr<SchemaObject>& GetSchemaObject(const SchemaObjectId& id) override;
    bool HasComponent(const std::string& component) override { return m_store->HasComponent(component); }
    bool HasGroup(const std::string& component, const std::string& group) override {
        return m_store->HasGroup(component, group);
    }

private:
    std::shared_ptr<DatabaseSchemaStore> m_store;
    std::unordered_map<SchemaObjectId, std::shared_ptr<SchemaObject>, SchemaObjectIdHash> m_objects;
};

} // namespace TarnSchemaStore
