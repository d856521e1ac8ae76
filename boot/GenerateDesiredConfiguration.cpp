#include "boot/generate_desired_configuration.h"

#include <exception>
#include <memory>

#include "boot/boot_mode_work.h"
#include "store/config_work_copy.h"
#include "tarn/boot_state.h"
#include "tarn/db_connection.h"
#include "tarn/events.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/dump_evt.h"
#include "tarn/store_tables.h"

namespace TarnConfigStore {
namespace {

// Promotes pending desired values and sets each row's Success to its
// schema's noRestore flag (NULL for a row without a registered schema).
constexpr char kPromoteDesiredValues[] =
    "UPDATE Config as c SET UserValue = CASE WHEN DesiredValue IS NULL THEN UserValue ELSE DesiredValue END, "
    "DesiredValue=NULL, Success=( SELECT noRestore FROM ss.ConfigSchema as s WHERE s.name = c.name and "
    "s.configgroup = c.configgroup and s.component = c.component );";
constexpr char kPromoteFailure[] = "Failed to reset success flag for configuration";

// Boot mode 1's work runs on Config's trigger-free copy; the boot
// document's and the SmartNIC configuration's statements need the triggers.
bool WorksOnTheCopy(BOOTMODE mode) {
    return mode != BOOTMODE_BOOT_CONFIG_DOCUMENT && mode != BOOTMODE_SMARTNIC_CONFIG;
}

void ReportFailure(const char* line) {
    CSLogger::Log(0, "%s", line);
    DumpEvt(EVT_DESIRED_CONFIG_ERROR, 0);
}

// Runs the transaction's work and commits; true when committed. On any
// failure the transaction is cancelled.
bool ApplyInTransaction(BOOTMODE mode, const std::shared_ptr<DBStore::StoreConnection>& conn) {
    try {
        RunDesiredConfigurationWork(mode, conn);
        if (DBStore::CommitTransaction(conn) != 0)
            throw ConfigStoreException("Failed to commit desired configuration transaction");
        return true;
    } catch (const std::exception& e) {
        DBStore::CancelTransaction(conn);
        CSLogger::Log(0, "GenerateDesiredConfiguration failed: %s", e.what());
        DumpEvt(EVT_DESIRED_CONFIG_ERROR, 0);
        return false;
    }
}

} // namespace

void RunDesiredConfigurationWork(BOOTMODE mode, const std::shared_ptr<DBStore::StoreConnection>& conn) {
    // Mode 1 and the promotion update every row of Config, each run of its
    // triggers three more updates: they run on one trigger-free copy when it
    // can be made. The other modes' statements need the triggers, so the
    // promotion makes its copy after them.
    auto copy = WorksOnTheCopy(mode) ? ConfigWorkCopy::Make(conn, kPromoteFailure) : nullptr;
    switch (mode) {
        case BOOTMODE_NEW_DESIRED_CONFIG: BootWithNewDesiredConfiguration(conn, copy.get()); break;
        case BOOTMODE_BOOT_CONFIG_DOCUMENT: ProcessBootDocument(conn); break;
        case BOOTMODE_SMARTNIC_CONFIG: SetupSmartnicBootConfiguration(conn); break;
        default: break;  // normal boot, or a mode this load does not know: nothing to apply
    }
    if (!WorksOnTheCopy(mode)) copy = ConfigWorkCopy::Make(conn, kPromoteFailure);
    ExecuteOrThrow(conn, kPromoteDesiredValues, kPromoteFailure);
    if (copy) ExecuteOrThrow(conn, copy->TriggersWorkOnEveryRow(), kPromoteFailure);
    // The copy goes back before the caller commits; a failure above drops it
    // before the caller's rollback.
    if (copy) copy->WriteBack(kPromoteFailure);
}

BOOTMODE GenerateDesiredConfiguration() {
    const BOOTMODE mode = GetBootMode();
    CSLogger::Log(2, "Generating desired user config: BootMode = %d", static_cast<int>(mode));
    std::shared_ptr<DBStore::StoreConnection> conn = GetDBConnection(DBStore::CONFIG_STORE, true);

    if (DBStore::ExecuteV2(conn, AttachSchemaStoreStatement(), nullptr, nullptr, 3000) != 0) {
        ReportFailure("Failed to attach schema store");
        return mode;
    }
    bool committed = false;
    if (DBStore::BeginTransaction(conn) != 0) ReportFailure("Failed to begin desired configuration transaction");
    else committed = ApplyInTransaction(mode, conn);

    if (DBStore::ExecuteV2(conn, DETACH_SCHEMA_STORE, nullptr, nullptr, 3000) != 0)
        ReportFailure("Failed to detach schema store");
    if (committed) CSLogger::Log(2, "Desired user config generated successfully.");
    return mode;
}

} // namespace TarnConfigStore
