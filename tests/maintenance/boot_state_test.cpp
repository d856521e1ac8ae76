// The boot-state keys: markers that must never stop their caller, the boot
// apply record, the end-of-boot cleanup that the next boot's upgrade
// detection compares against, and the objects whose boot-time apply failed.
#include <algorithm>
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

namespace {

using BootState = BootHost;

TEST_F(BootState, MarkersWriteTheirKeysAndLog) {
    TarnPlatform::Capture capture;
    EndAutoConf();
    EnableWardenNotification(false);
    EXPECT_EQ(StoredKey(KEY_IS_BOOT) + StoredKey(KEY_NOTIFY_WARDEN), "false");
    EXPECT_EQ(capture.Logs(), Progress({"ConfigStore endconf end", "ConfigStore warden notification enabled = 0"}));
}

TEST_F(BootState, StoredApplyRecordThatIsNotOneJsonValueIsRefused) {
    // Never written: the key reads as the empty text.
    EXPECT_EQ(Thrown([] { getBootApplyRecord(); }), "InvalidArgumentException 1080 Failed to parse JSON String");
    for (const std::string stored : {"   ", "{\"isBootComplete\":", "{} {}", "{\"isBootComplete\":false} x", "nul"}) {
        WriteKey(KEY_BOOT_APPLY_RESULT, stored);
        EXPECT_EQ(Thrown([] { getBootApplyRecord(); }), "InvalidArgumentException 1080 Failed to parse JSON String") << stored;
    }
    // Any single value is handed back as stored; its shape is the caller's business.
    WriteKey(KEY_BOOT_APPLY_RESULT, " [1, 2]\n");
    EXPECT_TRUE(getBootApplyRecord().IsArray());
    setBootApplyRecord(std::string("cut\0off", 7));  // the record ends at its first NUL
    EXPECT_EQ(getBootApplyRecord()["bootApplyRecord"].GetStringLength(), 3u);
}

TEST_F(BootState, StoreFailuresReachTheCaller) {
    RunSql(TarnTest::Rooted(CONFIG_STORE_PATH), "DROP TABLE KVTable;");
    EXPECT_EQ(Thrown([] { GetBootMode(); }), "ConfigStoreException 2000 Failed to read value for key BOOT_MODE");
    EXPECT_EQ(Thrown([] { CleanupBootState(); }), "ConfigStoreException 2000 Failed to read value for key BOOT_FS_UUID");
    EXPECT_EQ(Thrown([] { getBootApplyRecord(); }),
              "ConfigStoreException 2000 Failed to read BOOT_APPLY_RESULT from database.");
    // The writes are not examined.
    EXPECT_EQ(Thrown([] { SetBootMode(BOOTMODE_NORMAL); clearBootApplyRecord(); setBootApplyRecord("x"); }),
              "nothing thrown");

    TarnTest::ResetRoot();
    WriteBootTree(BootInfo{});
    TarnPlatform::Capture capture;
    for (auto f : {+[] { SetBootMode(BOOTMODE_NEW_DESIRED_CONFIG); }, +[] { (void)GetBootMode(); },
                   +[] { CleanupBootState(); }, +[] { clearBootApplyRecord(); }, +[] { setBootApplyRecord("x"); },
                   +[] { (void)getBootApplyRecord(); }, +[] { (void)GetBootTimeRestoreFailures(); }})
        EXPECT_EQ(Thrown(f), "ConfigStoreException 2000 Failed to connect to database");
    EXPECT_TRUE(capture.Logs().empty());
}

TEST_F(BootState, CleanupRecordsTheBootbankAndClearsTheLiveInstallMarkerOnce) {
    WriteKey(BOOT_FS_UUID, "0a1b2c3d-0000-4000-8000-000000000000");
    WriteKey(POST_LIVE_INSTALL_BOOT, "true");
    TarnPlatform::Capture capture;
    CleanupBootState();
    EXPECT_EQ(StoredKey(POST_LIVE_INSTALL_BOOT), "false");
    WriteKey(POST_LIVE_INSTALL_BOOT, "True");  // only the exact text counts as set
    CleanupBootState();
    EXPECT_EQ(StoredKey(BOOT_FS_UUID) + StoredKey(POST_LIVE_INSTALL_BOOT), kUuid + "True");
    EXPECT_EQ(capture.Logs(), Progress({"Setting BOOT_FS_UUID to " + kUuid + ".",
                                        "Setting POST_LIVE_INSTALL_BOOT back to false."}));
}

TEST_F(BootState, CleanupKernelInfoFailuresLeaveTheKeysAlone) {
    WriteKey(POST_LIVE_INSTALL_BOOT, "true");
    BootInfo info;
    info.withUuid = false;
    WriteBootTree(info);
    EXPECT_EQ(Thrown([] { CleanupBootState(); }), "ConfigStoreException 2000 Failed to get boot fs uuid.");
    EXPECT_EQ(StoredKey(BOOT_FS_UUID) + StoredKey(POST_LIVE_INSTALL_BOOT), "<unset>true");
}

class BootTimeRestoreFailures : public BootHost {
protected:
    void SetUp() override {
        BootHost::SetUp();
        RunSql(TarnTest::Rooted(SCHEMA_STORE_PATH), CREATE_CONFIG_SCHEMA_TABLE);
    }
    // The query's own statements (their first word), whatever else the connection ran.
    static std::string Statements(const TarnPlatform::Capture& capture) {
        std::string texts;
        for (const auto& sql : capture.Sql())
            for (const char* word : {"ATTACH", "DETACH", "SELECT c."})
                if (sql.text.rfind(word, 0) == 0) texts += sql.text.substr(0, 6) + " ";
        return texts;
    }
};

TEST_F(BootTimeRestoreFailures, ListsFailedAppliedObjectsOncePerInstance) {
    RunSql(TarnTest::Rooted(SCHEMA_STORE_PATH),
           "INSERT INTO ConfigSchema(Component, ConfigGroup, Name, DSPIntegrated, SchemaType) VALUES"
           "('netd','grp','trunk',1,0),('netd','grp','segment',1,2),('netd','grp','dns',1,0),"
           "('netd','grp','ntp',0,0),('netd','grp','syslog',1,1);");
    RunSql(TarnTest::Rooted(CONFIG_STORE_PATH),
           "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, Success, UserValue) VALUES"
           "('netd','grp','trunk','',0,'{}'),('netd','grp','segment','pg1',0,'{}'),"
           "('netd','grp','segment','pg2',0,'{}'),('netd','grp','segment','pg3',1,'{}'),"  // pg3 applied
           "('netd','grp','dns','',0,NULL),"      // nothing to apply
           "('netd','grp','ntp','',0,'{}'),"      // not applied by the host
           "('netd','grp','syslog','',0,'{}'),"   // a schema type not applied at boot
           "('netd','grp','orphan','',0,'{}');");  // no schema
    TarnPlatform::Capture capture;
    std::vector<std::string> names;
    for (const auto& r : GetBootTimeRestoreFailures()) names.push_back(r.component + "/" + r.configGroup + "/" + r.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"netd/grp/segment", "netd/grp/segment", "netd/grp/trunk"}));
    EXPECT_EQ(Statements(capture), "ATTACH SELECT DETACH ");
    EXPECT_TRUE(capture.Logs().empty());
}

TEST_F(BootTimeRestoreFailures, QueryFailureStillDetachesAttachFailureRunsNothingElse) {
    RunSql(TarnTest::Rooted(SCHEMA_STORE_PATH), "DROP TABLE ConfigSchema;");
    TarnPlatform::Capture capture;
    EXPECT_EQ(Thrown([] { GetBootTimeRestoreFailures(); }), "ConfigStoreException 2000 Failed to read from config store.");
    EXPECT_EQ(Statements(capture), "ATTACH DETACH ");

    TarnTest::ResetRoot();
    ASSERT_EQ(DBStore::CreateDatabases(), 0);  // no schema store directory: nothing to attach
    capture.Clear();
    EXPECT_EQ(Thrown([] { GetBootTimeRestoreFailures(); }), "ConfigStoreException 2000 Failed to attach schema store");
    EXPECT_EQ(Statements(capture), "ATTACH ");
}

} // namespace
