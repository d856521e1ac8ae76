// Tab completion: children and instance keys, each once for increasing
// state, quoting, module filtering, and completions that resolve again.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "knosh_fixture.h"

using namespace KnoshTest;

using Texts = std::vector<std::string>;

TEST_F(ShellTest, CompletesChildrenInTreeOrder) {
    EXPECT_EQ(Completions("dir/a"), (Texts{"/dir/a10/", "/dir/a9/"}));
    EXPECT_EQ(Completions("dir/"), (Texts{"/dir/a10/", "/dir/a9/", "/dir/B/", "/dir/leaf", "/dir/my dir/"}));
    EXPECT_EQ(Completions("/dir/le"), (Texts{"/dir/leaf"}));
    EXPECT_EQ(Completions("dir/z"), Texts{});
    EXPECT_EQ(Completions("nosuch/x"), Texts{}) << "the rest is the first unresolved name";
    EXPECT_EQ(Completions("i"), (Texts{"/ints/"}));
}

TEST_F(ShellTest, CompletesInstanceKeys) {
    EXPECT_EQ(Completions("names/"), (Texts{"/names/x10", "/names/\"eth 0\"", "/names/\"a/b\"", "/names/x9"}));
    EXPECT_EQ(Completions("names/x"), (Texts{"/names/x10", "/names/x9"}));
    EXPECT_EQ(Completions("ints/2"), (Texts{"/ints/200"}));
    EXPECT_EQ(Completions("counters/"), (Texts{"/counters/2", "/counters/1"}));
    EXPECT_EQ(Completions("ints/3/ports/"), (Texts{"/ints/3/ports/8", "/ints/3/ports/7"}));
    EXPECT_EQ(Completions("ints/16/ports/"), Texts{});
    // Below a key the children are offered again.
    EXPECT_EQ(Completions("ints/3/"), (Texts{"/ints/3/value", "/ints/3/sub/", "/ints/3/ports/"}));
}

TEST_F(ShellTest, CompletesOnlyNodesOfTheModule) {
    EXPECT_EQ(Completions("mods/alpha/"), (Texts{"/mods/alpha/common", "/mods/alpha/onlyAlpha"}));
    EXPECT_EQ(Completions("mods/beta/only"), (Texts{"/mods/beta/onlyBeta"}));
}
