// A backup left with a hot journal by a writer killed before its commit is
// recovered by the boot's restore, not thrown away.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "boot/restore_config_store.h"
#include "restore_fixture.h"

using namespace RestoreTest;

namespace {

// A child that overwrites every filler row (spilling the changed pages into
// the file through a one-page cache) and dies before its commit.
void KillWriterMidTransaction(const std::string& path) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "PRAGMA cache_size=1; BEGIN; UPDATE Filler SET x = 'lost'; DELETE FROM Config;", nullptr,
                     nullptr, nullptr);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
}

} // namespace

TEST(RestoreHotJournal, InterruptedBackupIsRolledBackAndRestoredWhole) {
    const std::string backup = TarnTest::Rooted(kPrimary);
    WriteStore(backup, "primary", false);
    KillWriterMidTransaction(backup);
    ASSERT_TRUE(TarnTest::Exists(backup + "-journal"));
    MakeLiveRamDisk();

    EXPECT_EQ(TarnConfigStore::RestoreConfigStore(true), 0);
    EXPECT_EQ(LiveConfigMarkers(), std::vector<std::string>{"primary"});
    EXPECT_EQ(Query(TarnTest::Rooted(kLiveConfig), "SELECT count(*) FROM Filler WHERE x <> 'lost';"),
              std::vector<std::string>{"400"});
    EXPECT_EQ(LiveBootMode(), "1");
}

TEST(RestoreHotJournal, LiveStoresJournalsNeverReachTheRestoredCopies) {
    WriteStore(TarnTest::Rooted(kPrimary), "primary", false);
    MakeLiveRamDisk();
    WriteStore(TarnTest::Rooted(kLiveConfig), "stale", false);
    KillWriterMidTransaction(TarnTest::Rooted(kLiveConfig));
    ASSERT_TRUE(TarnTest::Exists(TarnTest::Rooted(kLiveConfig) + "-journal"));

    EXPECT_EQ(TarnConfigStore::RestoreConfigStore(true), 0);
    EXPECT_FALSE(TarnTest::Exists(TarnTest::Rooted(kLiveConfig) + "-journal"));
    EXPECT_EQ(LiveConfigMarkers(), std::vector<std::string>{"primary"});
    EXPECT_EQ(Query(TarnTest::Rooted(kLiveConfig), "PRAGMA integrity_check;"), std::vector<std::string>{"ok"});
}
