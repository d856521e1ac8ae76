// File removal, child programs and the online store backup.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/capture.h"
#include "tarn/utilities.h"

using TarnPlatform::CapturedLine;
using namespace TarnConfigStore;
namespace fs = std::filesystem;

namespace {

using TarnTest::Query;

// How many descriptors of this process refer to the file.
int OpenDescriptors(const std::string& path) {
    const fs::path target = fs::weakly_canonical(path);
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(entry.path(), ec) == target) ++count;
    }
    return count;
}

bool RunCommand(std::vector<const char*> argv) {
    argv.push_back(nullptr);
    return ExecCommand(argv.data());
}

std::vector<CapturedLine> SyslogLines(int priority, const std::vector<std::string>& texts) {
    std::vector<CapturedLine> lines;
    for (const auto& text : texts) lines.push_back({priority, text});
    return lines;
}

} // namespace

TEST(ExecCommand, SucceedsOnlyOnExitStatusZero) {
    const std::string helper = TarnTest::HelperProgram("exit_with");
    TarnPlatform::Capture capture;

    EXPECT_TRUE(RunCommand({helper.c_str(), "0"}));
    EXPECT_TRUE(capture.Logs().empty());

    EXPECT_FALSE(RunCommand({helper.c_str(), "3"}));
    EXPECT_EQ(capture.Logs(), (std::vector<CapturedLine>{{0, "Child process terminated with exit value: 3"}}));

    // Only the exit-status byte counts, and a killed child has none.
    capture.Clear();
    EXPECT_TRUE(RunCommand({helper.c_str(), "signal", "9"}));
    EXPECT_TRUE(RunCommand({helper.c_str(), "signal", "15"}));
    EXPECT_TRUE(capture.Logs().empty());
}

TEST(ExecCommand, MissingProgramIsAStartFailure) {
    const std::string missing = TarnTest::Rooted("/usr/bin/no-such-program");
    TarnPlatform::Capture capture;
    EXPECT_FALSE(RunCommand({missing.c_str()}));
    EXPECT_EQ(capture.Logs(),
              (std::vector<CapturedLine>{{0, "Kestrel_ForkExec failed, errno: No such file or directory"}}));
}

class Backup : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(TarnTest::Rooted("/var/lib/backup")); }

    void ExpectClosed() {
        EXPECT_EQ(OpenDescriptors(src), 0);
        EXPECT_EQ(OpenDescriptors(dst), 0);
    }

    const std::string src = TarnTest::Rooted("/etc/store/current-store-1");
    const std::string dst = TarnTest::Rooted("/var/lib/backup/current-store-1");
};

TEST_F(Backup, ReplacesTheDestinationWholly) {
    Query(src, "CREATE TABLE Config(Name TEXT, UserValue TEXT);"
             "INSERT INTO Config VALUES('ntp', '{\"enabled\": true}'), ('dns', '{\"servers\": []}');");
    Query(dst, "CREATE TABLE Stale(x); INSERT INTO Stale VALUES(1); CREATE TABLE Config(Other INTEGER);");
    TarnPlatform::Capture capture;

    EXPECT_EQ(backup(src, dst), 0);
    EXPECT_EQ(capture.Syslog(), SyslogLines(3, {"ConfigStore backup completed successfully\n",
                                                "ConfigStore backup completed with rc = 101\n"}));
    ExpectClosed();
    EXPECT_THAT(Query(dst, "SELECT name FROM sqlite_master;"), testing::ElementsAre("Config"));
    EXPECT_THAT(Query(dst, "SELECT Name || '=' || UserValue FROM Config ORDER BY Name;"),
                testing::ElementsAre("dns={\"servers\": []}", "ntp={\"enabled\": true}"));
}

TEST_F(Backup, DestinationThatCannotBeOpened) {
    Query(src, "CREATE TABLE Config(Name TEXT);");
    const std::string nowhere = TarnTest::Rooted("/var/lib/missing/current-store-1");
    TarnPlatform::Capture capture;

    EXPECT_EQ(backup(src, nowhere), SQLITE_CANTOPEN);
    EXPECT_EQ(capture.Syslog(),
              SyslogLines(3, {"Cannot connect to sqlite database at " + nowhere + ", rc=14\n"}));
    ExpectClosed();
    EXPECT_FALSE(TarnTest::Exists(fs::path(nowhere).parent_path()));
}

TEST_F(Backup, SourceThatIsNotADatabase) {
    TarnTest::WriteFile(src, std::string(4096, 'x'));
    TarnPlatform::Capture capture;

    EXPECT_EQ(backup(src, dst), 1);
    EXPECT_EQ(capture.Syslog(), SyslogLines(3, {"ConfigStore backup failed with rc = 26\n",
                                                "ConfigStore backup completed with rc = 26\n"}));
    ExpectClosed();
    EXPECT_EQ(TarnTest::ReadFile(src), std::string(4096, 'x'));
}

// Another process holds the source's exclusive lock for as long as the
// backup tries (about ten seconds).
TEST_F(Backup, GivesUpOnASourceLockedByAnotherProcess) {
    Query(src, "CREATE TABLE Config(Name TEXT); INSERT INTO Config VALUES('ntp');");
    Query(dst, "CREATE TABLE Previous(x);");

    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        close(ready[0]);
        close(release[1]);
        sqlite3* db = nullptr;
        if (sqlite3_open(src.c_str(), &db) != SQLITE_OK ||
            sqlite3_exec(db, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr) != SQLITE_OK)
            _exit(1);
        char byte = 1;
        if (write(ready[1], &byte, 1) != 1) _exit(1);
        (void)!read(release[0], &byte, 1);  // returns once the parent closes its end
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1) << "the lock holder did not start";
    close(ready[0]);

    TarnPlatform::Capture capture;
    const int result = backup(src, dst);
    close(release[1]);
    int status = 0;
    waitpid(holder, &status, 0);

    EXPECT_EQ(result, 1);
    std::vector<std::string> expected(10, "ConfigStore backup is halted, because it is busy\n");
    expected.push_back("ConfigStore backup completed with rc = 5\n");
    EXPECT_EQ(capture.Syslog(), SyslogLines(3, expected));
    ExpectClosed();
    EXPECT_THAT(Query(dst, "SELECT name FROM sqlite_master;"), testing::ElementsAre("Previous"));
}
