// A store locked for a moment by another process is waited for, not taken
// for a missing or damaged one.
#include <functional>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/configstore.h"

TEST(LockedStore, ConnectionAndIntegrityCheckWaitForTheLock) {
    ASSERT_EQ(DBStore::CreateDatabases(), 0);
    const std::string path = TarnTest::Rooted(TarnConfigStore::CONFIG_STORE_PATH);
    const std::function<bool()> probes[] = {[] { return DBStore::GetConnection(DBStore::CONFIG_STORE) != nullptr; },
                                            [&] { return DBStore::Check(path); }};
    for (const auto& probe : probes) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t locker = fork();
        if (locker == 0) {  // holds an exclusive lock for about a second
            sqlite3* db = nullptr;
            sqlite3_open(path.c_str(), &db);
            int rc = sqlite3_exec(db, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr);
            (void)!write(ready[1], &rc, sizeof rc);
            sleep(1);
            sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
            _exit(0);
        }
        int rc = -1;
        (void)!read(ready[0], &rc, sizeof rc);
        close(ready[0]);
        close(ready[1]);
        ASSERT_EQ(rc, SQLITE_OK);
        EXPECT_TRUE(probe());
        waitpid(locker, nullptr, 0);
    }
}
