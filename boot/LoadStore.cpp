#include "tarn/boot.h"

#include <exception>
#include <string>
#include <syslog.h>

#include "boot/config_upgrade_step.h"
#include "boot/generate_desired_configuration.h"
#include "boot/interrupted_boot.h"
#include "boot/load_store_error_file.h"
#include "boot/non_schema_files.h"
#include "boot/raise_sys_alert.h"
#include "boot/restore_config_store.h"
#include "tarn/schema_processing.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/host_utils.h"
#include "tarn/platform/syslog.h"

namespace TarnConfigStore {
namespace {

// The steps in their order. A step that contains its own failures does so
// inside; everything else leaves through the caller's handler.
void RunLoad(bool restore, LoadOutcome* outcome) {
    void* bootLog = CSLogger::AddFileLogger("configstore-boot");
    CSLogger::Log(2, "LoadStore Start.");

    RecoverInterruptedBoot();
    RestoreConfigStore(restore, &outcome->restore);
    // The installer's marker is asked for only when the boot file system is
    // unchanged. The empty list takes the installed crates from the image database.
    if (HasBootbankChanged() || IsPloverInstalled()) {
        SnapshotSchemaStore();
        ProcessSchemas({});
    }
    CleanupAutoConfig();
    if (IsUpgrade()) RunConfigUpgrade();
    outcome->bootMode = GenerateDesiredConfiguration();
    StartAutoConf();
    SetBootMode(BOOTMODE_NORMAL);
    RemoveNonSchemaFiles();

    CSLogger::Log(2, "LoadStore End.");
    const std::string errorFile = TarnPlatform::HostPath(LOAD_STORE_ERROR_FILE);
    if (File_Exists(errorFile.c_str())) ReplayLoadStoreErrorFile(errorFile);
    clearBootApplyRecord();
    CSLogger::RemoveFileLogger(bootLog);
}

} // namespace

int LoadStore(bool restore) {
    LoadOutcome outcome;
    return LoadStore(restore, &outcome);
}

int LoadStore(bool restore, LoadOutcome* outcome) {
    *outcome = LoadOutcome();
    try {
        RunLoad(restore, outcome);
        DiscardSchemaStoreSnapshot();
        return 0;
    } catch (const std::exception& e) {
        // A load that ended keeps what it committed, as a finished one does.
        DiscardSchemaStoreSnapshot();
        // The boot log stays registered: the load ends here, whatever step it was in.
        std::string alert = std::string("Generic ConfigStore Failure: ") + e.what();
        outcome->failure = alert;
        RaiseSysAlert(alert);
        TarnPlatform::SysLog(LOG_ERR, "Generic ConfigStore Failure: %s", e.what());
        return 1;
    }
}

} // namespace TarnConfigStore
