#include "tarn/cleanup.h"

#include <string>

#include "maintenance/auto_config_cleanup.h"
#include "tarn/db_connection.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"

namespace TarnConfigStore {

void CleanupAutoConfig() {
    CSLogger::Log(2, "Cleanup auto configurations");
    auto conn = GetDBConnection(DBStore::CONFIG_STORE, false);
    if (!conn) {
        CSLogger::Log(0, "Cleanup failed: could not connect to ConfigStore");
        return;
    }
    if (DBStore::ExecuteV2(conn, std::string(CLEAR_AUTO_CONFIG) + ";", nullptr, nullptr, 3000) == 1)
        throw ConfigStoreException(CLEAR_AUTO_CONFIG_FAILURE);
    if (DBStore::ExecuteV2(conn, DELETE_EMPTY_CONFIG, nullptr, nullptr, 3000) == 1)
        throw ConfigStoreException(DELETE_EMPTY_CONFIG_FAILURE);
}

} // namespace TarnConfigStore
