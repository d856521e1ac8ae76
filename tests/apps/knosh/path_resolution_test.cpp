// Resolving textual paths and rendering them back: starting points, "..",
// quoting, instance keys checked or not, modules, the unresolved rest.
#include <gtest/gtest.h>

#include "knosh_fixture.h"

using namespace KnoshTest;

TEST_F(ShellTest, ResolvesAndRendersBack) {
    Resolved dir = Resolve("/dir/a9");
    const struct {
        const char* text;
        bool fromDir;
        uint8_t check;
        const char* rendered;  // "bad": KES_BAD_PARAM and no path
    } cases[] = {
        {"/", false, 1, "/"}, {"/dir/a9/../B", false, 1, "/dir/B/"}, {"/\"di\"r/a9", false, 1, "/dir/a9/"},
        {"/dir/..", false, 1, "/"}, {"/ints/3/..", false, 1, "/ints/"},  // .. drops the instance key first
        {"/..", false, 1, "bad"}, {"dir//a9", false, 1, "bad"}, {"/dir/.", false, 1, "bad"},
        // Relative paths start from a copy of the given path.
        {"../a10", true, 1, "/dir/a10/"}, {"", true, 1, "/dir/a9/"}, {"../..", true, 1, "/"},
        {"ints/0x10", false, 1, "/ints/16/"}, {"ints/020", false, 1, "/ints/16/"},  // a leading 0 is octal
        {"ints/16abc", false, 1, "bad"}, {"ints/+16", false, 0, "bad"},
        {"ints/17", false, 1, "bad"}, {"ints/17", false, 0, "/ints/17/"},
        {"names/x9z", false, 1, "bad"} /* a key's prefix */, {"ints/99999999999999999999", false, 0, "bad"} /* overflow */,
        {"ints/3/ports/7", false, 1, "/ints/3/ports/7/"},
        {"ints/16/ports/7", false, 1, "bad"},  // instances depend on the keys above
        {"/mods/alpha/common", false, 1, "/mods/alpha/common/"},
        {"/mods/alpha/onlyBeta", false, 1, "bad"}, {"/mods/gamma", false, 0, "bad"},  // no such module
    };
    for (const auto& c : cases) {
        Resolved r;
        Captured([&] { r = Resolve(c.text, c.check, false, c.fromDir ? dir.path.get() : nullptr); });
        EXPECT_EQ(r.status == KES_BAD_PARAM && !r.path ? "bad" : r.status ? "status" : Render(r.path.get()), c.rendered)
            << c.text;
    }
    EXPECT_EQ(Render(dir.path.get()), "/dir/a9/");
    Resolved rest = Resolve("../../..", 1, true, dir.path.get());
    EXPECT_EQ(Render(rest.path.get()) + " rest=" + rest.rest, "/ rest=..");
    EXPECT_EQ(Out("get names/\"a/b\"/value ints/3/ports/8/state"), "0\n0\n") << "the keys above the leaf reach the kernel";
    std::string err;  // get takes a key as typed: the kernel, not the path, refuses it
    EXPECT_EQ(Run("get ints/17/value", nullptr, &err), 2);
    EXPECT_EQ(err, "KNOSHCmdGetInt():Get failed: No such instance\nError: Error in command get: No such instance");

    // Quoted rendering resolves to the same path again.
    for (const char* text : {"/names/\"eth 0\"/value", "/names/\"a/b\"", "/dir/\"my dir\"", "/ints/3/ports/8/state",
                             "/mods/beta/onlyBeta", "/cpus/1/load", "/counters/2"}) {
        Resolved first = Resolve(text);
        ASSERT_EQ(first.status, 0u) << text;
        Resolved again = Resolve(Render(first.path.get(), 1));
        EXPECT_EQ(Render(again.path.get(), 1) + Render(again.path.get()), Render(first.path.get(), 1) + Render(first.path.get()));
    }
}

TEST_F(ShellTest, UnresolvableComponentsAreNamed) {
    const std::string err = Captured([&] {
        for (const std::string& text : {std::string("dir//a9"), std::string("/dir/nosuch/a9"), "/dir/" + std::string(10000, 'x')})
            EXPECT_EQ(Resolve(text).status, KES_BAD_PARAM) << text;
        char text[] = "dir";
        KNOSHPathElement* none = nullptr;
        EXPECT_EQ(KNOSHPath_Form(nullptr, text, 1, &none, nullptr), KES_BAD_PARAM);
    }).second;
    EXPECT_EQ(err, "KNOSHPath_Form():Extraneous '' in path.\nKNOSHPath_Form():Extraneous 'nosuch' in path.\n"
                             "KNOSHPath_Form():Extraneous '" + std::string(10000, 'x') + "' in path.\n"
                             "KNOSHPath_Form():Failed to clone path.\n");
}
