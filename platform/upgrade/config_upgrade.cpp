#include "tarn/platform/config_upgrade.h"

#include "tarn/platform/cs_logger.h"
#include "upgrade/isolated_call.h"
#include "upgrade/module_handle.h"

namespace TarnConfigUpgrade {
namespace {

// Loads one module and calls its entry point; true when it succeeded.
// Every failure is logged with the module's path.
bool RunModule(const std::string& path, uint32_t phase, bool isolated) {
    ModuleHandle module(path);
    if (!module.Loaded()) {
        CSLogger::Log(0, "Upgrade module %s cannot be loaded: %s", path.c_str(), module.Error().c_str());
        return false;
    }
    TarnConfigUpgradeEntry entry = module.Entry();
    if (!entry) {
        CSLogger::Log(0, "Upgrade module %s has no entry point %s: %s", path.c_str(), TARN_CONFIG_UPGRADE_ENTRY,
                      module.Error().c_str());
        return false;
    }
    TarnConfigUpgradeContext context{sizeof(TarnConfigUpgradeContext), phase, isolated ? 1u : 0u, 0u, path.c_str()};
    int result;
    if (isolated) {
        IsolatedOutcome outcome = CallIsolated(entry, context);
        if (!outcome.completed) {
            CSLogger::Log(0, "Upgrade module %s ended abnormally: %s", path.c_str(), outcome.abnormal.c_str());
            return false;
        }
        result = outcome.result;
    } else {
        result = entry(&context);
    }
    if (result != 0) {
        CSLogger::Log(0, "Upgrade module %s failed with result %d", path.c_str(), result);
        return false;
    }
    CSLogger::Log(2, "Upgrade module %s completed", path.c_str());
    return true;
}

int RunAll(const std::vector<std::string>& paths, uint32_t phase, bool isolated) {
    int failed = 0;
    for (const std::string& path : paths)
        if (!RunModule(path, phase, isolated)) ++failed;
    CSLogger::Log(2, "Upgrade modules run: %zu, failed: %d", paths.size(), failed);
    return failed;
}

} // namespace

int ExecuteBootTimeModules(const std::vector<std::string>& modulePaths, bool inProcess) {
    return RunAll(modulePaths, TARN_CONFIG_UPGRADE_PHASE_BOOT, !inProcess);
}

int ExecuteLiveInstallModules(std::vector<std::string> modulePaths) {
    int failed = RunAll(modulePaths, TARN_CONFIG_UPGRADE_PHASE_LIVE_INSTALL, false);
    return failed == 0 ? static_cast<int>(modulePaths.size()) : -failed;
}

} // namespace TarnConfigUpgrade
