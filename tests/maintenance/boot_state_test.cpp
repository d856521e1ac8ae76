// The boot-state keys: markers that must never stop their caller, the boot
// mode and its conversion from stored text, and the end-of-boot cleanup that
// the next boot's upgrade detection compares against.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/boot/boot_tree.h"
#include "tarn/boot_state.h"
#include "tarn/exceptions.h"
#include "tarn/platform/capture.h"
#include "tarn/store_tables.h"

using namespace TarnConfigStore;
using namespace BootTreeTest;
using TarnPlatform::CapturedLine;

namespace {

class BootStateKeys : public BootHost {};

TEST_F(BootStateKeys, MarkersWriteTheirKeysAndLog) {
    TarnPlatform::Capture capture;
    StartAutoConf();
    EXPECT_EQ(StoredKey(KEY_IS_BOOT), "true");
    EndAutoConf();
    EXPECT_EQ(StoredKey(KEY_IS_BOOT), "");
    EnableWardenNotification(true);
    EXPECT_EQ(StoredKey(KEY_NOTIFY_WARDEN), "true");
    EnableWardenNotification(false);
    EXPECT_EQ(StoredKey(KEY_NOTIFY_WARDEN), "false");
    EXPECT_EQ(capture.Logs(), Progress({"ConfigStore autoconf start", "ConfigStore endconf end",
                                        "ConfigStore warden notification enabled = 1",
                                        "ConfigStore warden notification enabled = 0"}));
}

TEST_F(BootStateKeys, StoreFailuresReachTheCaller) {
    RunSql(TarnTest::Rooted(CONFIG_STORE_PATH), "DROP TABLE KVTable;");
    EXPECT_EQ(Thrown([] { GetBootMode(); }), "ConfigStoreException 2000 Failed to read value for key BOOT_MODE");
    EXPECT_EQ(Thrown([] { CleanupBootState(); }),
              "ConfigStoreException 2000 Failed to read value for key BOOT_FS_UUID");
    EXPECT_EQ(Thrown([] { SetBootMode(BOOTMODE_NORMAL); }), "nothing thrown");  // the write is not examined

    TarnTest::ResetRoot();
    WriteBootTree(BootInfo{});
    TarnPlatform::Capture capture;
    const std::string noStore = "ConfigStoreException 2000 Failed to connect to database";
    EXPECT_EQ(Thrown([] { SetBootMode(BOOTMODE_NEW_DESIRED_CONFIG); }), noStore);
    EXPECT_EQ(Thrown([] { GetBootMode(); }), noStore);
    EXPECT_EQ(Thrown([] { CleanupBootState(); }), noStore);
    EXPECT_TRUE(capture.Logs().empty());
}

class CleanupBootStateTest : public BootHost {};

TEST_F(CleanupBootStateTest, RecordsTheBootbankAndClearsTheLiveInstallMarkerOnce) {
    WriteKey(BOOT_FS_UUID, "0a1b2c3d-0000-4000-8000-000000000000");
    WriteKey(POST_LIVE_INSTALL_BOOT, "true");
    TarnPlatform::Capture capture;
    CleanupBootState();
    EXPECT_EQ(StoredKey(BOOT_FS_UUID), kUuid);
    EXPECT_EQ(StoredKey(POST_LIVE_INSTALL_BOOT), "false");
    EXPECT_EQ(capture.Logs(), Progress({"Setting BOOT_FS_UUID to " + kUuid + ".",
                                        "Setting POST_LIVE_INSTALL_BOOT back to false."}));

    capture.Clear();
    CleanupBootState();
    EXPECT_TRUE(capture.Logs().empty());
    EXPECT_EQ(StoredKey(BOOT_FS_UUID), kUuid);
    EXPECT_EQ(StoredKey(POST_LIVE_INSTALL_BOOT), "false");
}

TEST_F(CleanupBootStateTest, KernelInfoFailuresLeaveTheKeysAlone) {
    WriteKey(POST_LIVE_INSTALL_BOOT, "true");
    BootInfo info;
    info.signatureMatches = false;
    WriteBootTree(info);
    EXPECT_EQ(Thrown([] { CleanupBootState(); }), "ConfigStoreException 2000 Failed to invoke KNO_CheckSig");
    info = BootInfo{};
    info.withUuid = false;
    WriteBootTree(info);
    EXPECT_EQ(Thrown([] { CleanupBootState(); }), "ConfigStoreException 2000 Failed to get boot fs uuid.");
    EXPECT_EQ(StoredKey(BOOT_FS_UUID), "<unset>");
    EXPECT_EQ(StoredKey(POST_LIVE_INSTALL_BOOT), "true");
}

} // namespace
