// Host root, quoting, the logger, events, the system log and the host's
// string utilities.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/events.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/dump_evt.h"
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
    EXPECT_EQ(SqlQuote("plain"), "'plain'");
    EXPECT_EQ(SqlQuote(""), "''");
    EXPECT_EQ(SqlQuote("it's"), "'it''s'");
    EXPECT_EQ(SqlQuote("''"), "''''''");
}

TEST(Logger, LinesGoToStoreLogAndRegisteredFileLoggers) {
    Capture capture;
    CSLogger::Log(2, "before %d", 1);
    void* boot = CSLogger::AddFileLogger("configstore-boot");
    CSLogger::Log(0, "during %s", "boot");
    CSLogger::RemoveFileLogger(boot);
    CSLogger::Log(3, "after");

    EXPECT_EQ(capture.Logs(), (std::vector<CapturedLine>{{2, "before 1"}, {0, "during boot"}, {3, "after"}}));
    const std::string store = ReadFile(Rooted("/var/log/configstore.log"));
    EXPECT_NE(store.find("[2] before 1\n"), std::string::npos);
    EXPECT_NE(store.find("[0] during boot\n"), std::string::npos);
    EXPECT_NE(store.find("[3] after\n"), std::string::npos);
    const std::string bootLog = ReadFile(Rooted("/var/log/configstore-boot.log"));
    EXPECT_EQ(bootLog.find("before"), std::string::npos);
    EXPECT_NE(bootLog.find("[0] during boot\n"), std::string::npos);
    EXPECT_EQ(bootLog.find("after"), std::string::npos);
}

TEST(Events, FilledFromTheCatalog) {
    Capture capture;
    TarnConfigStore::DumpEvt(TarnConfigStore::EVT_COPY_BACKUP_ERROR, 1, "/var/lib/backup/current-store-1");
    TarnConfigStore::DumpEvt(TarnConfigStore::EVT_DB_OPERATION_ERROR, 0);
    TarnConfigStore::DumpEvt("evt.unknown", 2, "a", "b");

    auto events = capture.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].message, "Error copying ConfigStore from backup /var/lib/backup/current-store-1.");
    EXPECT_EQ(events[0].args, std::vector<std::string>{"/var/lib/backup/current-store-1"});
    EXPECT_EQ(events[1].message, "ConfigStore database operation failed.");
    EXPECT_EQ(events[2].message, "a b");
    const std::string log = ReadFile(Rooted("/var/log/configstore-events.log"));
    EXPECT_NE(log.find("evt.user.cs.db.operation.error ConfigStore database operation failed.\n"), std::string::npos);
}

TEST(SystemLog, KeepsTheTextAsFormatted) {
    Capture capture;
    SysLog(3, "ConfigStore backup completed with rc = %d\n", 0);
    EXPECT_EQ(capture.Syslog(), (std::vector<CapturedLine>{{3, "ConfigStore backup completed with rc = 0\n"}}));
    const std::string log = ReadFile(Rooted("/var/log/syslog"));
    EXPECT_NE(log.find("<3> ConfigStore backup completed with rc = 0\n"), std::string::npos);
    EXPECT_EQ(log.find("\n\n"), std::string::npos);
}
