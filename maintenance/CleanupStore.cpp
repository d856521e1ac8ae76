#include "tarn/cleanup.h"

#include <string>
#include <vector>

#include "maintenance/data_file_root.h"
#include "tarn/db_connection.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"

namespace TarnConfigStore {
namespace {

constexpr int kFailed = 1;

int Run(const std::shared_ptr<DBStore::StoreConnection>& conn, const std::string& sql,
        DBStore::RowCallback callback = nullptr, void* context = nullptr) {
    return DBStore::ExecuteV2(conn, sql, callback, context, 3000);
}

int AppendFirstColumn(void* context, int columns, char** values, char**) {
    if (columns > 0 && values[0]) static_cast<std::vector<std::string>*>(context)->push_back(values[0]);
    return 0;
}

void CleanupConfigObjects() {
    CSLogger::Log(2, "Cleanup config store");
    auto conn = GetDBConnection(DBStore::CONFIG_STORE, false);
    if (!conn) {
        CSLogger::Log(0, "ConfigStore cleanup failed: could not connect");
        return;
    }
    if (Run(conn, AttachSchemaStoreStatement()) == kFailed) {
        CSLogger::Log(0, "ConfigStore cleanup failed: could not attach to SchemaStore");
        return;
    }
    int deleted = Run(conn, "DELETE from Config where (Component,ConfigGroup,Name) NOT IN (SELECT Component,ConfigGroup,Name FROM ss.ConfigSchema);");
    Run(conn, DETACH_SCHEMA_STORE);
    if (deleted == kFailed) CSLogger::Log(0, "ConfigStore cleanup failed: SQL command unsuccessful");
    CSLogger::Log(2, "Cleanup config store completed");
}

// Removes the data directory of a deleted metadata row. The name comes from
// the table, so one that would reach outside the data-file root is refused.
void RemoveDataDirectory(const std::string& name) {
    CSLogger::Log(2, "Cleanup datafile directory: %s", name.c_str());
    if (!IsDirectEntryName(name)) {
        CSLogger::Log(0, "Datafile cleanup refused to remove [%s]: not a directory name under the data file root",
                      name.c_str());
        return;
    }
    RemoveTree(TarnPlatform::HostPath(DATAFILE_ROOT) + "/" + name);
}

void CleanupDataFileMetadata(bool boot) {
    CSLogger::Log(2, "Cleanup data file store");
    auto conn = GetDBConnection(DBStore::DATAFILE_STORE, false);
    if (!conn) {
        CSLogger::Log(0, "Datafile store cleanup failed: could not connect");
        return;
    }
    if (Run(conn, AttachSchemaStoreStatement()) == kFailed) {
        CSLogger::Log(0, "Datafile store cleanup failed: could not attach to data file schemas");
        return;
    }
    // At boot the directories stay: CleanupDataFiles removes what no row
    // names. A live cleanup removes exactly the directories of the rows it
    // deletes, so they are read before the rows go.
    std::vector<std::string> directories;
    if (!boot &&
        Run(conn, "SELECT DISTINCT DirName from DataFileMetadata WHERE (Component,Key) NOT IN (SELECT Component, Key FROM ss.DataFileSchema);",
            AppendFirstColumn, &directories) == kFailed) {
        CSLogger::Log(0, "Datafile live cleanup failed: read dir SQL command unsuccessful");
        Run(conn, DETACH_SCHEMA_STORE);
        return;
    }
    int deleted = Run(conn, "DELETE FROM DataFileMetadata WHERE (Component,Key) NOT IN (SELECT Component, Key FROM ss.DataFileSchema);");
    Run(conn, DETACH_SCHEMA_STORE);
    if (deleted == kFailed) {
        CSLogger::Log(0, "Datafile cleanup failed: SQL command unsuccessful");
        return;
    }
    for (const std::string& name : directories) RemoveDataDirectory(name);
    CSLogger::Log(2, "Cleanup data file store completed");
}

} // namespace

void CleanupStore(bool boot) {
    // The two stores are cleaned independently: a failure in the first does
    // not keep the second as it is.
    CleanupConfigObjects();
    CleanupDataFileMetadata(boot);
}

} // namespace TarnConfigStore
