// The two RAM disks of the store, mounted in a private mount namespace.
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/private_mount_namespace.h"
#include "support/test_support.h"
#include "tarn/exceptions.h"
#include "tarn/platform/capture.h"
#include "tarn/store_ramdisk.h"

namespace {

const char kLive[] = "/etc/halden/configstore";
const char kBackup[] = "/var/lib/halden/configstore/backup";

// "tmpfs 32MiB 644 writable", or what else is at the path.
std::string Describe(const char* fixedPath) {
    const std::string path = TarnTest::Rooted(fixedPath);
    struct statfs fs;
    struct stat st, parent;
    if (::stat(path.c_str(), &st) != 0) return "absent";
    // A mount point sits on another device than its parent directory.
    if (::stat((path + "/..").c_str(), &parent) != 0 || parent.st_dev == st.st_dev) return "not mounted";
    if (::statfs(path.c_str(), &fs) != 0 || fs.f_type != TMPFS_MAGIC) return "not a tmpfs";
    std::ostringstream out;
    out << "tmpfs " << (static_cast<unsigned long long>(fs.f_blocks) * fs.f_bsize >> 20) << "MiB " << std::oct
        << (st.st_mode & 07777);
    TarnTest::WriteFile(path + "/probe", "x");
    out << (TarnTest::ReadFile(path + "/probe") == "x" ? " writable" : " read-only");
    return out.str();
}

// Runs SetupStoreRamDisk and describes the outcome: result or exception,
// the log lines, then both targets.
std::string SetupAndDescribe() {
    TarnPlatform::Capture capture;
    std::ostringstream out;
    try {
        int result = TarnConfigStore::SetupStoreRamDisk();
        out << "result " << result << "\n";
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        out << "thrown " << e.GetErrorCode() << " " << e.what() << "\n";
    }
    for (const auto& line : capture.Logs()) out << "log " << line.priority << " " << line.text << "\n";
    out << "live: " << Describe(kLive) << "\nbackup: " << Describe(kBackup) << "\n";
    return out.str();
}

TEST(StoreRamDisk, MountsBothDisksAsSizedTmpfsWithTheirMode) {
    auto run = TarnTest::RunInPrivateMountNamespace(SetupAndDescribe);
    TARN_SKIP_WITHOUT_NAMESPACE(run);
    EXPECT_EQ(run.report,
              "result 0\n"
              "live: tmpfs 32MiB 644 writable\n"
              "backup: tmpfs 32MiB 644 writable\n");
    // Nothing of the child's mounts is left in this namespace.
    EXPECT_EQ(Describe(kLive), "not mounted");
}

TEST(StoreRamDisk, FailuresNameTheDiskAndKeepTheFirstMount) {
    // A plain file where the backup disk belongs: the live disk is mounted,
    // the backup disk cannot be, and the live one stays.
    TarnTest::WriteFile(TarnTest::Rooted(kBackup), "in the way");
    auto run = TarnTest::RunInPrivateMountNamespace(SetupAndDescribe);
    TARN_SKIP_WITHOUT_NAMESPACE(run);
    EXPECT_EQ(run.report,
              "thrown 2000 Failed to reserve memory for ConfigStore backup\n"
              "log 0 CONFIGSTORE:SetupStoreRamDisk:Failed to reserve memory for ConfigStore backup\n"
              "live: tmpfs 32MiB 644 writable\n"
              "backup: not mounted\n");

    // The live disk cannot be mounted: the backup disk is not tried.
    TarnTest::ResetRoot();
    TarnTest::WriteFile(TarnTest::Rooted(kLive), "in the way");
    run = TarnTest::RunInPrivateMountNamespace(SetupAndDescribe);
    TARN_SKIP_WITHOUT_NAMESPACE(run);
    EXPECT_EQ(run.report,
              "thrown 2000 Failed to reserve memory for ConfigStore\n"
              "log 0 CONFIGSTORE:SetupStoreRamDisk:Failed to reserve memory for ConfigStore\n"
              "live: not mounted\n"
              "backup: absent\n");
}

} // namespace
