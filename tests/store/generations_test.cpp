// Backups running at the same time without the store's lock (a tool of the
// host's own may call the library directly): each run succeeds and keeps
// its generation, whole, under a number of its own.
#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/generations.h"

namespace {

TEST(Generations, BackupsAtTheSameTimeKeepEveryGenerationTheyReport) {
    const std::string live = TarnTest::Rooted("/etc/halden/configstore/current-store-1");
    TarnTest::Query(live, "CREATE TABLE Config(Name TEXT); INSERT INTO Config VALUES('a');");
    constexpr int kChildren = 4, kRuns = 5;
    int pipes[2];
    ASSERT_EQ(pipe(pipes), 0);
    for (int c = 0; c < kChildren; ++c)
        if (fork() == 0) {
            for (int r = 0, number = 0; r < kRuns; ++r) {
                try {
                    if (TarnConfigStore::BackupWithGeneration(live, 1000, &number) != 0) number = -1;
                } catch (const std::exception&) {
                    number = -1;
                }
                if (write(pipes[1], &number, sizeof number) != sizeof number) _exit(1);
            }
            _exit(0);
        }
    close(pipes[1]);
    std::vector<int> claimed;
    for (int number; read(pipes[0], &number, sizeof number) == sizeof number;) claimed.push_back(number);
    close(pipes[0]);
    while (wait(nullptr) > 0) {
    }
    std::vector<int> damaged, listed;
    for (const auto& g : TarnConfigStore::ListGenerations(&damaged)) listed.push_back(g.number);
    std::sort(claimed.begin(), claimed.end());
    EXPECT_EQ(claimed.size(), static_cast<size_t>(kChildren * kRuns));
    EXPECT_EQ(listed, claimed);  // no failure (-1), no number twice, none lost
    EXPECT_THAT(damaged, testing::IsEmpty());
}

} // namespace
