// Backups running at the same time without the store's lock (a tool of the
// host's own may call the library directly): each run succeeds and keeps
// its generation, whole, under a number of its own.
#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include "support/test_support.h"
#include "tarn/generations.h"

TEST(Generations, BackupsAtTheSameTimeKeepEveryGenerationTheyReport) {
    const std::string live = TarnTest::Rooted("/etc/halden/configstore/current-store-1");
    TarnTest::Query(live, "CREATE TABLE Config(Name TEXT); INSERT INTO Config VALUES('a');");
    int pipes[2];
    ASSERT_EQ(pipe(pipes), 0);
    for (int child = 0; child < 4; ++child)
        if (fork() == 0) {
            for (int run = 0, number = -1; run < 5; ++run, number = -1) {
                try {
                    if (TarnConfigStore::BackupWithGeneration(live, 1000, &number) != 0) number = -1;
                } catch (const std::exception&) {
                }
                if (write(pipes[1], &number, sizeof number) != sizeof number) _exit(1);
            }
            _exit(0);
        }
    close(pipes[1]);
    std::vector<int> claimed, damaged, listed;
    for (int number; read(pipes[0], &number, sizeof number) == sizeof number;) claimed.push_back(number);
    close(pipes[0]);
    while (wait(nullptr) > 0) continue;
    for (const auto& g : TarnConfigStore::ListGenerations(&damaged)) listed.push_back(g.number);
    std::sort(claimed.begin(), claimed.end());
    EXPECT_EQ(claimed.size(), 20u);
    EXPECT_EQ(listed, claimed);  // no failure (-1), no number twice, none lost
    EXPECT_THAT(damaged, testing::IsEmpty());
}
