// A store locked for a moment by another process is waited for, not taken
// for a missing or damaged one.
#include <functional>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/configstore.h"

namespace {

// A child that holds an exclusive lock on the database for about a second;
// returns once the lock is taken.
pid_t LockForASecond(const std::string& path) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
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
    return rc == SQLITE_OK ? pid : -1;
}

} // namespace

TEST(LockedStore, ConnectionAndIntegrityCheckWaitForTheLock) {
    ASSERT_EQ(DBStore::CreateDatabases(), 0);
    const std::string path = TarnTest::Rooted(TarnConfigStore::CONFIG_STORE_PATH);
    const std::pair<const char*, std::function<bool()>> probes[] = {
        {"GetConnection", [] { return DBStore::GetConnection(DBStore::CONFIG_STORE) != nullptr; }},
        {"Check", [&] { return DBStore::Check(path); }},
    };
    for (const auto& [name, probe] : probes) {
        SCOPED_TRACE(name);
        pid_t locker = LockForASecond(path);
        ASSERT_GT(locker, 0);
        EXPECT_TRUE(probe());
        waitpid(locker, nullptr, 0);
    }
}
