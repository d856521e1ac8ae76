// The load end to end on a host: the order of the steps, what a boot leaves
// in the store, upgrade boots and the removal of non-schema files.
#include <filesystem>

#include "boot/load_store_fixture.h"

namespace LoadStoreTest {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using TarnTest::Exists;
using TarnTest::Rooted;

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
    EXPECT_EQ(StoredKey("BOOT_MODE") + StoredKey("IS_BOOT"), "0true");
    EXPECT_EQ(StoredKey("BOOT_APPLY_RESULT"), R"({"isBootComplete":false})");
    EXPECT_TRUE(capture.Alerts().empty() && capture.Events().empty());
    EXPECT_FALSE(Exists(Rooted("/tmp/config-upgrade-marker")));

    // The boot log holds the load's lines and is closed at its end.
    CSLogger::Log(2, "after the load");
    std::string bootLog = TarnTest::ReadFile(Rooted("/var/log/configstore-boot.log"));
    EXPECT_NE(bootLog.find("LoadStore End."), std::string::npos);
    EXPECT_EQ(bootLog.find("after the load"), std::string::npos);
}

TEST_F(LoadStoreBoot, UpgradeBootRunsTheModulesOfTheDirectoryAndCleansTheStore) {
    MakeUpgradeBoot();
    const std::string dir = Rooted(kModuleDir);
    fs::copy_file(TARN_EXAMPLE_UPGRADE_MODULE, dir + "/10-example.so");
    fs::copy_file(TARN_EXAMPLE_UPGRADE_MODULE, dir + "/20-example.so.1");  // versioned name: not a module
    TarnTest::WriteFile(dir + "/notes.txt", "not a module");

    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);

    // The bootbank changed: the installer is not asked.
    const std::vector<std::string> steps = {"BootCmdLine: runweasel", "Config upgrade boot",
        "Upgrade modules run: 1, failed: 0", "Configuration upgrade completed successfully.", "Cleanup config store",
        "Generating desired user config: BootMode = 0"};
    std::vector<std::string> seen;
    for (const std::string& line : Texts(capture.Logs()))
        if (Contains(steps, line)) seen.push_back(line);
    EXPECT_EQ(seen, std::vector<std::string>(steps.begin() + 1, steps.end()));
    EXPECT_TRUE(Exists(Rooted("/tmp/config-upgrade-marker")));
    // The module ran in the booting process; the object without a schema is gone.
    EXPECT_EQ(ConfigRows().size(), 2u);
    EXPECT_THAT(TarnTest::Query(Store(), "SELECT LibName || ' ' || Value FROM UpgradeStatus;"),
                ElementsAre(R"(10-example.so {"phase":"boot","isolated":false})"));
}

TEST_F(LoadStoreBoot, FailingOrCrashingModulesAreReportedAndTheLoadGoesOn) {
    MakeUpgradeBoot();
    const std::string module = Rooted(kModuleDir) + "/example.so";
    fs::copy_file(TARN_EXAMPLE_UPGRADE_MODULE, module);
    // The debug option runs each module in a child, so a crash is contained.
    for (const auto& [cmdLine, behaviour, line] :
         {std::tuple<std::string, std::string, std::string>{"runweasel", "fail", " failed with result 3"},
          {"runweasel no-configupgrade-krash", "crash", " ended abnormally: signal 6"}}) {
        SCOPED_TRACE(behaviour);
        WriteTree(cmdLine);
        WriteKey("BOOT_FS_UUID", "0ld-uu1d");
        setenv("TARN_EXAMPLE_UPGRADE", behaviour.c_str(), 1);
        TarnPlatform::Capture capture;
        ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);
        EXPECT_THAT(Texts(capture.Logs(), 0), ElementsAre("Upgrade module " + module + line, "Configuration upgrade failed."));
        EXPECT_TRUE(Contains(Texts(capture.Logs()), "Cleanup config store"));
        EXPECT_TRUE(Contains(Texts(capture.Logs()), "LoadStore End."));
    }
}

// Under a private host root nothing outside it is removed, whatever links or
// ".." the listed paths hold.
TEST_F(LoadStoreBoot, RemovesListedFilesThatNoCrateDeclaresInsideTheRootOnly) {
    std::string outside = (fs::temp_directory_path() / "tarn-outside-XXXXXX").string();
    ASSERT_NE(mkdtemp(outside.data()), nullptr);
    TarnTest::WriteFile(outside + "/e", "outside");
    TarnTest::WriteFile(outside + "/dir/f", "outside");
    fs::create_directory_symlink(outside, Rooted("/etc/linkdir"));
    fs::create_symlink(outside + "/e", Rooted("/etc/linkfile"));
    for (const char* file : {"/etc/sample/ntp.conf", "/etc/other/gone.conf", "/etc/dotdot.conf"})
        TarnTest::WriteFile(Rooted(file), "x");
    TarnTest::WriteFile(Rooted("/var/run/nonSchemaFiles"),
                        "etc/sample/ntp.conf\tetc/other/gone.conf\n\n etc/other/missing.conf\netc/other/../dotdot.conf "
                        "etc/linkdir/e etc/linkdir/dir/f etc/linkfile etc/../../" +
                            fs::path(outside).filename().string() + "/e");
    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);

    auto logs = Texts(capture.Logs(), 2);
    EXPECT_TRUE(Contains(logs, "[/etc/sample/ntp.conf] file has schema."));
    EXPECT_TRUE(Contains(logs, "[/etc/other/missing.conf] file does not have schema."));
    EXPECT_TRUE(Exists(Rooted("/etc/sample/ntp.conf")));
    EXPECT_TRUE(Exists(Rooted("/var/run/nonSchemaFiles")));
    EXPECT_TRUE(Exists(Rooted("/etc/dotdot.conf")));
    EXPECT_TRUE(Exists(outside + "/e") && Exists(outside + "/dir/f"));
    EXPECT_FALSE(Exists(Rooted("/etc/linkfile")));  // the link itself lies inside
    EXPECT_THAT(Texts(capture.Logs(), 0), ElementsAre("[" + Rooted("/etc/other/gone.conf") + "] file removed.",
                                                      "[" + Rooted("/etc/linkfile") + "] file removed."));
    fs::remove_all(outside);
}

} // namespace
} // namespace LoadStoreTest
