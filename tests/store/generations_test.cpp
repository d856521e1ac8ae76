// Generations kept by runs of the backup at the same time, without the
// store's lock (a tool of the host's own may call the library directly).
#include <algorithm>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/exceptions.h"
#include "tarn/generations.h"

namespace {

// Each of the children keeps five generations as fast as it can; the runs
// overlap, and none may remove or take over what another one writes: every
// run succeeds and leaves its generation, whole, under a number of its own.
TEST(Generations, BackupsAtTheSameTimeKeepEveryGenerationTheyReport) {
    const std::string live = TarnTest::Rooted("/etc/halden/configstore/current-store-1");
    TarnTest::Query(live, "CREATE TABLE Config(Name TEXT); INSERT INTO Config VALUES('a');");
    const std::string reports = TarnTest::Root() + "/reports";
    constexpr int kChildren = 4, kRuns = 5;
    std::vector<pid_t> children;
    for (int c = 0; c < kChildren; ++c) {
        pid_t pid = fork();
        if (pid == 0) {
            std::string said;
            for (int r = 0; r < kRuns; ++r) {
                int number = 0;
                try {
                    if (TarnConfigStore::BackupWithGeneration(live, 1000, &number) != 0) _exit(2);
                } catch (const TarnConfigStore::ConfigStoreException&) {
                    _exit(3);
                }
                said += std::to_string(number) + "\n";
            }
            TarnTest::WriteFile(reports + std::to_string(c), said);
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::vector<int> claimed;
    for (int c = 0; c < kChildren; ++c) {
        std::istringstream in(TarnTest::ReadFile(reports + std::to_string(c)));
        for (int n; in >> n;) claimed.push_back(n);
    }
    std::vector<int> damaged, listed;
    for (const auto& g : TarnConfigStore::ListGenerations(&damaged)) listed.push_back(g.number);
    std::sort(claimed.begin(), claimed.end());
    EXPECT_EQ(claimed.size(), static_cast<size_t>(kChildren * kRuns));
    EXPECT_EQ(listed, claimed);
    EXPECT_THAT(damaged, testing::IsEmpty());
}

} // namespace
