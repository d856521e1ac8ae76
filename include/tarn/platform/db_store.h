// The database service of the store: connections to the store databases,
// statement execution, transactions, key/value access, database creation and
// the integrity check.
//
// Decisions of this implementation:
// - The integer last argument of the statement calls (3000 everywhere) is the
//   busy timeout in milliseconds: how long a statement waits for a lock held
//   by another connection before it fails. Connections wait that long from
//   the moment they are opened, so opening and checking wait as well.
// - Databases use the rollback journal (journal_mode DELETE), so a database
//   file is complete on its own whenever no transaction is open; a restore
//   may copy it with cp.
// - GetConnection opens existing databases only; CreateDatabases makes them.
// - ReadKeyValue of a key that was never written succeeds with an empty value.
// - Execute keeps the last few statements of each connection prepared, by
//   their text, for the next call with the same text (a write per row); they
//   are finalized when the connection closes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tarn/export.h"

struct sqlite3;

namespace DBStore {

class StatementCache;

enum Type : int {
    CONFIG_STORE = 0,
    DATAFILE_STORE = 2,
};

// Paths of the store databases relative to the host root.
TARN_PLATFORM_EXPORT const char* DatabasePath(Type type);

class TARN_PLATFORM_EXPORT StoreConnection {
public:
    StoreConnection(sqlite3* db, Type type, int serial);
    ~StoreConnection();
    StoreConnection(const StoreConnection&) = delete;
    StoreConnection& operator=(const StoreConnection&) = delete;

    sqlite3* Handle() const { return m_db; }
    Type GetType() const { return m_type; }
    int Serial() const { return m_serial; }
    StatementCache& Statements() { return *m_statements; }

private:
    sqlite3* m_db;
    std::unique_ptr<StatementCache> m_statements;
    Type m_type;
    int m_serial;
};

typedef int (*RowCallback)(void* context, int columns, char** values, char** names);

// Empty pointer when the database cannot be opened (missing, not a database).
TARN_PLATFORM_EXPORT std::shared_ptr<StoreConnection> GetConnection(Type type);

// Creates the store databases that are missing and the tables missing in
// them; returns 0 on success.
TARN_PLATFORM_EXPORT int CreateDatabases();

// True when the file at path is a consistent database.
TARN_PLATFORM_EXPORT bool Check(const std::string& path);

// Runs every statement of sql; returns 0 on success, 1 on failure. Rows
// reach the callback as C strings, so a row holding a text with a NUL byte
// inside fails the statement rather than arrive cut short.
TARN_PLATFORM_EXPORT int ExecuteV2(const std::shared_ptr<StoreConnection>& conn, const std::string& sql,
                                   RowCallback callback, void* context, int busyTimeoutMs);

// Runs one statement with values bound in order to its '?' placeholders.
// integers is accepted for interface compatibility and must be empty.
TARN_PLATFORM_EXPORT int Execute(const std::shared_ptr<StoreConnection>& conn, const std::string& sql,
                                 const std::vector<std::string>& values, const std::vector<int>& integers,
                                 int busyTimeoutMs);

TARN_PLATFORM_EXPORT int BeginTransaction(const std::shared_ptr<StoreConnection>& conn);
TARN_PLATFORM_EXPORT int CommitTransaction(const std::shared_ptr<StoreConnection>& conn);
TARN_PLATFORM_EXPORT int CancelTransaction(const std::shared_ptr<StoreConnection>& conn);

TARN_PLATFORM_EXPORT int ReadKeyValue(const std::string& key, std::string* value,
                                      const std::shared_ptr<StoreConnection>& conn);
TARN_PLATFORM_EXPORT int WriteKeyValue(const std::string& key, const std::string& value,
                                       const std::shared_ptr<StoreConnection>& conn);

} // namespace DBStore
