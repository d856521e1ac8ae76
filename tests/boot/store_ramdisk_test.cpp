// The two RAM disks of the store, mounted in a private mount namespace.
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/private_mount_namespace.h"
#include "support/test_support.h"
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
    return out.str() + (TarnTest::ReadFile(path + "/probe") == "x" ? " writable" : " read-only");
}

// Runs SetupStoreRamDisk in a private mount namespace: what it threw, the
// log lines, then both targets.
std::string SetupAndDescribe() {
    TarnPlatform::Capture capture;
    std::string result;
    const std::string thrown = TarnTest::Thrown([&] { result = "result " + std::to_string(TarnConfigStore::SetupStoreRamDisk()); });
    std::string out = (result.empty() ? thrown : result) + "\n";
    for (const auto& line : capture.Logs()) out += "log " + std::to_string(line.priority) + " " + line.text + "\n";
    return out + "live: " + Describe(kLive) + "\nbackup: " + Describe(kBackup) + "\n";
}

TEST(StoreRamDisk, MountsBothDisksOrNamesTheOneThatFailed) {
    const struct {
        const char* inTheWay;  // a plain file where this disk belongs
        std::string report;
    } cases[] = {
        // The live disk stays mounted.
        {kBackup, "ConfigStoreException 2000 Failed to reserve memory for ConfigStore backup\n"
                  "log 0 CONFIGSTORE:SetupStoreRamDisk:Failed to reserve memory for ConfigStore backup\n"
                  "live: tmpfs 32MiB 644 writable\nbackup: not mounted\n"},
        // The backup disk is not tried.
        {kLive, "ConfigStoreException 2000 Failed to reserve memory for ConfigStore\n"
                "log 0 CONFIGSTORE:SetupStoreRamDisk:Failed to reserve memory for ConfigStore\n"
                "live: not mounted\nbackup: absent\n"},
        {nullptr, "result 0\nlive: tmpfs 32MiB 644 writable\nbackup: tmpfs 32MiB 644 writable\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.report);
        TarnTest::ResetRoot();
        if (c.inTheWay) TarnTest::WriteFile(TarnTest::Rooted(c.inTheWay), "in the way");
        auto run = TarnTest::RunInPrivateMountNamespace(SetupAndDescribe);
        TARN_SKIP_WITHOUT_NAMESPACE(run);
        EXPECT_EQ(run.report, c.report);
    }
    // Nothing of the child's mounts is left in this namespace.
    EXPECT_EQ(Describe(kLive), "not mounted");
}

} // namespace
