// Compares two store files table by table, rows matched by primary key.
#include <map>
#include <vector>

#include "store/sqlite_handle.h"
#include "tarn/exceptions.h"
#include "tarn/generations.h"

namespace TarnConfigStore {
namespace {

// A name read from a file goes into statements only as a quoted identifier.
std::string Ident(const std::string& name) {
    std::string out = "\"";
    for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
    throw ConfigStoreException(("Cannot compare stores: " + what + ": " + sqlite3_errmsg(db)).c_str());
}

std::vector<std::string> Column(sqlite3* db, const std::string& sql, const std::string& bound = std::string()) {
    Statement stmt = Prepare(db, sql);
    if (!stmt) Fail(db, sql);
    if (!bound.empty()) sqlite3_bind_text(stmt.get(), 1, bound.c_str(), -1, SQLITE_TRANSIENT);
    std::vector<std::string> values;
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
        values.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
    if (rc != SQLITE_DONE) Fail(db, sql);
    return values;
}

std::int64_t Count(sqlite3* db, const std::string& sql) {
    Statement stmt = Prepare(db, sql);
    if (!stmt || sqlite3_step(stmt.get()) != SQLITE_ROW) Fail(db, sql);
    return sqlite3_column_int64(stmt.get(), 0);
}

std::vector<std::string> Tables(sqlite3* db, const char* schema) {
    return Column(db, std::string("SELECT name FROM ") + schema +
                          ".sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");
}

// "a.c IS b.c AND ..." over the columns.
std::string Same(const std::vector<std::string>& columns, const char* equal = " IS ") {
    std::string out;
    for (const std::string& c : columns) out += (out.empty() ? "" : " AND ") + ("a." + Ident(c) + equal + "b." + Ident(c));
    return out.empty() ? "1" : out;
}

// "a.c IS NULL OR ..." over the columns.
std::string AnyNull(const std::vector<std::string>& columns) {
    std::string out;
    for (const std::string& c : columns) out += (out.empty() ? "" : " OR ") + ("a." + Ident(c) + " IS NULL");
    return out;
}

void CompareTable(sqlite3* db, const std::string& name, TableChange& change) {
    const std::string t = Ident(name);
    const std::string columnsOf = "SELECT name FROM pragma_table_info(?1, ";
    const std::string keyOf = "') WHERE pk > 0 ORDER BY pk";
    std::vector<std::string> key = Column(db, columnsOf + "'main" + keyOf, name);
    std::vector<std::string> columns;
    const std::vector<std::string> oldColumns = Column(db, columnsOf + "'old')", name);
    for (const std::string& c : Column(db, columnsOf + "'main')", name))
        for (const std::string& o : oldColumns)
            if (c == o) columns.push_back(c);
    // Where both tables have the same key, each row has at most one partner
    // unless its key holds a null (a unique index lets nulls repeat): then one
    // walk of the newer table, looking each row up in the older one, counts
    // all (a partner's key equals that of the row, so it is not null). Otherwise
    // one statement per kind of change.
    if (!key.empty() && key == Column(db, columnsOf + "'old" + keyOf, name)) {
        const std::string partner = "b." + Ident(key[0]);
        const Statement once = Prepare(db, "SELECT count(" + partner + "), total(" + partner + " IS NOT NULL AND NOT (" +
                                               Same(columns) + ")), total(" + AnyNull(key) + ") FROM main." + t +
                                               " a LEFT JOIN old." + t + " b ON " + Same(key, " = "));
        if (once && sqlite3_step(once.get()) == SQLITE_ROW && sqlite3_column_int64(once.get(), 2) == 0) {
            const std::int64_t both = sqlite3_column_int64(once.get(), 0);
            change.added = change.rowsAfter - both;
            change.removed = change.rowsBefore - both;
            change.changed = sqlite3_column_int64(once.get(), 1);
            return;
        }
    }
    // Without a key a row is known by all of its values.
    if (key.empty()) key = columns;
    const std::string keyMatch = Same(key);
    change.added = Count(db, "SELECT count(*) FROM main." + t + " a WHERE NOT EXISTS (SELECT 1 FROM old." + t +
                                 " b WHERE " + keyMatch + ")");
    change.removed = Count(db, "SELECT count(*) FROM old." + t + " a WHERE NOT EXISTS (SELECT 1 FROM main." + t +
                                   " b WHERE " + keyMatch + ")");
    change.changed = Count(db, "SELECT count(*) FROM main." + t + " a JOIN old." + t + " b ON " + keyMatch +
                                   " WHERE NOT (" + Same(columns) + ")");
}

} // namespace

std::vector<TableChange> CompareStores(const std::string& before, const std::string& after) {
    Database db = OpenReadOnly(after);
    if (!db) throw ConfigStoreException(("Cannot open " + after).c_str());
    Statement attach = Prepare(db.get(), "ATTACH ?1 AS old");
    if (!attach) Fail(db.get(), "attach");
    sqlite3_bind_text(attach.get(), 1, before.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(attach.get()) != SQLITE_DONE) Fail(db.get(), "attach " + before);

    std::map<std::string, TableChange> changes;
    for (const char* schema : {"main", "old"})
        for (const std::string& name : Tables(db.get(), schema)) {
            TableChange& c = changes[name];
            c.table = name;
            const std::int64_t rows = Count(db.get(), "SELECT count(*) FROM " + std::string(schema) + "." + Ident(name));
            if (schema[0] == 'm') c.rowsAfter = c.added = rows;
            else c.rowsBefore = c.removed = rows;
        }
    const std::vector<std::string> oldTables = Tables(db.get(), "old");
    for (const std::string& name : Tables(db.get(), "main"))
        for (const std::string& o : oldTables)
            if (name == o) CompareTable(db.get(), name, changes[name]);

    std::vector<TableChange> out;
    for (auto& entry : changes) out.push_back(entry.second);
    return out;
}

} // namespace TarnConfigStore
