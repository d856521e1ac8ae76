// The load end to end on a host: the order of the steps, what a boot leaves
// in the store, restores, upgrade boots and the removal of non-schema files.
#include <filesystem>

#include "boot/load_store_fixture.h"
#include "tarn/utilities.h"

namespace LoadStoreTest {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;

using LoadStoreBoot = LoadStoreHost;

TEST_F(LoadStoreBoot, NormalBootRunsTheStepsInOrderAndPromotesDesiredValues) {
    WriteKey("BOOT_APPLY_RESULT", R"({"isBootComplete":true,"bootApplyRecord":"x"})");
    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);

    EXPECT_THAT(Texts(capture.Logs()),
                ElementsAre("LoadStore Start.", "Bootbank did not change from previous boot.", "BootCmdLine: runweasel",
                            "Cleanup auto configurations", std::string("Current boot fs uuid: ") + kUuid,
                            std::string("Previous boot fs uuid: ") + kUuid,
                            "Generating desired user config: BootMode = 0",
                            "Desired user config generated successfully.", "ConfigStore autoconf start",
                            "Next boot mode set to 0", "Upgrade delete file not found.", "LoadStore End."));
    // Desired values promoted; Success is the schema's noRestore flag, NULL without a schema.
    EXPECT_THAT(ConfigRows(), ElementsAre("legacy/tuning/knobs|{\"fast\":true}|NULL|NULL",
                                          "network/dns/servers|{\"a\":2}|NULL|0",
                                          "system/runtime/uptime|{\"s\":5}|NULL|1"));
    EXPECT_EQ(StoredKey("BOOT_MODE"), "0");
    EXPECT_EQ(StoredKey("IS_BOOT"), "true");
    EXPECT_EQ(StoredKey("BOOT_APPLY_RESULT"), R"({"isBootComplete":false})");
    EXPECT_TRUE(capture.Alerts().empty());
    EXPECT_TRUE(capture.Events().empty());
    EXPECT_FALSE(TarnTest::Exists(TarnTest::Rooted("/tmp/config-upgrade-marker")));

    // The boot log holds the load's lines and is closed at its end.
    CSLogger::Log(2, "after the load");
    std::string bootLog = TarnTest::ReadFile(TarnTest::Rooted("/var/log/configstore-boot.log"));
    EXPECT_NE(bootLog.find("LoadStore Start."), std::string::npos);
    EXPECT_NE(bootLog.find("LoadStore End."), std::string::npos);
    EXPECT_EQ(bootLog.find("after the load"), std::string::npos);
}

TEST_F(LoadStoreBoot, UpgradeBootRunsTheModulesOfTheDirectoryAndCleansTheStore) {
    MakeUpgradeBoot();
    const std::string dir = TarnTest::Rooted(kModuleDir);
    fs::copy_file(ExampleModule(), dir + "/10-example.so");
    fs::copy_file(ExampleModule(), dir + "/20-example.so.1");  // versioned name: not a module
    TarnTest::WriteFile(dir + "/notes.txt", "not a module");

    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);

    auto logs = Texts(capture.Logs());
    EXPECT_FALSE(Contains(logs, "BootCmdLine: runweasel"));  // the bootbank changed: the installer is not asked
    auto at = [&](const std::string& text) { return std::find(logs.begin(), logs.end(), text) - logs.begin(); };
    EXPECT_LT(at("Config upgrade boot"), at("Configuration upgrade started."));
    EXPECT_LT(at("Configuration upgrade started."), at("Upgrade module " + dir + "/10-example.so completed"));
    EXPECT_LT(at("Upgrade module " + dir + "/10-example.so completed"), at("Upgrade modules run: 1, failed: 0"));
    EXPECT_LT(at("Upgrade modules run: 1, failed: 0"), at("Configuration upgrade completed successfully."));
    EXPECT_LT(at("Configuration upgrade completed successfully."), at("Cleanup config store"));
    EXPECT_LT(at("Cleanup config store"), at("Generating desired user config: BootMode = 0"));
    EXPECT_TRUE(TarnTest::Exists(TarnTest::Rooted("/tmp/config-upgrade-marker")));
    // The module ran in the booting process; the object without a schema is gone.
    EXPECT_EQ(ConfigRows().size(), 2u);
    EXPECT_THAT(TarnTest::Query(Store(), "SELECT LibName || ' ' || Value FROM UpgradeStatus;"),
                ElementsAre(R"(10-example.so {"phase":"boot","isolated":false})"));
}

TEST_F(LoadStoreBoot, FailingOrCrashingModulesAreReportedAndTheLoadGoesOn) {
    MakeUpgradeBoot();
    fs::copy_file(ExampleModule(), TarnTest::Rooted(kModuleDir) + "/example.so");
    const std::string module = TarnTest::Rooted(kModuleDir) + "/example.so";
    struct Case {
        const char* cmdLine;
        const char* behaviour;
        std::string line;
    } cases[] = {
        {"runweasel", "fail", "Upgrade module " + module + " failed with result 3"},
        // The debug option runs each module in a child, so a crash is contained.
        {"runweasel no-configupgrade-krash", "crash", "Upgrade module " + module + " ended abnormally: signal 6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        WriteTree(c.cmdLine);
        WriteKey("BOOT_FS_UUID", "0ld-uu1d");
        setenv("TARN_EXAMPLE_UPGRADE", c.behaviour, 1);
        TarnPlatform::Capture capture;
        ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);
        auto failures = Texts(capture.Logs(), 0);
        EXPECT_THAT(failures, ElementsAre(c.line, "Configuration upgrade failed."));
        EXPECT_TRUE(Contains(Texts(capture.Logs()), "Cleanup config store"));
        EXPECT_TRUE(Contains(Texts(capture.Logs()), "LoadStore End."));
    }
}

TEST_F(LoadStoreBoot, RemovesListedFilesThatNoCrateDeclares) {
    TarnTest::WriteFile(TarnTest::Rooted("/etc/sample/ntp.conf"), "declared");
    TarnTest::WriteFile(TarnTest::Rooted("/etc/other/gone.conf"), "undeclared");
    TarnTest::WriteFile(TarnTest::Rooted("/etc/dotdot.conf"), "reached through ..");
    TarnTest::WriteFile(TarnTest::Rooted("/var/run/nonSchemaFiles"),
                        "etc/sample/ntp.conf\tetc/other/gone.conf\n\n etc/other/missing.conf\n"
                        "etc/other/../dotdot.conf\n");
    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);

    auto logs = Texts(capture.Logs(), 2);
    EXPECT_TRUE(Contains(logs, "[/etc/sample/ntp.conf] file has schema."));
    EXPECT_TRUE(Contains(logs, "[/etc/other/gone.conf] file does not have schema."));
    EXPECT_TRUE(Contains(logs, "[/etc/other/missing.conf] file does not have schema."));
    EXPECT_TRUE(TarnTest::Exists(TarnTest::Rooted("/etc/sample/ntp.conf")));
    EXPECT_FALSE(TarnTest::Exists(TarnTest::Rooted("/etc/other/gone.conf")));
    EXPECT_TRUE(TarnTest::Exists(TarnTest::Rooted("/var/run/nonSchemaFiles")));
    // Under a host root a path with ".." is never removed: it could lead out of the root.
    EXPECT_TRUE(Contains(logs, "[/etc/other/../dotdot.conf] file does not have schema."));
    EXPECT_TRUE(TarnTest::Exists(TarnTest::Rooted("/etc/dotdot.conf")));
    EXPECT_TRUE(Texts(capture.Logs(), 0) == std::vector<std::string>{"[" + TarnTest::Rooted("/etc/other/gone.conf") +
                                                                     "] file removed."});
}

} // namespace
} // namespace LoadStoreTest
