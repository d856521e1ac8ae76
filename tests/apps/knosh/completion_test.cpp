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

TEST_F(ShellTest, StateCountsTheCandidatesLookedAt) {
    int state = 0;
    char* first = KNOSH_CommandGenerator("dir/le", &state);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "/dir/leaf");
    free(first);
    EXPECT_EQ(state, 4) << "a10, a9 and B were looked at before leaf";
    EXPECT_EQ(KNOSH_CommandGenerator("dir/le", &state), nullptr);
    EXPECT_EQ(state, 5);
    EXPECT_EQ(KNOSH_CommandGenerator("dir/le", &state), nullptr) << "stays at the end";
    EXPECT_EQ(state, 5);

    // A name that resolves completely offers what lies below it.
    EXPECT_EQ(Completions("dir/B"), Texts{});

    state = 1;  // a later call for the same text skips what was offered
    char* next = KNOSH_CommandGenerator("dir/a", &state);
    ASSERT_NE(next, nullptr);
    EXPECT_STREQ(next, "/dir/a9/");
    free(next);
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

TEST_F(ShellTest, CompletionsResolveAgain) {
    for (const std::string& text : Completions("names/")) {
        Resolved r = Resolve(text);
        EXPECT_EQ(r.status, 0u) << text;
    }
    EXPECT_EQ(KeyOf(Resolve(Completions("names/e").at(0)).path.get()), "eth 0");
}

TEST_F(ShellTest, CompletesFromTheWorkingPath) {
    ASSERT_EQ(Run("cd dir"), 0);
    EXPECT_EQ(Completions("a"), (Texts{"/dir/a10/", "/dir/a9/"}));
    // Only a branch gets "/": an instance leaf is a leaf here, unlike in ls.
    EXPECT_EQ(Completions("../c"), (Texts{"/counters", "/cpus/"}));
}
