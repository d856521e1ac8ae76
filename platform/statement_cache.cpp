#include "statement_cache.h"

namespace DBStore {

Statement StatementCache::Take(const std::string& sql) {
    for (auto kept = m_statements.begin(); kept != m_statements.end(); ++kept) {
        if (kept->first != sql) continue;
        Statement stmt = std::move(kept->second);
        m_statements.erase(kept);
        return stmt;
    }
    return nullptr;
}

void StatementCache::Keep(const std::string& sql, Statement stmt) {
    sqlite3_reset(stmt.get());
    sqlite3_clear_bindings(stmt.get());
    if (m_statements.size() == kCapacity) m_statements.erase(m_statements.begin());
    m_statements.emplace_back(sql, std::move(stmt));
}

} // namespace DBStore
