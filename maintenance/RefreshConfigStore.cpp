#include <utility>

#include "tarn/exceptions.h"
#include "tarn/platform/config_upgrade.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/schema_processing.h"

namespace TarnConfigStore {

bool RefreshConfigStore(std::vector<std::string> crateIds, std::vector<std::string> modulePaths) {
    CSLogger::Log(2, "Refresh Config Store");
    try {
        if (!ProcessSchemas(std::move(crateIds))) return false;
        // The runner answers the number of modules run, or minus the number that failed.
        return TarnConfigUpgrade::ExecuteLiveInstallModules(std::move(modulePaths)) >= 0;
    } catch (const ConfigStoreException&) {
        // The caller reads the result; what failed is in the log already.
        return false;
    }
}

} // namespace TarnConfigStore
