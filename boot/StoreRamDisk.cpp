#include "tarn/store_ramdisk.h"

#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/mount.h"

namespace TarnConfigStore {
namespace {

struct RamDisk {
    const char* target;
    const char* options;  // ends with the RAM disk's name
    const char* failure;
};

constexpr RamDisk kStoreRamDisk = {STORE_RAMDISK_PATH, "32,32,0,0,0,00644,configstore",
                                   "Failed to reserve memory for ConfigStore"};
constexpr RamDisk kBackupRamDisk = {BACKUP_RAMDISK_PATH, "32,32,0,0,0,00644,configstorebkp",
                                    "Failed to reserve memory for ConfigStore backup"};

void MountRamDisk(const RamDisk& disk) {
    const std::string target = TarnPlatform::HostPath(disk.target);
    if (TarnPlatform::Mount("none", target.c_str(), TarnPlatform::LUMENFS_TYPE, 0, disk.options) == 0) return;
    CSLogger::Log(0, "CONFIGSTORE:%s:%s", "SetupStoreRamDisk", disk.failure);
    throw ConfigStoreException(disk.failure);
}

} // namespace

int SetupStoreRamDisk() {
    // The backup RAM disk is only tried once the live one is in place; a
    // failure of the second leaves the first mounted.
    MountRamDisk(kStoreRamDisk);
    MountRamDisk(kBackupRamDisk);
    return 0;
}

} // namespace TarnConfigStore
