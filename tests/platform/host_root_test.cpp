// Host root, SQL quoting, and the log files under the host root.
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/syslog.h"

using namespace TarnPlatform;
using TarnTest::ReadFile;
using TarnTest::Rooted;

TEST(HostRoot, PrefixesFixedPaths) {
    ASSERT_FALSE(HostRoot().empty());
    EXPECT_EQ(HostPath("/etc/halden/x"), HostRoot() + "/etc/halden/x");
    EXPECT_NE(HostRoot().back(), '/');
    EXPECT_TRUE(MakeDirectories(HostPath("/a/b/c")));
    EXPECT_TRUE(MakeDirectories(HostPath("/a/b/c")));
    TarnTest::WriteFile(HostPath("/a/file"), "x");
    EXPECT_FALSE(MakeDirectories(HostPath("/a/file/d")));
}

TEST(HostRoot, SqlQuoteDoublesApostrophes) {
    const char* cases[][2] = {{"plain", "'plain'"}, {"", "''"}, {"it's", "'it''s'"}, {"''", "''''''"}};
    for (const auto& c : cases) EXPECT_EQ(SqlQuote(c[0]), c[1]);
}

// Captured lines are checked by the tests of their callers; here the files.
TEST(Logs, StoreLogAndSystemLogFiles) {
    CSLogger::Log(2, "before %d", 1);
    SysLog(3, "ConfigStore backup completed with rc = %d\n", 0);
    EXPECT_NE(ReadFile(Rooted("/var/log/configstore.log")).find("[2] before 1\n"), std::string::npos);
    const std::string syslog = ReadFile(Rooted("/var/log/syslog"));
    EXPECT_NE(syslog.find("<3> ConfigStore backup completed with rc = 0\n"), std::string::npos);
    EXPECT_EQ(syslog.find("\n\n"), std::string::npos);
}
