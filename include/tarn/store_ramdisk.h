// The RAM disks of the configuration store: one holds the live store
// databases, the other their backup copies. The boot mounts both before the
// store is loaded; the load restores the live databases from the backups.
#pragma once

#include "tarn/export.h"

namespace TarnConfigStore {

// Fixed host paths of the RAM disks and the backups. A backup path is a
// directory followed by one of the two database file names below.
inline constexpr char STORE_RAMDISK_PATH[] = "/etc/halden/configstore";
inline constexpr char BACKUP_RAMDISK_PATH[] = "/var/lib/halden/configstore/backup";
inline constexpr char FIRSTBOOT_BACKUP_PATH[] = "/var/lib/halden/configstore/firstbootBackup";
inline constexpr char CONFIG_STORE_FILE[] = "/current-store-1";
inline constexpr char DATAFILE_STORE_FILE[] = "/datafile-store";

// Mounts the live-store RAM disk, then the backup RAM disk. Returns 0.
// Throws ConfigStoreException "Failed to reserve memory for ConfigStore"
// (nothing mounted) or "Failed to reserve memory for ConfigStore backup"
// (the live-store RAM disk stays mounted). Nothing is ever unmounted.
TARN_EXPORT int SetupStoreRamDisk();

} // namespace TarnConfigStore
