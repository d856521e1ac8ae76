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
                            "Cleanup auto configurations", "Current boot fs uuid: " + kUuid, "Previous boot fs uuid: " + kUuid,
                            "Generating desired user config: BootMode = 0", "Desired user config generated successfully.",
                            "ConfigStore autoconf start", "Next boot mode set to 0", "Upgrade delete file not found.",
                            "LoadStore End."));
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

// The modules of the directory run in the booting process, or each in a
// child with the debug option, so a crash is contained; the load goes on.
TEST_F(LoadStoreBoot, UpgradeBootRunsTheModulesOfTheDirectoryAndCleansTheStore) {
    using Lines = std::vector<std::string>;
    const std::string module = Rooted(kModuleDir) + "/10-example.so", failed = "Configuration upgrade failed.";
    const struct {
        const char *cmdLine, *behaviour;
        Lines failures, status;
    } cases[] = {
        {"runweasel", "", {}, {R"(10-example.so {"phase":"boot","isolated":false})"}},
        {"runweasel", "fail", {"Upgrade module " + module + " failed with result 3", failed}, {}},
        {"runweasel no-configupgrade-krash", "crash", {"Upgrade module " + module + " ended abnormally: signal 6", failed}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.behaviour);
        TarnTest::ResetRoot();
        SetUp();
        WriteTree(c.cmdLine);
        MakeUpgradeBoot();
        fs::copy_file(TARN_EXAMPLE_UPGRADE_MODULE, module);
        fs::copy_file(TARN_EXAMPLE_UPGRADE_MODULE, module + ".1");  // versioned name: not a module
        TarnTest::WriteFile(Rooted(kModuleDir) + "/notes.txt", "not a module");
        setenv("TARN_EXAMPLE_UPGRADE", c.behaviour, 1);
        const std::string dataFiles = Rooted(TarnConfigStore::DATAFILE_STORE_PATH), gone = Rooted("/var/cache/datafiles/gone/f");
        TarnTest::Query(dataFiles, "INSERT INTO DataFileMetadata(Component, Key, DirName, FileName) VALUES ('x', 'k', 'gone', 'f');");
        TarnTest::WriteFile(gone, "");
        TarnPlatform::Capture capture;
        ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);

        // The bootbank changed: the installer is not asked. A failed module
        // (a crash too, in its child with the debug option) ends only the upgrade.
        const Lines order = {"Config upgrade boot", c.failures.empty() ? "Configuration upgrade completed successfully." : failed,
                             "Cleanup config store", "Generating desired user config: BootMode = 0", "LoadStore End."};
        Lines seen;
        for (const std::string& line : Texts(capture.Logs()))
            if (Contains(order, line)) seen.push_back(line);
        EXPECT_EQ(seen, order);
        EXPECT_FALSE(Contains(Texts(capture.Logs()), "BootCmdLine: runweasel"));
        Lines failures;  // the schema directory's "." and ".." are logged as skipped
        for (const std::string& line : Texts(capture.Logs(), 0))
            if (line.rfind("[SchemaProcessor] Skip processing", 0) != 0) failures.push_back(line);
        EXPECT_EQ(failures, c.failures);
        EXPECT_TRUE(Exists(Rooted("/tmp/config-upgrade-marker")));
        EXPECT_EQ(ConfigRows().size(), 2u);  // the object without a schema is gone
        EXPECT_EQ(TarnTest::Query(dataFiles, "SELECT count(*) FROM DataFileMetadata;"), Lines{"0"});  // so is a data file's
        EXPECT_TRUE(Exists(gone)) << "a boot's cleanup leaves the files";
        EXPECT_EQ(TarnTest::Query(Store(), "SELECT LibName || ' ' || Value FROM UpgradeStatus;"), c.status);
    }
}

// The boot takes the crates from the image database; a file of another crate
// is only logged (no event, no stop).
TEST_F(LoadStoreBoot, UpgradeBootRegistersTheSchemaFilesOfTheInstalledCrates) {
    MakeUpgradeBoot();
    WriteImageProfile({"v_t_netd_1.0-1"});
    for (const std::string crate : {"netd", "other"})
        TarnTest::WriteFile(Rooted("/usr/lib/halden/configmanager/schemas/" + crate + ".json"),
                            R"({"metadata": {"cratename": ")" + crate + R"(", "crateversion": "1.0_1"}, "data": [
                                {"component": ")" + crate + R"(", "group": "g", "key": "k", "version": "1",
                                 "schema": {}}]})");
    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);
    EXPECT_TRUE(Contains(Texts(capture.Logs(), 0), "[SchemaProcessor] Schema file other.json validation error"));
    EXPECT_TRUE(capture.Events().empty());
    EXPECT_THAT(TarnTest::Query(Rooted(TarnConfigStore::SCHEMA_STORE_PATH), "SELECT Component FROM ConfigSchema;"),
                ElementsAre("netd", "network", "sample", "system"));
}

// Under a private host root nothing outside it is removed, whatever links or
// ".." the listed paths hold: they resolve inside the root, as on a host.
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
    EXPECT_FALSE(Exists(Rooted("/etc/dotdot.conf")));
    EXPECT_TRUE(Exists(outside + "/e") && Exists(outside + "/dir/f"));
    EXPECT_FALSE(Exists(Rooted("/etc/linkfile")));  // the link itself lies inside
    EXPECT_THAT(Texts(capture.Logs(), 0), ElementsAre("[" + Rooted("/etc/other/gone.conf") + "] file removed.",
                                                      "[" + Rooted("/etc/other/../dotdot.conf") + "] file removed.",
                                                      "[" + Rooted("/etc/linkfile") + "] file removed."));
    fs::remove_all(outside);
}

} // namespace
} // namespace LoadStoreTest
