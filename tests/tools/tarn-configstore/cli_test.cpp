// The tarn-configstore program, started as a child on a copy of the sample
// host: exit statuses, usage, and what its subcommands do.
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli_runner.h"
#include "support/test_support.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/host_root.h"

namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::Not;
using TarnPlatform::ShellQuote;

using Result = TarnTest::CliResult;

class Cli : public testing::Test {
protected:
    static Result Run(const std::vector<std::string>& args, bool onRoot = true) { return TarnTest::RunCli(args, onRoot); }
    static void CopySampleHost() { TarnTest::CopySampleHost(); }

    static std::string Key(const std::string& key) {
        std::string value = "<unreadable>";
        DBStore::ReadKeyValue(key, &value, DBStore::GetConnection(DBStore::CONFIG_STORE));
        return value;
    }
    static void Sql(const std::string& sql) {
        ASSERT_EQ(DBStore::ExecuteV2(DBStore::GetConnection(DBStore::CONFIG_STORE), sql, nullptr, nullptr, 3000), 0);
    }
};

TEST_F(Cli, BootsTheSampleHost) {
    CopySampleHost();
    Result boot = Run({"boot"});
    ASSERT_EQ(boot.status, 0) << boot.err;
    EXPECT_EQ(boot.out + boot.err, "");

    EXPECT_EQ(Run({"boot-mode"}).out, "0\n");
    EXPECT_EQ(Run({"apply-record"}).out, "{\"isBootComplete\":false}\n");
    // The boot registered the crates' files, wrote their defaults and made
    // the mutable ones current.
    EXPECT_EQ(Run({"crate-files"}).out,
              "vital\t/etc/storagecore/devices.conf\nconfig\t/etc/netstack/netstack.conf\nconfig\t/etc/sample/ntp.conf\n");
    EXPECT_THAT(Run({"schemas"}).out, HasSubstr("system/time/ntp\thostsvc.json\n"));
    EXPECT_THAT(Run({"show", "--defaults"}).out, HasSubstr("network/routing/staticRoutes["));
    EXPECT_THAT(Run({"show", "--json"}).out, HasSubstr(R"("group":"hostnics","name":"hostnics","identifier":"hnic0")"));
    EXPECT_EQ(Run({"image", "crates"}).out,
              "Halden_addon_sample-base_1.0-1\tsample-base\t1.0-1\tHalden\t0\tsample-base\n"
              "Halden_system_hostsvc_8.0.2-1.20\thostsvc\t8.0.2-1.20\tHalden\t0\thostsvc\n"
              "Halden_system_netstack_8.0.2-1.20\tnetstack\t8.0.2-1.20\tHalden\t0\tnetstack,netstack-drivers\n"
              "Halden_system_storagecore_8.0.2-1.20\tstoragecore\t8.0.2-1.20\tHalden\t1\tstoragecore\n");
    EXPECT_THAT(Run({"image", "crates", "--json"}).out, HasSubstr(R"(},{"id":"Halden_system_storagecore_8.0.2-1.20","name":)"
                R"("storagecore","version":"8.0.2-1.20","vendor":"Halden","restrictStickyFiles":true,"payloads":["storagecore"]}])"));
    EXPECT_EQ(Run({"image", "dump"}).out, TarnTest::Rooted("/tmp/image-info.csv") + "\n");
    EXPECT_THAT(TarnTest::ReadFile(TarnTest::Rooted("/tmp/image-info.csv")),
                HasSubstr("_storagecore_8.0.2-1.20,storagecore,8.0.2-1.20,Halden,1,storagecore|\n"));
    // A byte that is not UTF-8 leaves the JSON valid, as U+FFFD.
    EXPECT_EQ(Run({"filter-sticky", "--json", "/etc/sample/ntp.conf", "r\xff\xc3l"}).out,
              R"({"kept":["/etc/sample/ntp.conf"],"rejected":[{"path":")" "r\uFFFD\uFFFDl" R"(","reason":"File )"
              "r\uFFFD\uFFFDl" R"( is not an absolute path, hence it should not be persisted."}]})" "\n");
    EXPECT_EQ(Run({"track-files", "backup", "/a", "/b"}).status, 0);
    EXPECT_EQ(TarnTest::ReadFile(TarnTest::Rooted("/var/run/halden/files/backup-list")), "/a\n/b\n");
    EXPECT_THAT(Run({"restore-failures"}).out, HasSubstr("system/time/ntp\n"));  // a default is not applied yet
    EXPECT_FALSE(TarnTest::Exists(TarnTest::Rooted("/etc/sample/stale.conf")));
    EXPECT_THAT(TarnTest::ReadFile(TarnTest::Rooted("/var/log/sysalerts.log")),
                HasSubstr("Network interface vnic1 did not come up within 30 seconds."));
}

TEST_F(Cli, WritesAndReadsTheBootStateRecords) {
    CopySampleHost();
    ASSERT_EQ(Run({"boot"}).status, 0);

    EXPECT_EQ(Run({"boot-mode", "3"}).status, 0);
    EXPECT_EQ(Run({"boot-mode"}).out, "3\n");
    EXPECT_EQ(Run({"apply-record", "set", R"(say "hi" \ there)"}).status, 0);
    EXPECT_EQ(Run({"apply-record"}).out, R"({"isBootComplete":true,"bootApplyRecord":"say \"hi\" \\ there"})" "\n");
    EXPECT_EQ(Run({"apply-record", "set", "--", "--not-an-option"}).status, 0);
    EXPECT_EQ(Run({"apply-record"}).out, R"({"isBootComplete":true,"bootApplyRecord":"--not-an-option"})" "\n");
    EXPECT_EQ(Run({"apply-record", "clear"}).status, 0);
    EXPECT_EQ(Key("BOOT_APPLY_RESULT"), R"({"isBootComplete":false})");

    for (const char* kind : {"store", "live-store", "autoconf", "datafiles"})
        EXPECT_EQ(Run({"cleanup", kind}).status, 0) << kind;
    // Each record command reads its record back and fails when it does not hold.
    for (const char* word : {"start", "end"}) EXPECT_EQ(Run({"autoconf", word}).status, 0);
    for (const char* word : {"on", "off"}) EXPECT_EQ(Run({"warden", word}).status, 0);

    Sql("INSERT INTO Config(Component, ConfigGroup, Name, AutoConfValue) VALUES('a', 'b', 'c', '{}');");
    EXPECT_EQ(Run({"cleanup", "autoconf"}).status, 0);
    EXPECT_THAT(Run({"show"}).out, Not(HasSubstr("a/b/c")));
}

TEST_F(Cli, FailuresExitWithOneAndTheReasonOnStandardError) {
    for (const char* kind : {"store", "live-store", "autoconf", "datafiles"}) {
        Result cleanup = Run({"cleanup", kind});  // no store yet
        EXPECT_EQ(cleanup.status, 1) << kind;
        EXPECT_THAT(cleanup.err, HasSubstr("could not connect")) << kind;
    }
    fs::remove_all(TarnTest::Rooted("/var/run"));  // the cleanups made the store lock's
    Result image = Run({"image", "crates"});       // no lock directory
    EXPECT_EQ(std::to_string(image.status) + " " + image.err, "1 tarn-configstore: Failed to lock imageDB.\n");
    CopySampleHost();
    ASSERT_EQ(Run({"boot"}).status, 0);
    Sql("UPDATE KVTable SET Value = 'abc' WHERE Key = 'BOOT_MODE';");
    Result boot = Run({"boot", "--no-restore"}), unreadable = Run({"boot-mode"});
    EXPECT_EQ(std::to_string(boot.status) + " " + boot.err, "1 tarn-configstore: Generic ConfigStore Failure: stoi\n");
    EXPECT_EQ(std::to_string(unreadable.status) + " " + unreadable.err, "1 tarn-configstore: stoi\n");
}

TEST_F(Cli, RollsBackToAnEarlierGenerationAtTheNextBoot) {
    CopySampleHost();
    ASSERT_EQ(Run({"boot"}).status, 0);
    ASSERT_EQ(Run({"boot-state", "cleanup"}).status, 0);  // records the boot file-system UUID
    const std::string live = TarnTest::Rooted("/etc/halden/configstore/current-store-1");
    const std::string values = "SELECT group_concat(UserValue, ';') FROM (SELECT UserValue FROM Config ORDER BY rowid);";
    const auto before = TarnTest::Query(live, values);
    ASSERT_THAT(Run({"backup"}).out, HasSubstr("\ngeneration 1\n"));
    TarnTest::Query(live, "UPDATE Config SET UserValue = '{\"later\": 1}' WHERE rowid IN (SELECT rowid FROM Config LIMIT 2);"
                          "DELETE FROM Config WHERE rowid = (SELECT max(rowid) FROM Config);"
                          "CREATE TABLE Extra(x); INSERT INTO Extra VALUES(1);"  // a table the older store lacks
                          "INSERT INTO KVTable(Key, Value) VALUES('later', '1');");  // a table after an unchanged one
    ASSERT_EQ(Run({"backup"}).status, 0);

    EXPECT_THAT(Run({"generations"}).out, testing::MatchesRegex("1\t[-0-9T:]+Z\t5f3c9a2e-[-0-9a-f]+\t\\(oldest kept\\)\n"
                                                                "2\t.*\tConfig ~2 -1, Extra \\+1, KVTable \\+1\t\\(the next boot restores it\\)\n"));
    const std::string diff = Run({"generations", "diff", "1", "2"}).out;
    EXPECT_THAT(diff, testing::ContainsRegex("\n    user    .* -> \\{\"later\": 1\\}\n"));
    EXPECT_THAT(diff, testing::EndsWith("0 added, 2 changed, 1 removed\n"));
    EXPECT_EQ(Run({"generations", "diff", "1", "7"}).status, 1);
    EXPECT_THAT(Run({"plan"}).out, HasSubstr("current-store-1 (generation 2)\n"));
    Result rollback = Run({"rollback", "--changes"});
    ASSERT_EQ(rollback.status, 0) << rollback.err;
    EXPECT_THAT(rollback.out, testing::ContainsRegex("  Config: ([0-9]+) -> [0-9]+ rows \\(1 added, 2 changed, 0 removed\\)\n"
                                                     "  Extra: 1 -> 0 rows \\(0 added, 0 changed, 1 removed\\)\n"
                                                     "  KVTable: [0-9]+ -> [0-9]+ rows \\(0 added, 0 changed, 1 removed\\)\n"));
    EXPECT_NE(TarnTest::Query(live, values), before);  // nothing changes before the boot
    EXPECT_THAT(Run({"generations", "--json"}).out,
                testing::MatchesRegex(R"(\[\{"generation":1,.*"restoredNext":true,.*"restoredNext":false,)"
                                      R"("changes":\[\{"table":"Config",.*\{"table":"KVTable","added":1,.*)"));
    ASSERT_EQ(Run({"boot"}).status, 0);
    EXPECT_EQ(TarnTest::Query(live, values), before);
}

// desired set, backup, boot (the change applied), backup: a rollback
// without a generation goes back past the generation that still holds the
// pending change, so the boot after it undoes the change.
TEST_F(Cli, RollbackWithoutAGenerationUndoesTheLastAppliedChange) {
    CopySampleHost();
    ASSERT_EQ(Run({"boot"}).status, 0);
    ASSERT_EQ(Run({"backup"}).status, 0);
    const std::string rows = "SELECT Name, Identifier, UserValue FROM Config ORDER BY 1, 2;";
    const std::string live = TarnTest::Rooted("/etc/halden/configstore/current-store-1");
    const auto before = TarnTest::Query(live, rows);
    ASSERT_EQ(Run({"desired", "set", TARN_EXAMPLE_HOST "/../desired/host-desired.json"}).status, 0);
    for (const char* step : {"backup", "boot", "backup"}) ASSERT_EQ(Run({step}).status, 0) << step;
    ASSERT_NE(TarnTest::Query(live, rows), before);
    Result rollback = Run({"rollback"});  // without --changes, no comparison
    EXPECT_EQ(rollback.out, "The next boot restores generation 1. Nothing changes in the live store until then; a\n"
                            "backup before it replaces this one.\n");
    ASSERT_EQ(Run({"boot"}).status, 0);
    EXPECT_EQ(TarnTest::Query(live, rows), before);
    EXPECT_THAT(Run({"rollback", "2"}).out, HasSubstr("generation 2 and applies the desired configuration it holds."));
}

// A boot that could not restore the backup names the newest whole
// generation; a rollback without one passes over a damaged one, and over
// one whose boot mode would apply a stored configuration.
TEST_F(Cli, ABootThatCouldNotRestoreTheBackupSaysSoAndTheWayBack) {
    CopySampleHost();
    ASSERT_EQ(Run({"boot"}).status, 0);
    for (const char* mode : {"0", "3", "0", "0"}) ASSERT_EQ(Run({"boot-mode", mode}).status + Run({"backup"}).status, 0);
    const std::string backup = TarnTest::Rooted("/var/lib/halden/configstore/backup/current-store-1");
    for (const std::string& file : {backup, TarnTest::Rooted("/var/lib/halden/configstore/backup/generations/3")})
        TarnTest::WriteFile(file, TarnTest::ReadFile(file).substr(0, 5000));  // generation 4 shares the backup
    Result boot = Run({"boot"});
    EXPECT_EQ(boot.status, 3);
    EXPECT_EQ(boot.err, "tarn-configstore: the backup " + backup + " could not be restored (see the boot log); this "
                        "boot made a new store and applied the boot configuration document\ntarn-configstore: "
                        "generation 2 is whole: 'tarn-configstore rollback 2' and another boot bring it back\n");
    EXPECT_THAT(Run({"rollback"}).out, testing::StartsWith("The next boot restores generation 1."));
    EXPECT_EQ(Run({"boot"}).status, 0);
}

TEST_F(Cli, KeepsTheNewestGenerationsAndNeverOffersADamagedOne) {
    CopySampleHost();
    ASSERT_EQ(Run({"boot"}).status, 0);
    std::vector<std::string> said;
    const std::string dir = TarnTest::Rooted("/var/lib/halden/configstore/backup/generations/");
    for (const char* keep : {"1000", "1000", "1000", "2", "2"}) {
        if (said.size() == 4) for (const char* name : {".a", ".generation.0.tmp"}) TarnTest::WriteFile(dir + name, "");
        said.push_back(Run({"backup", "--keep", keep}).out);
    }
    for (std::string& out : said) out = out.substr(out.find("\ngeneration") + 1);
    EXPECT_EQ(said, (std::vector<std::string>{"generation 1\n", "generation 2\n", "generation 3\n",
                                              "generation 4\nremoved generations 1, 2 (keeping the newest 2)\n",
                                              "generation 5\nremoved generation 3 (keeping the newest 2)\n"}));
    EXPECT_THAT(Run({"generations", "--json"}).out, testing::MatchesRegex(R"(\[\{"generation":4,.*"changes":null\},)"
                                                                        R"(\{"generation":5,.*"changes":\[\]\}\])" "\n"));
    EXPECT_FALSE(TarnTest::Exists(dir + "3") || TarnTest::Exists(dir + ".a") || TarnTest::Exists(dir + ".generation.0.tmp"));

    const std::string backup = TarnTest::Rooted("/var/lib/halden/configstore/backup/current-store-1");
    const std::string live = TarnTest::Rooted("/etc/halden/configstore/current-store-1");
    const std::string newest = TarnTest::ReadFile(dir + "5");
    TarnTest::Query(live, "DELETE FROM Config;");
    ASSERT_EQ(Run({"backup", live, backup}).status, 0);  // in place, into the file generation 5 shares
    EXPECT_EQ(TarnTest::ReadFile(dir + "5"), newest);
    const std::string kept = TarnTest::ReadFile(backup);
    TarnTest::WriteFile(dir + "4", kept.substr(0, kept.size() / 2));  // cut short
    Result listed = Run({"generations"});
    EXPECT_THAT(listed.out, testing::StartsWith("5\t"));
    EXPECT_EQ(listed.err, "tarn-configstore: generation 4 fails the integrity check; not offered\n");
    const std::pair<const char*, const char*> refusals[] = {
        {"4", "generation 4 fails the integrity check; not rolled back"}, {"9", "no generation 9"}};
    for (const auto& [n, why] : refusals) {
        Result refused = Run({"rollback", n});
        EXPECT_EQ(std::to_string(refused.status) + " " + refused.err, std::string("1 tarn-configstore: ") + why + "\n");
    }
    EXPECT_EQ(TarnTest::ReadFile(backup), kept);

    // A live store that is gone, empty or damaged never replaces a good
    // backup nor pushes a generation out, however often it is backed up.
    const std::string generations = Run({"generations"}).out;
    for (const auto& [content, problem] : std::vector<std::pair<std::string, std::string>>{
             {"", "holds no tables"}, {kept.substr(0, kept.size() / 2), "fails the integrity check"},
             {"<gone>", "does not exist"}}) {
        if (content == "<gone>") fs::remove(live);
        else TarnTest::WriteFile(live, content);
        for (int i = 0; i < 3; ++i) {
            Result refused = Run({"backup"});
            EXPECT_EQ(refused.status, 1);
            EXPECT_EQ(refused.err, "tarn-configstore: " + live + " " + problem +
                                       "; nothing was backed up and every generation is kept\n");
        }
        EXPECT_EQ(Run({"generations"}).out, generations);
        EXPECT_EQ(TarnTest::ReadFile(backup), kept);
    }
    const std::string copy = TarnTest::Root() + "/copy";
    EXPECT_EQ(Run({"backup", live, copy}).status, 1);
    EXPECT_FALSE(TarnTest::Exists(live) || TarnTest::Exists(copy));
    EXPECT_THAT(Run({"--version"}).out, testing::MatchesRegex("tarn-configstore [0-9]+\\.[0-9]+\\.[0-9]+\n"));
}

} // namespace
