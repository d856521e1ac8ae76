// Owned SQLite handles for the store's own reads of database files.
#pragma once

#include <memory>
#include <sqlite3.h>
#include <string>

namespace TarnConfigStore {

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// An existing database file, read-only (attached files too), waiting out the
// busy timeout; empty when it cannot be opened.
inline Database OpenReadOnly(const std::string& path) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) return Database();
    sqlite3_busy_timeout(db.get(), 3000);
    return db;
}

// A database file for reading and writing (created when create is true),
// waiting out the busy timeout; empty when it cannot be opened. Its first
// read rolls back a hot journal that a killed writer left.
inline Database OpenReadWrite(const std::string& path, bool create) {
    sqlite3* raw = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) return Database();
    sqlite3_busy_timeout(db.get(), 3000);
    return db;
}

// Empty when the statement does not compile.
inline Statement Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
    return Statement(raw);
}

} // namespace TarnConfigStore
