// The prepared statements a connection keeps by their text, so that a
// statement run once per row is compiled once and not once per row.
#pragma once

#include <memory>
#include <sqlite3.h>
#include <string>
#include <utility>
#include <vector>

namespace DBStore {

struct FinalizeStatement {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

class StatementCache {
public:
    // The statement kept for sql, handed over; null when none is.
    Statement Take(const std::string& sql);
    // Keeps a statement that ran to its end, reset and with its bindings
    // cleared, so that it holds no lock and no value meanwhile; the oldest
    // one goes when the cache is full.
    void Keep(const std::string& sql, Statement stmt);

private:
    static constexpr size_t kCapacity = 8;
    std::vector<std::pair<std::string, Statement>> m_statements;  // oldest first
};

} // namespace DBStore
