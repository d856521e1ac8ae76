// Child programs and the online store backup.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <sqlite3.h>
#include <string>
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

bool RunCommand(std::vector<const char*> argv) {
    argv.push_back(nullptr);
    return ExecCommand(argv.data());
}

TEST(ExecCommand, SucceedsOnExitStatusZeroWithOnlyTheHostRootInTheEnvironment) {
    const std::string helper = TarnTest::HelperProgram("exit_with"), missing = TarnTest::Rooted("/usr/bin/none");
    const std::string script = TarnTest::Root() + "/print-env.sh", out = TarnTest::Root() + "/env.out";
    TarnTest::WriteFile(script, "#!/bin/sh\nprintf '%s|%s' \"$TARN_ROOT\" \"$HOME\" >\"$1\"\n");
    fs::permissions(script, fs::perms::owner_all);
    TarnPlatform::Capture capture;
    EXPECT_TRUE(RunCommand({script.c_str(), out.c_str()}));
    EXPECT_EQ(TarnTest::ReadFile(out), TarnTest::Root() + "|");
    // Only the exit-status byte counts, and a killed child has none.
    EXPECT_TRUE(RunCommand({helper.c_str(), "signal", "9"}));
    EXPECT_TRUE(capture.Logs().empty());
    EXPECT_FALSE(RunCommand({helper.c_str(), "3"}));
    EXPECT_FALSE(RunCommand({missing.c_str()}));
    EXPECT_EQ(capture.Logs(), (std::vector<CapturedLine>{{0, "Child process terminated with exit value: 3"},
                                                         {0, "Kestrel_ForkExec failed, errno: No such file or directory"}}));
}

TEST(RemoveFile, SaysWhatItRemovedAndWhyItCouldNot) {
    const std::string path = TarnTest::Rooted("/etc/gone.conf");
    TarnTest::WriteFile(path, "x");
    TarnPlatform::Capture capture;
    EXPECT_TRUE(RemoveFile(path.c_str()) && !RemoveFile(path.c_str()));
    EXPECT_EQ(capture.Logs(), (std::vector<CapturedLine>{{0, "[" + path + "] file removed."},
                                                         {0, "Failed to remove: " + path + ", err: 2"}}));
}

// How many descriptors of this process refer to the file.
int OpenDescriptors(const std::string& path) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        count += fs::read_symlink(entry.path(), ec) == fs::weakly_canonical(path);
    }
    return count;
}

class Backup : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(TarnTest::Rooted("/var/lib/backup")); }
    // Whatever happened, neither file is left open.
    void TearDown() override { EXPECT_EQ(OpenDescriptors(src) + OpenDescriptors(dst), 0); }
    // backup's result, then its syslog lines (priority 3 unless told).
    std::vector<std::string> Run(const std::string& to, const std::string& from = "") {
        TarnPlatform::Capture capture;
        std::vector<std::string> seen{std::to_string(backup(from.empty() ? src : from, to))};
        for (const CapturedLine& line : capture.Syslog())
            seen.push_back(line.priority == 3 ? line.text : std::to_string(line.priority) + " " + line.text);
        return seen;
    }
    const std::string src = TarnTest::Rooted("/etc/store/current-store-1");
    const std::string dst = TarnTest::Rooted("/var/lib/backup/current-store-1");
};

TEST_F(Backup, ReplacesTheDestinationWholly) {
    Query(src, "CREATE TABLE Config(Name TEXT, UserValue TEXT);"
               "INSERT INTO Config VALUES('ntp', '{\"enabled\": true}'), ('dns', '{\"servers\": []}');");
    Query(dst, "CREATE TABLE Stale(x); INSERT INTO Stale VALUES(1); CREATE TABLE Config(Other INTEGER);");
    EXPECT_THAT(Run(dst), testing::ElementsAre("0", "ConfigStore backup completed successfully\n",
                                               "ConfigStore backup completed with rc = 101\n"));
    EXPECT_THAT(Query(dst, "SELECT name FROM sqlite_master;"), testing::ElementsAre("Config"));
    EXPECT_THAT(Query(dst, "SELECT Name || '=' || UserValue FROM Config ORDER BY Name;"),
                testing::ElementsAre("dns={\"servers\": []}", "ntp={\"enabled\": true}"));
}

TEST_F(Backup, UnopenableDamagedOrSameFilesAreRefused) {
    Query(src, "CREATE TABLE Config(Name TEXT);");
    const std::string nowhere = TarnTest::Rooted("/var/lib/missing/current-store-1");
    EXPECT_THAT(Run(nowhere), testing::ElementsAre("14", "Cannot connect to sqlite database at " + nowhere + ", rc=14\n"));
    EXPECT_FALSE(TarnTest::Exists(fs::path(nowhere).parent_path()));

    // The same file under any name is refused before anything is opened.
    const std::string dir = fs::path(src).parent_path().string();
    fs::create_symlink(src, dir + "/link");
    for (const std::string& to : {src, dir + "/../store/./current-store-1", dir + "/link"})
        EXPECT_THAT(Run(to), testing::ElementsAre("1", testing::HasSubstr("refused"))) << to;
    EXPECT_THAT(Run(dir + "/../store/new", dir + "/new"), testing::ElementsAre("1", testing::HasSubstr("refused")));
    EXPECT_FALSE(TarnTest::Exists(dir + "/new"));

    TarnTest::WriteFile(src, std::string(4096, 'x'));
    EXPECT_THAT(Run(dst), testing::ElementsAre("1", "ConfigStore backup failed with rc = 26\n",
                                               "ConfigStore backup completed with rc = 26\n"));
    EXPECT_EQ(TarnTest::ReadFile(src), std::string(4096, 'x'));
}

// Another connection holds the source's exclusive lock for as long as the
// backup tries (about ten seconds).
TEST_F(Backup, GivesUpOnALockedSource) {
    Query(src, "CREATE TABLE Config(Name TEXT); INSERT INTO Config VALUES('ntp');");
    Query(dst, "CREATE TABLE Previous(x);");
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(src.c_str(), &raw), SQLITE_OK);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> holder(raw, sqlite3_close);
    ASSERT_EQ(sqlite3_exec(raw, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr), SQLITE_OK);
    std::vector<std::string> seen = Run(dst);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "ConfigStore backup is halted, because it is busy\n"), 10);
    EXPECT_EQ(seen.front() + seen.back(), "1ConfigStore backup completed with rc = 5\n");
    holder.reset();
    EXPECT_THAT(Query(dst, "SELECT name FROM sqlite_master;"), testing::ElementsAre("Previous"));
}

} // namespace
