// The store's writer lock across processes: a second taker waits, then names
// the holder; the holder's text is gone with the lock.
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/exceptions.h"
#include "tarn/store_lock.h"

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;

// A child that takes the lock as holder, says so through the pipe and keeps
// it until killed.
pid_t HoldInChild(const std::string& holder) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        TarnConfigStore::StoreLock lock(holder, 0ms);
        if (write(fds[1], "L", 1) != 1) _exit(1);
        for (;;) pause();
    }
    close(fds[1]);
    char c = 0;
    const bool locked = read(fds[0], &c, 1) == 1;
    close(fds[0]);
    return locked ? pid : -1;
}

void Stop(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

TEST(StoreLock, ASecondTakerWaitsThenNamesTheHolder) {
    const pid_t holder = HoldInChild("pid 1 (desired set)");
    ASSERT_GT(holder, 0);
    EXPECT_EQ(TarnConfigStore::StoreLockHolder(), "pid 1 (desired set)");

    std::string noticed;
    const std::string thrown = TarnTest::Thrown([&] {
        TarnConfigStore::StoreLock lock("pid 2 (boot-mode 1)", 200ms, [&](const std::string& by) { noticed = by; });
    });
    EXPECT_THAT(thrown, HasSubstr("The configuration store is in use by pid 1 (desired set); gave up after 200 ms"));
    EXPECT_EQ(noticed, "pid 1 (desired set)");

    // Gone with its holder's process: the next taker has it at once.
    Stop(holder);
    EXPECT_EQ(TarnConfigStore::StoreLockHolder(), "");
    TarnConfigStore::StoreLock lock("pid 3 (backup)", 0ms);
    EXPECT_EQ(TarnConfigStore::StoreLockHolder(), "pid 3 (backup)");
}

TEST(StoreLock, IsReleasedAndEmptiedWhenItsOwnerGoes) {
    { TarnConfigStore::StoreLock lock("pid 4 (cleanup store)", 0ms); }
    EXPECT_EQ(TarnConfigStore::StoreLockHolder(), "");
    EXPECT_EQ(TarnTest::ReadFile(TarnTest::Rooted(TarnConfigStore::STORE_LOCK_PATH)), "");
    // Nobody holds it now: a child takes it without waiting.
    const pid_t next = HoldInChild("pid 5 (plan)");
    EXPECT_GT(next, 0);
    if (next > 0) Stop(next);
}

} // namespace
