// The program's writes to the store: serialised with the boot and with each
// other through the store's lock, and checked, so a command that stored
// nothing says so and why.
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli_runner.h"
#include "support/private_mount_namespace.h"
#include "support/test_support.h"
#include "tarn/store_lock.h"

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;
using TarnTest::RunCli;

const std::vector<std::vector<std::string>> kRecordWrites = {
    {"boot-mode", "0"}, {"apply-record", "set", "applied"}, {"apply-record", "clear"},
    {"autoconf", "start"}, {"warden", "on"}, {"boot-state", "cleanup"},
};

// A failed write says what the file system refused: a full backup disk for
// backup, a read-only backup directory for rollback, a read-only live store
// for the boot (whose own failure text names the step) and for every record
// write, which also says what was not stored, even where the value stored
// before already equals the one asked for (boot mode 0 after a boot).
TEST(StoreWrites, FullAndReadOnlyFileSystemsAreNamedAsTheCause) {
    TarnTest::CopySampleHost();
    ASSERT_EQ(RunCli({"boot"}).status, 0);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(RunCli({"backup"}).status, 0);
    const std::string live = TarnTest::Rooted("/etc/halden/configstore");
    const std::string backups = TarnTest::Rooted("/var/lib/halden/configstore/backup");
    auto run = TarnTest::RunInPrivateMountNamespace([&] {
        auto readOnly = [](const std::string& dir) {
            return mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                   mount(nullptr, dir.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
        };
        std::string report;
        // A small file system of its own, filled up.
        if (mount("none", backups.c_str(), "tmpfs", 0, "size=64k") != 0) return std::string("no tmpfs");
        if (std::system(("dd if=/dev/zero of=" + backups + "/filler bs=4k 2>/dev/null").c_str()) == -1) return report;
        TarnTest::CliResult r = RunCli({"backup"});
        report += "backup " + std::to_string(r.status) + " " + r.err;
        if (umount(backups.c_str()) != 0 || !readOnly(backups)) return report + "cannot make the backups read-only";
        r = RunCli({"rollback", "1"});
        report += "rollback " + std::to_string(r.status) + " " + r.err;
        if (!readOnly(live)) return report + "cannot make the store read-only";
        for (auto args : kRecordWrites) {
            r = RunCli(args);
            report += args[0] + " " + std::to_string(r.status) + " " + r.err;
        }
        r = RunCli({"boot"});
        report += "boot " + std::to_string(r.status) + " " + r.err;
        return report;
    });
    TARN_SKIP_WITHOUT_NAMESPACE(run);
    EXPECT_THAT(run.report, HasSubstr("backup 1 tarn-configstore: backup of "));
    EXPECT_THAT(run.report, HasSubstr("cause: " + backups + "/current-store-1: no space left on device\n"));
    EXPECT_THAT(run.report, HasSubstr("rollback 1 tarn-configstore: "));
    EXPECT_THAT(run.report, HasSubstr("cause: " + backups + "/current-store-1: read-only file system\n"));
    EXPECT_THAT(run.report, HasSubstr("tarn-configstore: Generic ConfigStore Failure: Error removing auto configuration "
                                      "value.\ntarn-configstore: cause: " + live + "/current-store-1: read-only file "
                                      "system\n"));
    EXPECT_THAT(run.report, testing::Not(HasSubstr("-journal")));  // no journal was there to remove
    for (const auto& args : kRecordWrites) EXPECT_THAT(run.report, HasSubstr(args[0] + " 1 tarn-configstore: "));
    const std::string cause = "cause: " + live + "/current-store-1: read-only file system\n";
    size_t causes = 0;
    for (size_t at = 0; (at = run.report.find(cause, at)) != std::string::npos; at += cause.size()) ++causes;
    EXPECT_EQ(causes, kRecordWrites.size() + 1) << run.report;
    EXPECT_THAT(run.report, testing::Not(HasSubstr("/datafile-store: read-only")));  // said once for its directory
    EXPECT_THAT(run.report, HasSubstr("boot mode 0 was not stored: DBStore: statement failed (attempt to write a "
                                      "readonly database)"));
    for (const auto& args : kRecordWrites) EXPECT_EQ(RunCli(args).status, 0) << args[0] << " on a writable store";
    // A write the store drops without a failure (a trigger here) is found by reading it back.
    TarnTest::Query(live + "/current-store-1", "CREATE TRIGGER a BEFORE INSERT ON KVTable BEGIN SELECT RAISE(IGNORE); END;"
                                               "CREATE TRIGGER b BEFORE INSERT ON Config BEGIN SELECT RAISE(IGNORE); END;");
    EXPECT_THAT(RunCli({"boot-mode", "2"}).err, HasSubstr("boot mode 2 was not stored in the configuration store"));
    EXPECT_THAT(RunCli({"set", "network/switching/switches[switch0]", R"({"mtu":9000})"}).err,
                HasSubstr("the user value of network/switching/switches[switch0] was not stored in the configuration"));
}

// A writer gives up after the busy timeout and names the holder, storing
// nothing; the boot waits for the holder however long, says whom it waits
// for, and then runs.
TEST(StoreWrites, WritersAndTheBootWaitForTheLockHolder) {
    TarnTest::CopySampleHost();
    ASSERT_EQ(RunCli({"boot"}).status, 0);
    auto lock = std::make_unique<TarnConfigStore::StoreLock>("pid 7 (an operator's script)", 0ms);
    const TarnTest::CliResult refused = RunCli({"boot-mode", "1"});
    EXPECT_THAT(std::to_string(refused.status) + refused.err,
                testing::MatchesRegex("1.*\ntarn-configstore: The configuration store is in use by pid 7 \\(an "
                                      "operator's script\\); gave up after 3000 ms.*"));
    EXPECT_EQ(RunCli({"boot-mode"}).out, "0\n");  // reading needs no lock
    const std::string err = TarnTest::Root() + "/boot.err";
    const std::string command = TarnTest::CliCommand({"boot"}) + " 2>" + TarnPlatform::ShellQuote(err);
    int status = -1;
    std::thread boot([&] { status = std::system(command.c_str()); });
    // The boot runs only once the lock is free: its first log line comes after.
    while (TarnTest::ReadFile(err).empty()) std::this_thread::sleep_for(10ms);
    EXPECT_THAT(TarnTest::ReadFile(err), HasSubstr("waiting for the configuration store, in use by pid 7"));
    const std::string log = TarnTest::Rooted("/var/log/configstore.log");
    const size_t before = TarnTest::ReadFile(log).size();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(TarnTest::ReadFile(log).size(), before) << "the boot ran while the lock was held";
    lock.reset();
    boot.join();
    EXPECT_EQ(status, 0);
    EXPECT_THAT(TarnTest::ReadFile(log).substr(before), HasSubstr("LoadStore End."));
    lock = std::make_unique<TarnConfigStore::StoreLock>("", 0ms);  // a holder that names no one
    EXPECT_THAT(RunCli({"boot-mode", "1"}).err, HasSubstr("in use by another process; gave up"));
}

} // namespace
