// SQLite files that the benchmarks build and read directly, beside the
// library: any failure ends the program with its message.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>
#include <string>

#include "store/sqlite_handle.h"

namespace TarnBench {

using TarnConfigStore::Database;
using TarnConfigStore::Statement;

[[noreturn]] inline void Die(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::exit(1);
}
// what, with the database's own message.
[[noreturn]] inline void Die(sqlite3* db, const std::string& what) {
    Die(what + ": " + (db ? sqlite3_errmsg(db) : "no database"));
}

inline void Check(int rc, sqlite3* db, const std::string& what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE) Die(db, what);
}

// Created when missing.
inline Database Open(const std::string& path) {
    Database db = TarnConfigStore::OpenReadWrite(path, true);
    if (!db) Die("cannot open " + path);
    return db;
}

inline void Exec(sqlite3* db, const std::string& sql) {
    Check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, sql);
}

inline Statement Prepare(sqlite3* db, const std::string& sql) {
    Statement statement = TarnConfigStore::Prepare(db, sql);
    if (!statement) Die(db, sql);
    return statement;
}

inline size_t CountRows(const std::string& path, const std::string& table) {
    Database db = Open(path);
    Statement count = Prepare(db.get(), "SELECT count(*) FROM " + table + ";");
    return sqlite3_step(count.get()) == SQLITE_ROW ? static_cast<size_t>(sqlite3_column_int64(count.get(), 0)) : 0;
}

} // namespace TarnBench
