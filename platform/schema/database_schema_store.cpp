#include <exception>
#include <utility>

#include "schema/schema_store_impl.h"
#include "tarn/exceptions.h"

namespace TarnSchemaStore {
namespace {

using TarnSchemaDatabase::Savepoint;
using TarnSchemaDatabase::Statement;

constexpr char kSharedFilter[] =
    " AND (Component, ConfigGroup, Name) IN (SELECT Component, ConfigGroup, Name FROM SmartnicSchema WHERE "
    "ValueType='tarn-shared')";

[[noreturn]] void Throw(const std::string& text) { throw TarnConfigStore::ConfigStoreException(text.c_str()); }

// The data-file keys an earlier registration declared (none when its text
// does not say).
std::vector<std::string> DataFilesOf(const std::string& entryText) {
    std::vector<std::string> keys;
    rapidjson::Document doc;
    if (!TarnJson::Parse(doc, entryText) || !doc.IsObject()) return keys;
    auto it = doc.FindMember("datafiles");
    if (it == doc.MemberEnd() || !it->value.IsArray()) return keys;
    for (const auto& k : it->value.GetArray())
        if (k.IsString()) keys.emplace_back(k.GetString(), k.GetStringLength());
    return keys;
}

} // namespace

DatabaseSchemaStore::DatabaseSchemaStore(std::unique_ptr<TarnSchemaDatabase::Database> db) : m_db(std::move(db)) {}

DatabaseSchemaStore::~DatabaseSchemaStore() {
    if (m_transaction == Transaction::None) return;
    try {
        m_db->Exec("ROLLBACK;");  // an update never committed leaves nothing; a read ends
    } catch (const std::exception&) {
        // Closing the connection rolls it back as well.
    }
}

std::shared_ptr<SchemaObject> DatabaseSchemaStore::GetSchemaObject(const SchemaObjectId& id) {
    TarnSchemaDatabase::Database* db = Db();  // first: an aborted update's objects must not be found
    auto known = m_objects.find(id);
    if (known != m_objects.end())
        if (auto object = known->second.lock()) return object;
    Statement read = db->Prepare("SELECT Value FROM ConfigSchema WHERE Component=? AND ConfigGroup=? AND Name=?;");
    read.Bind(id.GetComponent()).Bind(id.GetGroup()).Bind(id.GetName());
    std::shared_ptr<SchemaObject> object;
    if (read.Step()) {
        try {
            // Not make_shared: the cache's weak reference would hold the
            // object's memory after its last user let it go.
            object.reset(new StoredSchemaObject(TarnSchemaEntry::ReadSchemaEntry(
                read.Text(0), id.GetComponent(), id.GetGroup(), id.GetName(), false)));
        } catch (const TarnSchemaEntry::EntryError& e) {
            Throw("Schema store: the registered entry " + id.toString() + " cannot be read: " + e.what());
        }
    }
    if (object) m_objects[id] = object;
    return object;
}

std::vector<std::shared_ptr<SchemaObject>> DatabaseSchemaStore::GetSchemaObjects(const std::string& name) {
    std::vector<SchemaObjectId> ids;
    Statement list = Db()->Prepare("SELECT Component, ConfigGroup FROM ConfigSchema WHERE Name=? ORDER BY Component, ConfigGroup;");
    list.Bind(name);
    while (list.Step()) ids.emplace_back(list.Text(0), list.Text(1), name);
    std::vector<std::shared_ptr<SchemaObject>> objects;
    for (const SchemaObjectId& id : ids)
        if (auto object = GetSchemaObject(id)) objects.push_back(std::move(object));
    return objects;
}

SchemaObjectIdSet DatabaseSchemaStore::Ids(const char* sql, const std::function<void(Statement&)>& bind) {
    Statement list = Db()->Prepare(sql);
    if (bind) bind(list);
    SchemaObjectIdSet ids;
    while (list.Step()) ids.emplace(list.Text(0), list.Text(1), list.Text(2));
    return ids;
}

SchemaObjectIdSet DatabaseSchemaStore::GetMutableDefaultConfigIds(bool sharedOnly) {
    std::string sql = "SELECT Component, ConfigGroup, Name FROM ConfigSchema WHERE MutableDefaultConfig=1";
    if (sharedOnly) sql += kSharedFilter;
    return Ids((sql + ";").c_str());
}

SchemaObjectIdSet DatabaseSchemaStore::GetSchemaObjectIdsByKind(int kind) {
    return Ids("SELECT Component, ConfigGroup, Name FROM SchemaObjectKind WHERE Kind=?;",
               [kind](Statement& s) { s.Bind(kind); });
}

SchemaObjectIdSet DatabaseSchemaStore::GetSchemaObjectIds(bool sharedOnly) {
    std::string sql = "SELECT Component, ConfigGroup, Name FROM ConfigSchema WHERE 1=1";
    if (sharedOnly) sql += kSharedFilter;
    return Ids((sql + ";").c_str());
}

void DatabaseSchemaStore::BeginRead() {
    if (m_transaction == Transaction::Read || m_transaction == Transaction::Update) return;
    Db()->Exec("BEGIN DEFERRED TRANSACTION;");
    m_transaction = Transaction::Read;
}

void DatabaseSchemaStore::EndRead() {
    if (m_transaction != Transaction::Read) return;
    m_transaction = Transaction::None;
    Db()->Exec("COMMIT TRANSACTION;");  // reads only: nothing to write
}

void DatabaseSchemaStore::BeginUpdate() {
    if (m_transaction == Transaction::Update) Throw("Schema store: an update is already open");
    EndRead();
    Db()->Exec("BEGIN IMMEDIATE TRANSACTION;");
    m_transaction = Transaction::Update;
}

void DatabaseSchemaStore::CommitUpdate() {
    if (m_transaction != Transaction::Update && m_transaction != Transaction::AbortedUpdate) return;
    m_transaction = Transaction::None;
    m_fileRecorded.clear();
    m_objects.clear();
    try {
        m_db->Exec("COMMIT TRANSACTION;");
    } catch (const std::exception&) {
        if (m_db->InTransaction()) m_db->Exec("ROLLBACK TRANSACTION;");
        throw;
    }
}

// The rollback waits for the next call: a CommitUpdate right after keeps
// what the update set before the abort.
void DatabaseSchemaStore::AbortUpdate() {
    if (m_transaction == Transaction::Update) m_transaction = Transaction::AbortedUpdate;
}

TarnSchemaDatabase::Database* DatabaseSchemaStore::Db() {
    if (m_transaction == Transaction::AbortedUpdate) {
        m_transaction = Transaction::None;
        m_fileRecorded.clear();
        m_objects.clear();
        if (m_db->InTransaction()) m_db->Exec("ROLLBACK TRANSACTION;");
    }
    return m_db.get();
}

std::unordered_set<std::string> DatabaseSchemaStore::GetSchemaFileIds() {
    std::unordered_set<std::string> files;
    Statement list = Db()->Prepare("SELECT FileId FROM SchemaFile;");
    while (list.Step()) files.insert(list.Text(0));
    return files;
}

void DatabaseSchemaStore::RemoveSchemaFiles(const std::unordered_set<std::string>& fileIds) {
    if (fileIds.empty()) return;
    static const char* const kStatements[] = {
        "DELETE FROM SmartnicSchema WHERE (Component, ConfigGroup, Name) IN (SELECT Component, ConfigGroup, Name "
        "FROM ConfigSchema WHERE CrateId=?);",
        "DELETE FROM SchemaObjectKind WHERE (Component, ConfigGroup, Name) IN (SELECT Component, ConfigGroup, Name "
        "FROM ConfigSchema WHERE CrateId=?);",
        "DELETE FROM DataFileSchema WHERE CrateId=?;",
        "DELETE FROM ConfigSchema WHERE CrateId=?;",
        "DELETE FROM SchemaFile WHERE FileId=?;",
    };
    m_objects.clear();
    Savepoint removal(*Db(), "remove_schema_files");
    for (const std::string& file : fileIds)
        for (const char* sql : kStatements) Db()->Prepare(sql).Bind(file).Run();
    removal.Release();
}

bool DatabaseSchemaStore::HasComponent(const std::string& component) {
    Statement any = Db()->Prepare("SELECT 1 FROM ConfigSchema WHERE Component=? LIMIT 1;");
    return any.Bind(component).Step();
}

bool DatabaseSchemaStore::HasGroup(const std::string& component, const std::string& group) {
    Statement any = Db()->Prepare("SELECT 1 FROM ConfigSchema WHERE Component=? AND ConfigGroup=? LIMIT 1;");
    return any.Bind(component).Bind(group).Step();
}

int DatabaseSchemaStore::Register(const std::string& fileId, const std::string& component, const std::string& group,
                                  const std::string& name, const std::string& schemaText, const rapidjson::Value* parsed,
                                  bool hasSmartnic) {
    const SchemaObjectId id(component, group, name);
    const std::string what = "Schema entry " + id.toString() + " of file " + fileId;
    TarnSchemaEntry::SchemaEntry entry;
    try {
        if (fileId.empty()) throw TarnSchemaEntry::EntryError("has no file ID");
        entry = parsed ? TarnSchemaEntry::ReadSchemaEntry(*parsed, component, group, name, true)
                       : TarnSchemaEntry::ReadSchemaEntry(schemaText, component, group, name, true);
        if (hasSmartnic != !entry.smartnicValueType.empty())
            throw TarnSchemaEntry::EntryError(hasSmartnic ? "has no \"smartnic\" member, though announced"
                                                          : "has a \"smartnic\" member that was not announced");
    } catch (const TarnSchemaEntry::EntryError& e) {
        Throw(what + " refused: " + e.what());
    }
    bool replaced = false;
    m_objects.erase(id);
    EndRead();  // else the entry would be written only when the read ends
    try {
        Savepoint registration(*Db(), "set_schema");
        WriteEntry(fileId, schemaText, entry, replaced);
        registration.Release();
        if (m_transaction == Transaction::Update) m_fileRecorded = fileId;
    } catch (const std::exception& e) {
        Throw(what + " not registered: " + e.what());
    }
    return replaced ? 1 : 0;
}

void DatabaseSchemaStore::WriteEntry(const std::string& fileId, const std::string& schemaText,
                                     const TarnSchemaEntry::SchemaEntry& e, bool& replaced) {
    Statement earlier = Db()->Prepare("SELECT CrateId, Value FROM ConfigSchema WHERE Component=? AND ConfigGroup=? AND Name=?;");
    earlier.Bind(e.component).Bind(e.group).Bind(e.name);
    if (earlier.Step()) {
        replaced = true;
        const std::string oldFile = earlier.Text(0);
        for (const std::string& key : DataFilesOf(earlier.Text(1)))
            Db()->Prepare("DELETE FROM DataFileSchema WHERE CrateId=? AND Component=? AND Key=?;")
                .Bind(oldFile).Bind(e.component).Bind(key).Run();
    }
    // CrateId holds the ID of the schema file the entry came from.
    Db()->Prepare("INSERT OR REPLACE INTO ConfigSchema(CrateId, Component, ConfigGroup, Name, Value, Version, Success, "
                  "NoRestore, MutableDefaultConfig, Singleton, SchemaType, DSPIntegrated, PreserveNonUser) "
                  "VALUES (?, ?, ?, ?, ?, ?, 1, ?, ?, ?, ?, ?, ?);")
        .Bind(fileId).Bind(e.component).Bind(e.group).Bind(e.name).Bind(schemaText).Bind(e.version)
        .Bind(e.noRestore).Bind(e.mutableDefaultConfig).Bind(e.idField.empty()).Bind(e.schemaType)
        .Bind(e.dspIntegrated).Bind(e.preserveNonUser)
        .Run();
    Db()->Prepare("DELETE FROM SmartnicSchema WHERE Component=? AND ConfigGroup=? AND Name=?;")
        .Bind(e.component).Bind(e.group).Bind(e.name).Run();
    if (!e.smartnicValueType.empty())
        Db()->Prepare("INSERT INTO SmartnicSchema(Component, ConfigGroup, Name, ValueType) VALUES (?, ?, ?, ?);")
            .Bind(e.component).Bind(e.group).Bind(e.name).Bind(e.smartnicValueType).Run();
    Db()->Prepare("INSERT OR REPLACE INTO SchemaObjectKind(Component, ConfigGroup, Name, Kind) VALUES (?, ?, ?, ?);")
        .Bind(e.component).Bind(e.group).Bind(e.name).Bind(e.kind).Run();
    for (const std::string& key : e.dataFiles)
        Db()->Prepare("INSERT OR REPLACE INTO DataFileSchema(CrateId, Component, Key, Version) VALUES (?, ?, ?, ?);")
            .Bind(fileId).Bind(e.component).Bind(key).Bind(e.version).Run();
    // Once per file in an update: the rows of its later entries add nothing.
    if (m_transaction == Transaction::Update && m_fileRecorded == fileId) return;
    Db()->Prepare("INSERT OR IGNORE INTO SchemaFile(FileId) VALUES (?);").Bind(fileId).Run();
}

} // namespace TarnSchemaStore
