// A store step in its child: its status, or its failure's text, comes back;
// the agent's callback runs while a long step goes on.
#include <csignal>
#include <thread>

#include <gtest/gtest.h>
#include "store_step.h"

namespace TarnFleet {
namespace {

TEST(StoreStep, BringsBackTheStatusTheFailureOrTheCrash) {
    HostStatus status;
    int ticks = 0;
    auto slow = [](HostStatus& s) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        s.errors = {{"a/b/c", "/profile/a", "why"}};
        return true;
    };
    EXPECT_TRUE(RunStoreStep(status, slow, [&ticks] { ++ticks; }));
    EXPECT_EQ(status.errors.at(0).reason, "why");
    EXPECT_GE(ticks, 1);
    EXPECT_FALSE(RunStoreStep(status, [](HostStatus& s) { s.stored = 8; return false; }));
    EXPECT_EQ(status.stored, 8);
    try {
        RunStoreStep(status, [](HostStatus&) -> bool { throw std::runtime_error("store is locked"); });
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "store is locked");
    }
    EXPECT_THROW(RunStoreStep(status, [](HostStatus&) -> bool { std::raise(SIGKILL); return true; }), std::runtime_error);
    EXPECT_EQ(status.stored, 8);
}

} // namespace
} // namespace TarnFleet
