// The tarn-configstore program, started as a child on a copy of the sample
// host: exit statuses, usage, and what its subcommands do.
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/host_root.h"

namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::Not;
using TarnPlatform::ShellQuote;

struct Result {
    int status;
    std::string out, err;
};

class Cli : public testing::Test {
protected:
    // Runs the program on the test's host root (or with the arguments alone).
    static Result Run(const std::vector<std::string>& args, bool onRoot = true) {
        std::string command = ShellQuote(TARN_CLI);
        if (onRoot) command += " --root " + ShellQuote(TarnTest::Root());
        for (const std::string& a : args) command += " " + ShellQuote(a);
        const std::string out = TarnTest::Root() + "/cli.out", err = TarnTest::Root() + "/cli.err";
        int rc = std::system((command + " >" + ShellQuote(out) + " 2>" + ShellQuote(err)).c_str());
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
        {"image"}, {"image", "crates", "--yaml"},
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
    EXPECT_EQ(Run({"image", "dump"}).out, TarnTest::Rooted("/tmp/image-info.csv") + "\n");
    // A byte that is not UTF-8 leaves the JSON valid, as U+FFFD.
    EXPECT_EQ(Run({"filter-sticky", "--json", "/etc/sample/ntp.conf", "r\xff\xc3l"}).out,
              R"({"kept":["/etc/sample/ntp.conf"],"rejected":[{"path":")" "r\uFFFD\uFFFDl" R"(","reason":"File )"
              "r\uFFFD\uFFFDl" R"( is not an absolute path, hence it should not be persisted."}]})" "\n");
    EXPECT_EQ(Run({"track-files", "backup", "/a", "/b"}).status, 0);
    EXPECT_EQ(TarnTest::ReadFile(TarnTest::Rooted("/var/run/halden/files/backup-list")), "/a\n/b\n");
    Result failures = Run({"restore-failures"});
    EXPECT_EQ(failures.status, 0);
    EXPECT_THAT(failures.out, HasSubstr("system/time/ntp\n"));  // a default is not applied yet
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

    for (const char* kind : {"store", "live-store", "autoconf", "datafiles"})
        EXPECT_EQ(Run({"cleanup", kind}).status, 0) << kind;
    EXPECT_EQ(Run({"autoconf", "end"}).status, 0);
    EXPECT_EQ(Key("IS_BOOT"), "");
    EXPECT_EQ(Run({"warden", "on"}).status, 0);
    EXPECT_EQ(Key("NOTIFY_WARDEN"), "true");
    EXPECT_EQ(Run({"boot-state", "cleanup"}).status, 0);
    EXPECT_EQ(Key("BOOT_FS_UUID"), "5f3c9a2e-77a1-4c1e-9d0b-1f6e2a4b8c3d");

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
    Result image = Run({"image", "crates"});  // no lock directory
    EXPECT_EQ(std::to_string(image.status) + " " + image.err, "1 tarn-configstore: Failed to lock imageDB.\n");
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
