// What kind of boot this is, from the kernel-info tree (boot command line,
// boot NIC, boot file-system UUID), the records the previous boot left in the
// key/value table, and the first-boot marker.
#pragma once

#include <string>

#include "tarn/export.h"

namespace TarnConfigStore {

// Installer's upgrade marker on the boot command line.
extern TARN_EXPORT const char ploverInstalled[];  // "ploverInstalled"
// Exists only on the first boot after installation (a fixed host path).
extern TARN_EXPORT const char FIRSTBOOT_FILE[];   // "/var/lib/halden/firstboot/current-store-1"

// True when this boot is a configuration upgrade. Every failure answers
// false after a log line and the event "evt.user.cs.upgrade.config.error";
// the log lines tell which rule decided.
TARN_EXPORT bool IsUpgrade();

// True when the boot file system's UUID differs from the one recorded at the
// previous boot (an empty current UUID always counts as a change). Throws
// ConfigStoreException on kernel-info or database failures.
TARN_EXPORT bool HasBootbankChanged();

// True when the boot command line carries the installer's upgrade marker.
// Throws ConfigStoreException.
TARN_EXPORT bool IsPloverInstalled();

// True when the boot command line carries "no-configupgrade-krash"; the load
// then passes false to the upgrade runner. Throws ConfigStoreException.
TARN_EXPORT bool IsDebugUpgrade();

// The boot file system's UUID; with checkSignature the kernel-info
// definitions are checked first. Throws ConfigStoreException.
TARN_EXPORT std::string GetBootFsUUID(bool checkSignature);

} // namespace TarnConfigStore
