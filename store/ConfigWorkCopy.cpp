#include "store/config_work_copy.h"

#include <string>
#include <utility>
#include <vector>

#include "tarn/db_connection.h"
#include "tarn/exceptions.h"
#include "tarn/store_tables.h"

namespace TarnConfigStore {
namespace {

// What is defined on Config, in the store and in the connection's temporary
// database (a trigger there may watch the store's table).
constexpr char kConfigDefinitions[] =
    "SELECT type, name, sql FROM main.sqlite_master WHERE tbl_name = 'Config' COLLATE NOCASE UNION ALL "
    "SELECT type, name, sql FROM temp.sqlite_master WHERE tbl_name = 'Config' COLLATE NOCASE ORDER BY 1, 2;";
constexpr char kColumns[] = "SELECT group_concat(name, ', ') FROM pragma_table_info('Config', 'main');";
constexpr char kDropCopy[] = "DROP TABLE IF EXISTS temp.Config;";

// The text SQLite keeps in sqlite_master for one of the format's statements.
std::string StoredText(std::string sql) {
    const std::string clause = "IF NOT EXISTS ";
    if (const auto at = sql.find(clause); at != std::string::npos) sql.erase(at, clause.size());
    if (!sql.empty() && sql.back() == ';') sql.pop_back();
    return sql;
}

// Each row's columns joined by "|", NULL as nothing.
int CollectRow(void* rows, int columns, char** values, char**) {
    std::string row;
    for (int i = 0; i < columns; ++i) row += std::string(i ? "|" : "") + (values[i] ? values[i] : "");
    static_cast<std::vector<std::string>*>(rows)->push_back(std::move(row));
    return 0;
}

std::vector<std::string> Rows(const std::shared_ptr<DBStore::StoreConnection>& conn, const char* sql,
                              const char* failure) {
    std::vector<std::string> rows;
    if (DBStore::ExecuteV2(conn, sql, &CollectRow, &rows, 3000) != 0) throw ConfigStoreException(failure);
    return rows;
}

bool AsTheFormatMakesIt(const std::vector<std::string>& definitions) {
    const auto trigger = [](const char* name, const char* statement) {
        return std::string("trigger|") + name + "|" + StoredText(statement);
    };
    return definitions == std::vector<std::string>{
                              "index|sqlite_autoindex_Config_1|",
                              "table|Config|" + StoredText(CREATE_CONFIG_TABLE),
                              trigger(UPDATE_MODIFIED_TIME_TRIGGER, CREATE_UPDATE_MODIFIED_TIME_TRIGGER),
                              trigger(UPDATE_REVISION_TRIGGER, CREATE_UPDATE_REVISION_TRIGGER),
                          };
}

} // namespace

// updateRevision sets the revision to the old one plus one, and
// updateModifiedTime (run by the statement and again by updateRevision's
// update) the modified time to the statement's time, which is fixed for one
// statement, trigger programs included. Both find the row by its key, so a
// row with a NULL key column keeps both.
namespace {

// Revision + 1 and the statement's time for a row with a full key, which
// the triggers find (a NULL in the key keeps them from it).
std::string TriggersAssignments(const std::string& table) {
    const std::string t = table + ".";
    const std::string keyed = "CASE WHEN " + t + "Component IS NOT NULL AND " + t + "ConfigGroup IS NOT NULL AND " +
                              t + "Name IS NOT NULL AND " + t + "Identifier IS NOT NULL THEN ";
    return "Revision=" + keyed + t + "Revision + 1 ELSE " + t + "Revision END, ModifiedTime=" + keyed +
           "datetime(CURRENT_TIMESTAMP) ELSE " + t + "ModifiedTime END";
}

} // namespace

std::string ConfigWorkCopy::TriggersWork(const std::string& table) const { return ", " + TriggersAssignments(table); }

std::string ConfigWorkCopy::TriggersWorkOnEveryRow() const {
    return "UPDATE config SET " + TriggersAssignments("config") + ";";
}

std::unique_ptr<ConfigWorkCopy> ConfigWorkCopy::Make(const std::shared_ptr<DBStore::StoreConnection>& conn,
                                                     const char* failure) {
    if (!AsTheFormatMakesIt(Rows(conn, kConfigDefinitions, failure))) return nullptr;
    std::unique_ptr<ConfigWorkCopy> copy(new ConfigWorkCopy(conn, Rows(conn, kColumns, failure).at(0)));
    // The same definition, so that defaults, key and affinities hold as in
    // the store; the same rowids, so that new rows get those the store
    // would give them.
    const std::string table = StoredText(CREATE_CONFIG_TABLE);
    ExecuteOrThrow(conn, "CREATE TEMP " + table.substr(table.find("TABLE")) + ";", failure);
    ExecuteOrThrow(conn, "INSERT INTO temp.Config(rowid, " + copy->m_columns + ") SELECT rowid, " + copy->m_columns +
                  " FROM main.Config;",
        failure);
    return copy;
}

ConfigWorkCopy::ConfigWorkCopy(std::shared_ptr<DBStore::StoreConnection> conn, std::string columns)
    : m_conn(std::move(conn)), m_columns(std::move(columns)) {}

ConfigWorkCopy::~ConfigWorkCopy() {
    if (m_open) DBStore::ExecuteV2(m_conn, kDropCopy, nullptr, nullptr, 3000);
}

void ConfigWorkCopy::WriteBack(const char* failure) {
    ExecuteOrThrow(m_conn,
        "DELETE FROM main.Config; INSERT INTO main.Config(rowid, " + m_columns + ") SELECT rowid, " + m_columns +
            " FROM temp.Config;" + kDropCopy,
        failure);
    m_open = false;
}

} // namespace TarnConfigStore
