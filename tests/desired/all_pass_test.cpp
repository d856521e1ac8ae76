// Sharing independent checks among threads: every index once, and a failure
// or an exception in any thread reaches the caller.
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "desired/all_pass.h"

using TarnConfigStore::AllPass;

TEST(AllPass, EveryIndexOnceAndAnyThreadsFailureOrExceptionReachesTheCaller) {
    constexpr size_t kCount = 1001;
    std::vector<std::atomic<int>> seen(kCount);
    EXPECT_TRUE(AllPass(kCount, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) ++seen[i];
        return true;
    }));
    for (size_t i = 0; i < kCount; ++i) ASSERT_EQ(seen[i], 1) << i;

    EXPECT_FALSE(AllPass(kCount, [](size_t, size_t end) { return end != kCount; }));
    EXPECT_FALSE(AllPass(kCount, [](size_t begin, size_t) { return begin != 0; }));
    EXPECT_THROW(AllPass(kCount, [](size_t begin, size_t end) {
                     if (begin <= 500 && 500 < end) throw std::runtime_error("check failed");
                     return true;
                 }),
                 std::runtime_error);
    EXPECT_TRUE(AllPass(0, [](size_t, size_t) { return false; }));

    // A few checks are not worth a thread.
    const std::thread::id caller = std::this_thread::get_id();
    EXPECT_TRUE(AllPass(20, [&](size_t, size_t) { return std::this_thread::get_id() == caller; }));
}
