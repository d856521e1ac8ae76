// Example upgrade module. It records its run in the UpgradeStatus table of
// the configuration store: one row under its library name whose value says
// in which phase it ran. The environment variable TARN_EXAMPLE_UPGRADE
// makes it misbehave for tests: "fail" returns a failure, "crash" aborts.
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>

#include "tarn/export.h"
#include "tarn/platform/config_upgrade.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/db_store.h"

namespace {

constexpr char kRecordStatus[] =
    "INSERT OR REPLACE INTO UpgradeStatus(LibName, Component, ConfigGroup, Name, Value, Version, Success, "
    "CreationTime) VALUES(?, 'example', 'upgrade', 'status', ?, '1.0', 1, datetime(CURRENT_TIMESTAMP));";

std::string BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

} // namespace

extern "C" TARN_VISIBLE int TarnConfigUpgradeModuleRun(const TarnConfigUpgradeContext* context) {
    const char* mode = std::getenv("TARN_EXAMPLE_UPGRADE");
    if (mode && std::strcmp(mode, "crash") == 0) {
        const rlimit noCore{0, 0};  // a test crash leaves no core file behind
        setrlimit(RLIMIT_CORE, &noCore);
        std::abort();
    }
    if (mode && std::strcmp(mode, "fail") == 0) return 3;

    auto conn = DBStore::GetConnection(DBStore::CONFIG_STORE);
    if (!conn) return 1;
    const char* phase = context->phase == TARN_CONFIG_UPGRADE_PHASE_BOOT ? "boot" : "live-install";
    std::string value = std::string("{\"phase\":\"") + phase + "\",\"isolated\":" +
                        (context->isolated ? "true" : "false") + "}";
    if (DBStore::Execute(conn, kRecordStatus, {BaseName(context->modulePath), value}, {}, 3000) != 0) return 2;
    CSLogger::Log(2, "Example upgrade module ran at %s", phase);
    return 0;
}
