#include "tarn/platform/db_store.h"

#include <atomic>
#include <cstring>
#include <sqlite3.h>
#include <vector>

#include "sqlite_setup.h"
#include "statement_cache.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"

namespace DBStore {
namespace {

std::atomic<int> gNextSerial{1};

// Every connection waits out another's lock from its first statement on,
// the probe in GetConnection and the integrity check included.
constexpr int kBusyTimeoutMs = 3000;

// Records every statement a connection starts (not the statements that
// triggers run inside it), for capture.
int TraceStatement(unsigned type, void* context, void* stmt, void* sqlText) {
    if (type != SQLITE_TRACE_STMT) return 0;
    const char* text = static_cast<const char*>(sqlText);
    if (text && text[0] == '-' && text[1] == '-') return 0;  // trigger program
    const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(stmt));
    TarnPlatform::Capture::RecordSql(static_cast<int>(reinterpret_cast<intptr_t>(context)), sql ? sql : "");
    return 0;
}

std::shared_ptr<StoreConnection> Open(const std::string& path, Type type, int flags) {
    ReportSqliteSetup();
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    auto conn = std::make_shared<StoreConnection>(db, type, gNextSerial++);
    if (rc != SQLITE_OK) return nullptr;
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 0);
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, &TraceStatement,
                     reinterpret_cast<void*>(static_cast<intptr_t>(conn->Serial())));
    return conn;
}

bool Valid(const std::shared_ptr<StoreConnection>& conn) { return conn && conn->Handle(); }

// Hands each row to the callback as C strings, as sqlite3_exec does. A text
// with a NUL byte inside would arrive cut short, as the text of another
// name, so such a row fails the statement instead. Returns the reason of a
// failure, or the empty text.
std::string StepRows(sqlite3_stmt* stmt, RowCallback callback, void* context) {
    std::vector<char*> values, names;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (!callback) continue;
        const int n = sqlite3_column_count(stmt);
        values.assign(n, nullptr);
        names.assign(n, nullptr);
        for (int i = 0; i < n; ++i) {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            names[i] = const_cast<char*>(sqlite3_column_name(stmt, i));
            if (text && std::strlen(text) != static_cast<size_t>(sqlite3_column_bytes(stmt, i)))
                return std::string("a NUL byte inside a text of column ") + (names[i] ? names[i] : "?");
            values[i] = const_cast<char*>(text);
        }
        if (callback(context, n, values.data(), names.data()) != 0) return "query aborted";
    }
    return rc == SQLITE_DONE ? "" : sqlite3_errmsg(sqlite3_db_handle(stmt));
}

// Runs the statements of sql one after the other, as sqlite3_exec does.
std::string RunStatements(sqlite3* db, const std::string& sql, RowCallback callback, void* context) {
    // SQLite reads a statement text up to its first NUL byte.
    if (sql.find('\0') != std::string::npos) return "a NUL byte inside the statement text";
    for (const char* next = sql.c_str(); *next;) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db, next, -1, &raw, &next) != SQLITE_OK) return sqlite3_errmsg(db);
        std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> stmt(raw, &sqlite3_finalize);
        if (!stmt) continue;  // only white space or a comment
        std::string reason = StepRows(stmt.get(), callback, context);
        if (!reason.empty()) return reason;
    }
    return "";
}

// The first statement of sql, null after logging why it cannot be prepared.
Statement Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
    Statement stmt(raw);
    if (rc != SQLITE_OK || !stmt) {
        CSLogger::Log(0, "DBStore: cannot prepare (%s): %s", sqlite3_errmsg(db), sql.c_str());
        return nullptr;
    }
    return stmt;
}

// Statements of the databases, in creation order.
const char* const kConfigStoreTables[] = {
    TarnConfigStore::CREATE_KVTABLE,
    TarnConfigStore::CREATE_CONFIG_TABLE,
    TarnConfigStore::CREATE_UPDATE_REVISION_TRIGGER,
    TarnConfigStore::CREATE_UPDATE_MODIFIED_TIME_TRIGGER,
    TarnConfigStore::CREATE_DEFAULT_CONFIG_TABLE,
    TarnConfigStore::CREATE_DESIRED_USER_CONFIG_TABLE,
    TarnConfigStore::CREATE_UPGRADE_STATUS_TABLE,
};
const char* const kDataFileStoreTables[] = {TarnConfigStore::CREATE_DATAFILE_METADATA_TABLE};

template <size_t N>
int CreateDatabase(Type type, const char* const (&statements)[N]) {
    const std::string path = TarnPlatform::HostPath(DatabasePath(type));
    TarnPlatform::MakeDirectories(path.substr(0, path.rfind('/')));
    auto conn = Open(path, type, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!conn) {
        CSLogger::Log(0, "DBStore: cannot create database %s", path.c_str());
        return 1;
    }
    if (ExecuteV2(conn, "PRAGMA journal_mode=DELETE;", nullptr, nullptr, 3000) != 0) return 1;
    if (BeginTransaction(conn) != 0) return 1;
    for (const char* sql : statements) {
        if (ExecuteV2(conn, sql, nullptr, nullptr, 3000) != 0) {
            CancelTransaction(conn);
            return 1;
        }
    }
    return CommitTransaction(conn);
}

} // namespace

StoreConnection::StoreConnection(sqlite3* db, Type type, int serial)
    : m_db(db), m_statements(std::make_unique<StatementCache>()), m_type(type), m_serial(serial) {}

StoreConnection::~StoreConnection() {
    m_statements.reset();  // finalized before the close
    sqlite3_close_v2(m_db);
}

const char* DatabasePath(Type type) {
    switch (type) {
    case CONFIG_STORE: return TarnConfigStore::CONFIG_STORE_PATH;
    case DATAFILE_STORE: return TarnConfigStore::DATAFILE_STORE_PATH;
    }
    return nullptr;
}

std::shared_ptr<StoreConnection> GetConnection(Type type) {
    const char* path = DatabasePath(type);
    if (!path) return nullptr;
    auto conn = Open(TarnPlatform::HostPath(path), type, SQLITE_OPEN_READWRITE);
    // A file that is not a database opens fine and fails on first use.
    if (conn && sqlite3_exec(conn->Handle(), "SELECT count(*) FROM sqlite_schema;", nullptr, nullptr, nullptr) != SQLITE_OK)
        return nullptr;
    return conn;
}

int CreateDatabases() {
    int rc = CreateDatabase(CONFIG_STORE, kConfigStoreTables);
    return CreateDatabase(DATAFILE_STORE, kDataFileStoreTables) | rc;
}

bool Check(const std::string& path) {
    // Read-write: a hot journal left by a writer that was killed (a backup cut
    // short) is rolled back on first read, which a read-only connection cannot
    // do. SQLite opens a file it may not write read-only instead; such a file
    // passes when it has no hot journal and fails when it has one, since it
    // cannot be recovered in place. Without SQLITE_OPEN_CREATE a missing file
    // stays missing.
    auto conn = Open(path, CONFIG_STORE, SQLITE_OPEN_READWRITE);
    if (!conn) return false;
    bool ok = false;
    int rows = 0;
    auto onRow = [](void* ctx, int n, char** values, char**) -> int {
        auto* state = static_cast<std::pair<bool*, int*>*>(ctx);
        ++*state->second;
        *state->first = n == 1 && values[0] && std::string(values[0]) == "ok";
        return 0;
    };
    std::pair<bool*, int*> state{&ok, &rows};
    if (sqlite3_exec(conn->Handle(), "PRAGMA integrity_check;", onRow, &state, nullptr) != SQLITE_OK) return false;
    return ok && rows == 1;
}

int ExecuteV2(const std::shared_ptr<StoreConnection>& conn, const std::string& sql, RowCallback callback,
              void* context, int busyTimeoutMs) {
    if (!Valid(conn)) return 1;
    sqlite3_busy_timeout(conn->Handle(), busyTimeoutMs);
    const std::string reason = RunStatements(conn->Handle(), sql, callback, context);
    if (!reason.empty()) {
        CSLogger::Log(0, "DBStore: statement failed (%s): %s", reason.c_str(), sql.c_str());
        return 1;
    }
    return 0;
}

int Execute(const std::shared_ptr<StoreConnection>& conn, const std::string& sql,
            const std::vector<std::string>& values, const std::vector<int>& integers, int busyTimeoutMs) {
    if (!Valid(conn) || !integers.empty()) return 1;
    sqlite3_busy_timeout(conn->Handle(), busyTimeoutMs);
    Statement stmt = conn->Statements().Take(sql);
    const bool kept = stmt != nullptr;
    if (!kept && !(stmt = Prepare(conn->Handle(), sql))) return 1;
    if (static_cast<int>(values.size()) != sqlite3_bind_parameter_count(stmt.get())) {
        CSLogger::Log(0, "DBStore: %zu values for %d placeholders: %s", values.size(),
                      sqlite3_bind_parameter_count(stmt.get()), sql.c_str());
        return 1;
    }
    // Bound without a copy: every way out of this function resets or
    // finalizes the statement while the caller still holds the values.
    for (size_t i = 0; i < values.size(); ++i) {
        if (sqlite3_bind_text(stmt.get(), static_cast<int>(i + 1), values[i].data(),
                              static_cast<int>(values[i].size()), SQLITE_STATIC) != SQLITE_OK)
            return 1;
    }
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        const std::string reason = sqlite3_errmsg(conn->Handle());
        stmt.reset();
        // A kept statement compiles itself again when the schema changed
        // since (a table dropped, a database detached); where that fails, a
        // fresh statement would not have prepared, and is reported so.
        if (kept && !Prepare(conn->Handle(), sql)) return 1;
        CSLogger::Log(0, "DBStore: statement failed (%s): %s", reason.c_str(), sql.c_str());
        return 1;
    }
    conn->Statements().Keep(sql, std::move(stmt));
    return 0;
}

// IMMEDIATE: the writer's lock is taken at the start, so a transaction never
// fails half-way because another connection started writing first.
int BeginTransaction(const std::shared_ptr<StoreConnection>& conn) {
    return ExecuteV2(conn, "BEGIN IMMEDIATE TRANSACTION;", nullptr, nullptr, 3000);
}

int CommitTransaction(const std::shared_ptr<StoreConnection>& conn) {
    return ExecuteV2(conn, "COMMIT TRANSACTION;", nullptr, nullptr, 3000);
}

int CancelTransaction(const std::shared_ptr<StoreConnection>& conn) {
    if (!Valid(conn) || sqlite3_get_autocommit(conn->Handle())) return 1;  // nothing open
    return ExecuteV2(conn, "ROLLBACK TRANSACTION;", nullptr, nullptr, 3000);
}

int ReadKeyValue(const std::string& key, std::string* value, const std::shared_ptr<StoreConnection>& conn) {
    if (!Valid(conn) || !value) return 1;
    sqlite3_busy_timeout(conn->Handle(), 3000);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(conn->Handle(), "SELECT Value FROM KVTable WHERE Key = ?;", -1, &raw, nullptr) != SQLITE_OK)
        return 1;
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> stmt(raw, &sqlite3_finalize);
    sqlite3_bind_text(stmt.get(), 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
    int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_DONE) {  // never written
        value->clear();
        return 0;
    }
    if (rc != SQLITE_ROW) return 1;
    const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
    value->assign(text ? reinterpret_cast<const char*>(text) : "",
                  static_cast<size_t>(sqlite3_column_bytes(stmt.get(), 0)));
    return 0;
}

int WriteKeyValue(const std::string& key, const std::string& value, const std::shared_ptr<StoreConnection>& conn) {
    return Execute(conn,
                   "INSERT INTO KVTable(Key, Value, CreationTime) VALUES(?, ?, datetime(CURRENT_TIMESTAMP)) "
                   "ON CONFLICT(Key) DO UPDATE SET Value = excluded.Value, "
                   "ModifiedTime = datetime(CURRENT_TIMESTAMP);",
                   {key, value}, {}, 3000);
}

} // namespace DBStore
