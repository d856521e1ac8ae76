// The host's configuration-upgrade runner: runs the upgrade modules that
// installed crates ship, at an upgrade boot and after a live installation.
//
// A module is a shared object that exports one C function under the name
// TARN_CONFIG_UPGRADE_ENTRY ("TarnConfigUpgradeModuleRun") of type
// TarnConfigUpgradeEntry. The runner loads the module, calls the function
// once with a context and unloads the module. The function returns 0 when
// the module's upgrade succeeded, any other number when it failed. A module
// reaches the store through the store's own interfaces (it runs in the
// runner's process, or in a child of it; see ExecuteBootTimeModules).
// docs/upgrade-modules.md describes how to write one.
#pragma once

#include <stdint.h>

#include "tarn/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* When the module runs. */
#define TARN_CONFIG_UPGRADE_PHASE_BOOT 0u         /* at an upgrade boot, before the store is used */
#define TARN_CONFIG_UPGRADE_PHASE_LIVE_INSTALL 1u /* after crates were installed on a running host */

/* What the runner hands to the entry point. Valid during the call only. */
typedef struct TarnConfigUpgradeContext {
    uint32_t size;          /* sizeof(TarnConfigUpgradeContext) of the runner: later fields follow */
    uint32_t phase;         /* TARN_CONFIG_UPGRADE_PHASE_* */
    uint32_t isolated;      /* 1 when the call runs in a child process of the booting process */
    uint32_t reserved;
    const char* modulePath; /* the path the module was loaded from */
} TarnConfigUpgradeContext;

#define TARN_CONFIG_UPGRADE_ENTRY "TarnConfigUpgradeModuleRun"
typedef int (*TarnConfigUpgradeEntry)(const TarnConfigUpgradeContext* context);

#ifdef __cplusplus
}

#include <string>
#include <vector>

namespace TarnConfigUpgrade {

// Runs the modules of an upgrade boot one after the other, in the order
// given. inProcess true: each module runs in the calling process, so a
// module that crashes ends the boot (the crash is seen where it happened).
// inProcess false (the boot option "no-configupgrade-krash"): each module's
// entry point runs in a child process of its own; a crash or abnormal end of
// the child counts as that module's failure and the remaining modules still
// run. A module that cannot be loaded, lacks the entry point or returns
// non-zero is logged and counted. Returns the number of modules that failed
// (0: all succeeded, also for an empty list).
TARN_PLATFORM_EXPORT int ExecuteBootTimeModules(const std::vector<std::string>& modulePaths, bool inProcess);

// Runs the modules of a live installation in the calling process, in order.
// Returns the number of modules run when all succeeded, else minus the
// number that failed.
TARN_PLATFORM_EXPORT int ExecuteLiveInstallModules(std::vector<std::string> modulePaths);

} // namespace TarnConfigUpgrade
#endif
