// The tarn-configstore program, started as a child on a copy of the sample
// host: exit statuses, usage and help, and what its subcommands do.
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/db_store.h"
#include "tarn/rapidjson.h"

namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::StartsWith;

struct Result {
    int status;
    std::string out, err;
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class Cli : public testing::Test {
protected:
    // Runs the program on the test's host root (or with the arguments alone).
    static Result Run(const std::vector<std::string>& args, bool onRoot = true) {
        std::string command = Quote(TARN_CLI);
        if (onRoot) command += " --root " + Quote(TarnTest::Root());
        for (const std::string& a : args) command += " " + Quote(a);
        const std::string out = TarnTest::Root() + "/cli.out", err = TarnTest::Root() + "/cli.err";
        int rc = std::system((command + " >" + Quote(out) + " 2>" + Quote(err)).c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, TarnTest::ReadFile(out), TarnTest::ReadFile(err)};
    }

    static void CopySampleHost() { fs::copy(TARN_EXAMPLE_HOST, TarnTest::Root(), fs::copy_options::recursive); }

    static std::string Key(const std::string& key) {
        std::string value = "<unreadable>";
        DBStore::ReadKeyValue(key, &value, DBStore::GetConnection(DBStore::CONFIG_STORE));
        return value;
    }
    static void Sql(const std::string& sql) {
        ASSERT_EQ(DBStore::ExecuteV2(DBStore::GetConnection(DBStore::CONFIG_STORE), sql, nullptr, nullptr, 3000), 0);
    }
};

TEST_F(Cli, RejectsUnknownCommandsAndBadArgumentsWithAUsageLine) {
    const std::vector<std::vector<std::string>> bad = {
        {}, {"frobnicate"}, {"--verbose", "show"}, {"boot", "--restore"}, {"boot-mode", "7"}, {"boot-mode", "one"},
        {"autoconf", "maybe"}, {"warden"}, {"boot-state", "reset"}, {"apply-record", "set"}, {"apply-record", "--clear"},
        {"cleanup", "everything"}, {"crate-files", "extra"}, {"show", "--yaml"}, {"backup", "only-one"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(testing::PrintToString(args));
        Result r = Run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_THAT(r.err, HasSubstr("usage: tarn-configstore [--root DIR] "));
        EXPECT_EQ(r.out, "");
    }
    Result noRoot = Run({"--root", TarnTest::Root() + "/missing", "show"}, false);
    EXPECT_EQ(noRoot.status, 2);
    EXPECT_THAT(noRoot.err, HasSubstr("is not a directory"));
}

TEST_F(Cli, BootsTheSampleHost) {
    CopySampleHost();
    Result boot = Run({"boot"});
    ASSERT_EQ(boot.status, 0) << boot.err;
    EXPECT_EQ(boot.out + boot.err, "");

    EXPECT_EQ(Run({"boot-mode"}).out, "0\n");
    EXPECT_EQ(Run({"apply-record"}).out, "{\"isBootComplete\":false}\n");
    EXPECT_EQ(Run({"crate-files"}).out, "config\t/etc/sample/ntp.conf\n");
    EXPECT_EQ(Run({"show", "--json"}).out, "[]\n");
    Result failures = Run({"restore-failures"});
    EXPECT_EQ(failures.status, 0);
    EXPECT_EQ(failures.out, "");
    EXPECT_FALSE(TarnTest::Exists(TarnTest::Rooted("/etc/sample/stale.conf")));
    EXPECT_THAT(TarnTest::ReadFile(TarnTest::Rooted("/var/log/sysalerts.log")),
                HasSubstr("Network interface vnic1 did not come up within 30 seconds."));
    EXPECT_THAT(TarnTest::ReadFile(TarnTest::Rooted("/var/log/configstore-boot.log")), HasSubstr("LoadStore End."));
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

    EXPECT_EQ(Run({"autoconf", "end"}).status, 0);
    EXPECT_EQ(Key("IS_BOOT"), "");
    EXPECT_EQ(Run({"warden", "on"}).status, 0);
    EXPECT_EQ(Key("NOTIFY_WARDEN"), "true");
    EXPECT_EQ(Run({"boot-state", "cleanup"}).status, 0);
    EXPECT_EQ(Key("BOOT_FS_UUID"), "5f3c9a2e-77a1-4c1e-9d0b-1f6e2a4b8c3d");

    Sql("INSERT INTO Config(Component, ConfigGroup, Name, AutoConfValue) VALUES('a', 'b', 'c', '{}');");
    EXPECT_EQ(Run({"cleanup", "autoconf"}).status, 0);
    EXPECT_EQ(Run({"show"}).out, "(no configuration objects)\n");
}

TEST_F(Cli, ABackupIsWhatTheNextBootRestores) {
    CopySampleHost();
    ASSERT_EQ(Run({"boot"}).status, 0);
    Sql(R"(INSERT INTO Config(Component, ConfigGroup, Name, UserValue, DesiredValue)
           VALUES('network', 'dns', 'servers', '{"n":1}', '{"n":2}');)");
    Result backup = Run({"backup"});
    ASSERT_EQ(backup.status, 0) << backup.err;
    fs::remove(TarnTest::Rooted("/etc/halden/configstore/current-store-1"));

    ASSERT_EQ(Run({"boot"}).status, 0);
    rapidjson::Document shown;
    shown.Parse(Run({"show", "--json"}).out);
    ASSERT_TRUE(shown.IsArray());
    ASSERT_EQ(shown.Size(), 1u);
    EXPECT_EQ(shown[0]["user"]["n"].GetInt(), 2);
    EXPECT_TRUE(shown[0]["desired"].IsNull());
    EXPECT_FALSE(shown[0]["success"].GetBool());  // the schema's noRestore flag
    EXPECT_THAT(TarnTest::ReadFile(TarnTest::Rooted("/var/log/configstore-boot.log")),
                HasSubstr("ConfigStore restored successfully from backup"));
}

TEST_F(Cli, AFailedBootExitsWithTheFailureOnStandardError) {
    CopySampleHost();
    ASSERT_EQ(Run({"boot"}).status, 0);
    Sql("UPDATE KVTable SET Value = 'abc' WHERE Key = 'BOOT_MODE';");
    Result boot = Run({"boot", "--no-restore"});
    EXPECT_EQ(boot.status, 1);
    EXPECT_EQ(boot.err, "tarn-configstore: Generic ConfigStore Failure: stoi\n");
    Result unreadable = Run({"boot-mode"});
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_EQ(unreadable.err, "tarn-configstore: stoi\n");
}

} // namespace
