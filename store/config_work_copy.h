// A copy of Config without its triggers, for a boot step that updates every
// row. Each row a statement updates runs the table's two triggers, and one
// of them updates the row again and runs the other once more: three updates
// per row, nine tenths of such a step's time. The copy takes the name Config
// in the connection's temporary database, where an unqualified "config"
// finds it before the store's table, so the step's statements run on it as
// they are written, each with the assignments of TriggersWork added, and
// WriteBack puts the rows back with their rowids by deleting and inserting,
// which no trigger of the table answers. The store's schema is never
// changed, so other connections and their prepared statements see nothing
// of it; the copy lives in the step's transaction and goes with it. Steps
// that follow one another in one transaction share one copy.
#pragma once

#include <memory>
#include <string>

#include "tarn/platform/db_store.h"

namespace TarnConfigStore {

class ConfigWorkCopy {
public:
    // The copy, or null when Config's definition, index and triggers are not
    // exactly those the store's format creates (the step's own count of
    // revisions reproduces those triggers and no other) or something named
    // Config is already in the temporary database; the step then runs on the
    // store's table. Throws ConfigStoreException with failure when the copy
    // cannot be made.
    static std::unique_ptr<ConfigWorkCopy> Make(const std::shared_ptr<DBStore::StoreConnection>& conn,
                                                const char* failure);
    // Drops a copy that was not written back, so that a failed step leaves
    // "config" naming the store's table even before the rollback.
    ~ConfigWorkCopy();
    ConfigWorkCopy(const ConfigWorkCopy&) = delete;
    ConfigWorkCopy& operator=(const ConfigWorkCopy&) = delete;

    // What Config's two triggers would do to each row that a statement on the
    // copy updates when it sets one of the value columns, as assignments to
    // add to that statement's SET clause; table is the name or alias the
    // statement gives Config.
    std::string TriggersWork(const std::string& table) const;
    // The same for every row of the copy, as a statement of its own: for a
    // step whose statement set a value column of every row and keeps its text.
    std::string TriggersWorkOnEveryRow() const;

    // Replaces Config's rows by the copy's and drops the copy. Throws
    // ConfigStoreException with failure.
    void WriteBack(const char* failure);

private:
    ConfigWorkCopy(std::shared_ptr<DBStore::StoreConnection> conn, std::string columns);

    std::shared_ptr<DBStore::StoreConnection> m_conn;
    std::string m_columns;  // Config's columns, listed for the copies
    bool m_open = true;
};

} // namespace TarnConfigStore
