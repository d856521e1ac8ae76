#include "boot/config_upgrade_step.h"

#include <filesystem>
#include <fstream>

#include "tarn/cleanup.h"
#include "tarn/platform/config_upgrade.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"
#include "tarn/upgrade_detection.h"

namespace TarnConfigStore {
namespace {

bool HasModuleExtension(const std::string& name) {
    size_t dot = name.rfind('.');
    return dot != std::string::npos && name.compare(dot, std::string::npos, ".so") == 0;
}

} // namespace

std::vector<std::string> ListUpgradeModules(const std::string& dir) {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (HasModuleExtension(entry.path().filename().string())) paths.push_back(entry.path().string());
    }
    return paths;
}

void RunConfigUpgrade() {
    // Tells the host's later boot stages that this boot upgrades; a marker
    // that cannot be written only loses that hint.
    { std::ofstream marker(TarnPlatform::HostPath(CONFIG_UPGRADE_MARKER), std::ios::trunc); }
    CSLogger::Log(2, "Configuration upgrade started.");

    const std::vector<std::string> modules = ListUpgradeModules(TarnPlatform::HostPath(UPGRADE_MODULE_DIR));
    int result = TarnConfigUpgrade::ExecuteBootTimeModules(modules, !IsDebugUpgrade());
    if (result == 0) CSLogger::Log(2, "Configuration upgrade completed successfully.");
    else CSLogger::Log(0, "Configuration upgrade failed.");

    CleanupStore(true);
}

} // namespace TarnConfigStore
