// The schema store database: one SQLite connection with the store's tables,
// and prepared statements over it.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace TarnSchemaDatabase {

class Database;

using StatementHandle = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

// A statement of the database's, handed back to it (reset, bindings
// cleared) when this goes: a statement run for every entry is compiled once.
class Statement {
public:
    Statement(Database& db, const char* sql);  // throws ConfigStoreException
    ~Statement();
    Statement(Statement&&) = default;
    Statement& operator=(Statement&&) = delete;
    Statement& Bind(const std::string& text);
    Statement& Bind(int number);
    // Steps once: true while a row is available. Throws on failure.
    bool Step();
    void Run();  // steps to the end
    std::string Text(int column) const;
    int Int(int column) const;
    bool IsNull(int column) const;

private:
    Database* m_owner;
    std::string m_sql;
    StatementHandle m_stmt;
    int m_next = 1;
};

class Database {
public:
    // Opens the database (creating it, its directory and its missing tables).
    // Throws ConfigStoreException when it cannot.
    static std::unique_ptr<Database> Open();

    ~Database();

    // Runs statements without results; throws on failure.
    void Exec(const char* sql);
    Statement Prepare(const char* sql) { return Statement(*this, sql); }
    bool InTransaction() const;

private:
    friend class Statement;
    explicit Database(sqlite3* db);
    // The statement kept for sql, or a new one; back when it is done.
    StatementHandle Take(const std::string& sql);
    void Keep(std::string sql, StatementHandle stmt);

    std::unique_ptr<sqlite3, int (*)(sqlite3*)> m_db;
    std::unordered_map<std::string, StatementHandle> m_statements;
};

// A savepoint: released on Release(), rolled back when left without it.
class Savepoint {
public:
    Savepoint(Database& db, const char* name);
    ~Savepoint();
    void Release();

private:
    Database& m_db;
    std::string m_name;
    bool m_open = true;
};

} // namespace TarnSchemaDatabase
