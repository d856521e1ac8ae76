// The schema store database: one SQLite connection with the store's tables,
// and prepared statements over it.
#pragma once

#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace TarnSchemaDatabase {

class Statement {
public:
    Statement(sqlite3* db, const char* sql);  // throws ConfigStoreException
    Statement& Bind(const std::string& text);
    Statement& Bind(int number);
    // Steps once: true while a row is available. Throws on failure.
    bool Step();
    void Run();  // steps to the end
    std::string Text(int column) const;
    int Int(int column) const;
    bool IsNull(int column) const;

private:
    sqlite3* m_db;
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> m_stmt;
    int m_next = 1;
};

class Database {
public:
    // Opens the database (creating it, its directory and its missing tables).
    // Throws ConfigStoreException when it cannot.
    static std::unique_ptr<Database> Open();

    // Runs statements without results; throws on failure.
    void Exec(const char* sql);
    Statement Prepare(const char* sql) { return Statement(m_db.get(), sql); }
    bool InTransaction() const;

private:
    explicit Database(sqlite3* db);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> m_db;
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
