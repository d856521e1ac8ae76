// Host root, paths resolved inside it, SQL quoting, bounded texts, and the
// files under the host root: logs, events, features.
#include <cerrno>
#include <chrono>
#include <thread>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/dump_evt.h"
#include "tarn/platform/feature_list.h"
#include "tarn/platform/host_utils.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/syslog.h"

using namespace TarnPlatform;
using TarnTest::ReadFile;
using TarnTest::Rooted;

TEST(HostRoot, PrefixesFixedPaths) {
    ASSERT_FALSE(HostRoot().empty());
    EXPECT_EQ(HostPath("/etc/halden/x"), HostRoot() + "/etc/halden/x");
    EXPECT_TRUE(MakeDirectories(HostPath("/a/b/c")));
    EXPECT_TRUE(MakeDirectories(HostPath("/a/b/c")));
    TarnTest::WriteFile(HostPath("/a/file"), "x");
    EXPECT_FALSE(MakeDirectories(HostPath("/a/file/d")));
}

// An image root ("img") beside a directory outside it ("out"): links of
// every kind resolve inside the image root, as if it were "/".
TEST(HostRoot, ResolvesLinksInsideTheRoot) {
    namespace fs = std::filesystem;
    const std::string root = Rooted("/img"), out = Rooted("/out");
    fs::create_directories(root + "/d");
    fs::create_directories(out);
    fs::create_directory_symlink(out, root + "/abs");                  // absolute: from the image root
    fs::create_directory_symlink("../out", root + "/rel");             // ".." stops at the image root
    fs::create_directory_symlink("abs", root + "/chain");              // to another link
    fs::create_directory_symlink("/", root + "/top");
    fs::create_symlink("/out/file", root + "/d/file");                 // the last component too
    fs::create_symlink("loop2", root + "/loop1");
    fs::create_symlink("loop1", root + "/loop2");
    fs::create_symlink("/self", root + "/self");  // outside, /self; inside, itself
    const struct {
        std::string path, resolved;
    } cases[] = {
        {"/etc/halden/x", "/etc/halden/x"},
        {"/abs/f", out + "/f"},
        {"/rel/f", "/out/f"},
        {"/rel/", "/out/"},
        {"/", "/"},
        {"/chain/f", out + "/f"},
        {"/top/top/d", "/d"},
        {"/d/file", "/out/file"},
        {"/../../d/./f", "/d/f"},
        {"/missing/x/../f", "/missing/f"},
        {"/missing/../rel/f", "/out/f"},  // back above what is missing, links count again
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveInRoot(root, c.path), root + c.resolved) << c.path;

    for (const char* path : {"/loop1/f", "/self", "/d/../loop2"}) {
        const std::string resolved = ResolveInRoot(root, path);
        EXPECT_EQ(resolved.compare(0, root.size() + 1, root + "/"), 0) << resolved;
        EXPECT_FALSE(MakeDirectories(resolved)) << path;
        EXPECT_LT(::open(resolved.c_str(), O_WRONLY | O_CREAT, 0644), 0) << path;
        EXPECT_EQ(errno, ENAMETOOLONG) << path;
    }
    EXPECT_TRUE(fs::is_empty(out));
}

// Quoting doubles apostrophes, concatenation stops at the size, and lines of
// the features file that name no feature leave the lines after them read.
TEST(HostRoot, TextHelpersAndTheFeaturesFile) {
    const char* cases[][2] = {{"plain", "'plain'"}, {"", "''"}, {"it's", "'it''s'"}, {"''", "''''''"}};
    for (const auto& c : cases) EXPECT_EQ(SqlQuote(c[0]), c[1]);
    char buffer[8] = "abc";
    EXPECT_STREQ(Str_Strcat(buffer, "defgh", 6), "abcde");
    TarnTest::WriteFile(Rooted(FEATURES_FILE), "none\n" + std::string(300, '6') + "\n\n smartnic # on\n");
    LoadFeatures();
    EXPECT_EQ(*FeatureList[FEATURE_SMARTNIC], 1);
}

// Captured lines are checked by the tests of their callers; here the files.
TEST(Logs, StoreLogSystemLogAndEventFiles) {
    CSLogger::Log(2, "before %d", 1);
    SysLog(3, "ConfigStore backup completed with rc = %d\n", 0);
    EXPECT_NE(ReadFile(Rooted("/var/log/configstore.log")).find("[2] before 1\n"), std::string::npos);
    const std::string syslog = ReadFile(Rooted("/var/log/syslog"));
    EXPECT_NE(syslog.find("<3> ConfigStore backup completed with rc = 0\n"), std::string::npos);
    EXPECT_EQ(syslog.find("\n\n"), std::string::npos);
    // An event's message is its catalog text filled with its arguments in order; without one, the arguments.
    SetEventMessageLookup([](const char* id) { return std::string(id) == "evt.a" ? "%s to %s: 100%%" : nullptr; });
    for (const char* id : {"evt.a", "evt.b"}) TarnConfigStore::DumpEvt(id, 2, "one", "two");
    EXPECT_THAT(ReadFile(Rooted("/var/log/configstore-events.log")),
                testing::MatchesRegex(".* evt.a one to two: 100%\n.* evt.b one two\n"));
}

// The log file is held open between lines: a line after the file was
// removed, or (a second on) renamed away by a rotation, lands in a new file
// at its path, not in the old one.
TEST(Logs, FollowRemovalAndRotation) {
    const std::string log = Rooted("/var/log/configstore.log");
    CSLogger::Log(2, "first");
    ASSERT_EQ(::unlink(log.c_str()), 0);
    CSLogger::Log(2, "after removal");
    EXPECT_NE(ReadFile(log).find("after removal"), std::string::npos);
    ASSERT_EQ(::rename(log.c_str(), (log + ".1").c_str()), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    CSLogger::Log(2, "after rotation");
    EXPECT_NE(ReadFile(log).find("after rotation"), std::string::npos);
    EXPECT_EQ(ReadFile(log + ".1").find("after rotation"), std::string::npos);
}
