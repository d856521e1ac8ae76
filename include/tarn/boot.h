// The boot of a host's configuration store: mounting the store's RAM disks,
// then loading the store once per boot. This header also brings in what the
// load is made of, so a caller that drives a boot needs only this one.
#pragma once

#include <string>

#include "tarn/boot_state.h"
#include "tarn/cleanup.h"
#include "tarn/crate_files.h"
#include "tarn/export.h"
#include "tarn/store_ramdisk.h"
#include "tarn/upgrade_detection.h"

namespace TarnConfigStore {

// Brings the store into its working state; called once per boot, after
// SetupStoreRamDisk. restore true: the store databases are first brought
// back from their backups. In order: restore; schema refresh when the boot
// file system changed or the installer ran; removal of auto-configured
// values; on an upgrade boot the upgrade modules and the removal of objects
// without a schema; the work of the boot mode and the promotion of desired
// values to user values (one transaction); auto-configuration marked running
// and boot mode 0; removal of listed files that no crate declares; the
// events of the LoadStore error file raised as system alerts; the boot apply
// record reset. Lines go to the log and to the boot log
// (/var/log/configstore-boot.log under the host root).
//
// Returns 0 when the load ran to its end. A std::exception that escapes a
// step ends the load: one system alert "Generic ConfigStore Failure: <what>",
// the same line in the system log, result 1; what earlier steps committed
// stays. Exceptions of other types pass to the caller.
TARN_EXPORT int LoadStore(bool restore);

// What the load's restore did with the configuration store.
enum class RestoredFrom {
    Nothing,          // restore was off: the live store stays
    Backup,           // the backup taken while the host ran
    FirstBootBackup,  // the backup the installation left
    NewStore,         // no backup, or none usable: a new store
};

struct TARN_EXPORT RestoreReport {
    RestoredFrom from = RestoredFrom::Nothing;
    // The fixed path of the backup restored, or of the one that could not be
    // (found inconsistent or not copied) for a new store; empty when none was found.
    std::string backup;
};

// What a load did, for a caller that reports on it (the boot command, the
// preview of the next boot).
struct TARN_EXPORT LoadOutcome {
    RestoreReport restore;
    BOOTMODE bootMode = BOOTMODE_NORMAL;  // the mode the desired-configuration step ran in
    std::string failure;                  // the alert of a load that ended early; empty when it ran to its end
};

// LoadStore, filling outcome as far as the load got.
TARN_EXPORT int LoadStore(bool restore, LoadOutcome* outcome);

} // namespace TarnConfigStore
