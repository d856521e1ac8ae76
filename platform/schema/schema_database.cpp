#include "schema/schema_database.h"

#include <exception>
#include <sqlite3.h>

#include "tarn/exceptions.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"

namespace TarnSchemaDatabase {
namespace {

// Tables the component owns besides the two the store reads through ss:
// the SmartNIC value types, the kinds of objects and the registered files.
constexpr char kCreateSmartnicSchema[] =
    "CREATE TABLE IF NOT EXISTS SmartnicSchema(Component TEXT,ConfigGroup TEXT,Name TEXT,ValueType TEXT,"
    "PRIMARY KEY(Component, ConfigGroup, Name));";
constexpr char kCreateSchemaKind[] =
    "CREATE TABLE IF NOT EXISTS SchemaObjectKind(Component TEXT,ConfigGroup TEXT,Name TEXT,Kind INTEGER NOT NULL,"
    "PRIMARY KEY(Component, ConfigGroup, Name));";
constexpr char kCreateSchemaFile[] = "CREATE TABLE IF NOT EXISTS SchemaFile(FileId TEXT NOT NULL,PRIMARY KEY(FileId));";

constexpr int kBusyTimeoutMs = 3000;

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
    std::string text = "Schema store: " + what + ": " + (db ? sqlite3_errmsg(db) : "no database");
    throw TarnConfigStore::ConfigStoreException(text.c_str());
}

} // namespace

Statement::Statement(Database& db, const char* sql) : m_owner(&db), m_sql(sql), m_stmt(db.Take(m_sql)) {}

Statement::~Statement() {
    if (!m_stmt) return;  // moved from
    try {
        m_owner->Keep(std::move(m_sql), std::move(m_stmt));
    } catch (const std::exception&) {
        // Not kept: finalized with its handle.
    }
}

Statement& Statement::Bind(const std::string& text) {
    if (sqlite3_bind_text(m_stmt.get(), m_next++, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK)
        Fail(m_owner->m_db.get(), "cannot bind");
    return *this;
}

Statement& Statement::Bind(int number) {
    if (sqlite3_bind_int(m_stmt.get(), m_next++, number) != SQLITE_OK) Fail(m_owner->m_db.get(), "cannot bind");
    return *this;
}

bool Statement::Step() {
    int rc = sqlite3_step(m_stmt.get());
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Fail(m_owner->m_db.get(), "statement failed: " + m_sql);
}

void Statement::Run() {
    while (Step()) {
    }
}

std::string Statement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(m_stmt.get(), column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(m_stmt.get(), column)))
                : std::string();
}

int Statement::Int(int column) const { return sqlite3_column_int(m_stmt.get(), column); }

bool Statement::IsNull(int column) const { return sqlite3_column_type(m_stmt.get(), column) == SQLITE_NULL; }

Database::Database(sqlite3* db) : m_db(db, &sqlite3_close_v2) {}

Database::~Database() { m_statements.clear(); }  // finalized before the close

StatementHandle Database::Take(const std::string& sql) {
    auto kept = m_statements.find(sql);
    if (kept != m_statements.end()) {
        StatementHandle stmt = std::move(kept->second);
        m_statements.erase(kept);
        return stmt;
    }
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        Fail(m_db.get(), "cannot prepare " + sql);
    }
    return StatementHandle(raw, &sqlite3_finalize);
}

// Reset at once, so a kept statement holds no lock and no value meanwhile.
// A statement taken twice at a time is kept once; the other is finalized.
void Database::Keep(std::string sql, StatementHandle stmt) {
    sqlite3_reset(stmt.get());
    sqlite3_clear_bindings(stmt.get());
    m_statements.emplace(std::move(sql), std::move(stmt));
}

std::unique_ptr<Database> Database::Open() {
    const std::string path = TarnPlatform::HostPath(TarnConfigStore::SCHEMA_STORE_PATH);
    TarnPlatform::MakeDirectories(path.substr(0, path.rfind('/')));
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<Database> db(new Database(raw));
    if (rc != SQLITE_OK) Fail(raw, "cannot open " + path);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    for (const char* sql : {TarnConfigStore::CREATE_CONFIG_SCHEMA_TABLE, TarnConfigStore::CREATE_DATAFILE_SCHEMA_TABLE,
                            kCreateSmartnicSchema, kCreateSchemaKind, kCreateSchemaFile})
        db->Exec(sql);
    return db;
}

void Database::Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(m_db.get(), sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string text = std::string(sql) + " (" + (error ? error : "?") + ")";
        sqlite3_free(error);
        Fail(m_db.get(), "statement failed: " + text);
    }
}

bool Database::InTransaction() const { return !sqlite3_get_autocommit(m_db.get()); }

Savepoint::Savepoint(Database& db, const char* name) : m_db(db), m_name(name) {
    m_db.Prepare(("SAVEPOINT " + m_name + ";").c_str()).Run();
}

Savepoint::~Savepoint() {
    if (!m_open) return;
    try {
        m_db.Exec(("ROLLBACK TO " + m_name + "; RELEASE " + m_name + ";").c_str());
    } catch (...) {
        // Nothing more can be done while unwinding; the open transaction
        // still holds the changes back.
    }
}

void Savepoint::Release() {
    m_db.Prepare(("RELEASE " + m_name + ";").c_str()).Run();
    m_open = false;
}

} // namespace TarnSchemaDatabase
