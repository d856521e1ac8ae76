// Boot-state records in the configuration store's key/value table: the
// auto-configuration marker, the management daemon's notification flag, the
// boot mode of the next load, the boot file system's identity, the
// live-install marker, and the boot apply record.
#pragma once

#include <string>
#include <vector>

#include "tarn/export.h"
#include "tarn/rapidjson.h"

namespace TarnConfigStore {

// What the next load does with pending configuration, kept as decimal text
// under "BOOT_MODE". A stored number outside these four is returned as is.
enum BOOTMODE : int {
    BOOTMODE_NORMAL = 0,                // nothing pending
    BOOTMODE_NEW_DESIRED_CONFIG = 1,    // apply the stored desired user configuration
    BOOTMODE_BOOT_CONFIG_DOCUMENT = 2,  // apply the boot configuration document
    BOOTMODE_SMARTNIC_CONFIG = 3,       // apply the SmartNIC boot configuration
};

// "IS_BOOT" = "true" while boot-time auto-configuration runs. Never throws:
// without a connection the write is simply lost.
TARN_EXPORT void StartAutoConf();
// "IS_BOOT" = "" once auto-configuration has ended. Never throws.
TARN_EXPORT void EndAutoConf();
// "NOTIFY_WARDEN" = "true" / "false". Never throws.
TARN_EXPORT void EnableWardenNotification(bool enable);

// Stores the mode for the next load. Throws ConfigStoreException when the
// store cannot be reached.
TARN_EXPORT void SetBootMode(BOOTMODE mode);
// The stored mode; 0 when unset. Throws ConfigStoreException when the store
// cannot be reached or read, std::invalid_argument / std::out_of_range when
// the stored text is not a number of int range.
TARN_EXPORT BOOTMODE GetBootMode();
// Records the current boot file system's identity and clears the
// live-install marker, so the next boot compares against this one. Throws.
TARN_EXPORT void CleanupBootState();

// The boot apply record under "BOOT_APPLY_RESULT".
// Resets it to {"isBootComplete":false}.
TARN_EXPORT void clearBootApplyRecord();
// Replaces it with {"isBootComplete":true,"bootApplyRecord":<record>}; the
// record is kept as a JSON string, up to its first NUL character.
TARN_EXPORT void setBootApplyRecord(std::string record);
// The parsed record. Throws ConfigStoreException when it cannot be read and
// InvalidArgumentException (1080) when the stored text is not JSON.
TARN_EXPORT rapidjson::Document getBootApplyRecord();

// One configuration object whose boot-time apply did not succeed.
struct TARN_EXPORT FailureRecord {
    std::string component;
    std::string configGroup;
    std::string name;
};

// The objects, one per stored instance, that the host's apply marks as
// failed (Success 0) among the ones it manages, in the database's order.
TARN_EXPORT std::vector<FailureRecord> GetBootTimeRestoreFailures();

} // namespace TarnConfigStore
