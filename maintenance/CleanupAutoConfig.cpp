#include "tarn/cleanup.h"

#include "store/config_work_copy.h"
#include "tarn/db_connection.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"

namespace TarnConfigStore {

namespace {

constexpr char kClearAutoConfig[] = "update config set autoconfvalue=null;";
constexpr char kClearFailure[] = "Error removing auto configuration value.";

// The update sets a value column of every row, which runs Config's two
// triggers three times a row: on the table's trigger-free copy, in a
// transaction of its own, with the triggers' work once for all rows, when
// the copy can be made (not inside a caller's transaction). Either way it
// commits whole or not at all, as the single statement did.
void ClearAutoConfig(const std::shared_ptr<DBStore::StoreConnection>& conn) {
    if (DBStore::BeginTransaction(conn) == 0) {
        try {
            if (auto copy = ConfigWorkCopy::Make(conn, kClearFailure)) {
                ExecuteOrThrow(conn, kClearAutoConfig, kClearFailure);
                ExecuteOrThrow(conn, copy->TriggersWorkOnEveryRow(), kClearFailure);
                copy->WriteBack(kClearFailure);
            } else {
                ExecuteOrThrow(conn, kClearAutoConfig, kClearFailure);
            }
            if (DBStore::CommitTransaction(conn) != 0) throw ConfigStoreException(kClearFailure);
        } catch (const std::exception&) {
            DBStore::CancelTransaction(conn);
            throw ConfigStoreException(kClearFailure);
        }
        return;
    }
    if (DBStore::ExecuteV2(conn, kClearAutoConfig, nullptr, nullptr, 3000) == 1) throw ConfigStoreException(kClearFailure);
}

} // namespace

void CleanupAutoConfig() {
    CSLogger::Log(2, "Cleanup auto configurations");
    auto conn = GetDBConnection(DBStore::CONFIG_STORE, false);
    if (!conn) {
        CSLogger::Log(0, "Cleanup failed: could not connect to ConfigStore");
        return;
    }
    ClearAutoConfig(conn);
    // Objects that only ever had an automatic value have nothing left.
    static const char kDeleteEmpty[] =
        "delete from config where uservalue is null and vitalvalue is null and cachedvalue is null and DesiredValue is null;";
    if (DBStore::ExecuteV2(conn, kDeleteEmpty, nullptr, nullptr, 3000) == 1)
        throw ConfigStoreException("Error cleaning up config.");
}

} // namespace TarnConfigStore
