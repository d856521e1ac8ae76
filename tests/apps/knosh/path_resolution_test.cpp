// Resolving textual paths: starting points, "..", quoting, instance keys
// with and without checking, module ids, the unresolved rest, and that
// nothing leaks or changes the path resolved from.
#include <string>

#include <gtest/gtest.h>

#include "knosh_fixture.h"
#include "tarn/platform/kno/kno_tree.h"

using namespace KnoshTest;

namespace {

class ResolveTest : public ShellTest {
protected:
    // "<rendered path>" and, for a keyed leaf, " key=<key>"; "bad" when the
    // status is KES_BAD_PARAM and no path is left.
    std::string Show(const std::string& text, uint8_t check = 1, KNOSHPathElement* from = nullptr) {
        StdCapture quiet;
        Resolved r = Resolve(text, check, false, from);
        if (r.status == KES_BAD_PARAM && !r.path) return "bad";
        if (r.status != 0) return "status " + std::to_string(r.status);
        std::string key = KeyOf(r.path.get());
        return Render(r.path.get()) + (key.empty() ? "" : " key=" + key);
    }
    std::string WithRest(const std::string& text, KNOSHPathElement* from = nullptr) {
        Resolved r = Resolve(text, 1, true, from);
        return r.status ? "status" : Render(r.path.get()) + " rest=" + r.rest;
    }
    static const KNOSHPathElement* Leaf(const Path& path) { return KNOSHPath_GetLeafElement(path.get()); }
};

} // namespace

TEST_F(ResolveTest, StartingPointsAndDotDot) {
    Resolved slash = Resolve("/");
    ASSERT_EQ(slash.status, 0u);
    EXPECT_EQ(slash.path->nodeInfo->nodeID, 0u);
    EXPECT_EQ(slash.path->next, nullptr);
    EXPECT_EQ(Render(slash.path.get()), "/");

    EXPECT_EQ(Show("dir/"), "/dir/") << "a trailing slash adds nothing";
    EXPECT_EQ(Show("/dir/a9/../B"), "/dir/B/");
    EXPECT_EQ(Show("/dir/.."), "/");
    EXPECT_EQ(Show("/ints/3/.."), "/ints/") << ".. drops the instance key first";
    EXPECT_EQ(Show("/.."), "bad");

    // Relative paths start from a copy of the given path, which stays as it is.
    Resolved dir = Resolve("/dir/a9");
    EXPECT_EQ(Show("../a10", 1, dir.path.get()), "/dir/a10/");
    EXPECT_EQ(Show("", 1, dir.path.get()), "/dir/a9/");
    EXPECT_EQ(Show("../..", 1, dir.path.get()), "/");
    EXPECT_EQ(Render(dir.path.get()), "/dir/a9/");
    EXPECT_EQ(WithRest("../../..", dir.path.get()), "/ rest=..");

    StdCapture capture;
    char text[] = "dir";
    KNOSHPathElement* none = nullptr;
    EXPECT_EQ(KNOSHPath_Form(nullptr, text, 1, &none, nullptr), KES_BAD_PARAM);
    EXPECT_EQ(capture.Err(), "KNOSHPath_Form():Failed to clone path.\n");
}

TEST_F(ResolveTest, UnresolvableComponentsAreNamed) {
    StdCapture capture;
    for (const char* text : {"dir//a9", "/dir/nosuch/a9", "/dir/.", "/.."}) {
        Resolved r = Resolve(text);
        EXPECT_EQ(r.status, KES_BAD_PARAM) << text;
        EXPECT_EQ(r.path, nullptr) << text;
    }
    EXPECT_EQ(Resolve("/dir/" + std::string(10000, 'x')).status, KES_BAD_PARAM);
    EXPECT_EQ(capture.Err(),
              "KNOSHPath_Form():Extraneous '' in path.\n"
              "KNOSHPath_Form():Extraneous 'nosuch' in path.\n"
              "KNOSHPath_Form():Extraneous '.' in path.\n"
              "KNOSHPath_Form():Extraneous '..' in path.\n"
              "KNOSHPath_Form():Extraneous '" + std::string(10000, 'x') + "' in path.\n");
}

TEST_F(ResolveTest, CheckedKeys) {
    Resolved hex = Resolve("ints/0x10");
    ASSERT_EQ(hex.status, 0u);
    const KNOSHPathElement* key = Leaf(hex.path);
    EXPECT_EQ(key->hasParam, 1);
    EXPECT_EQ(key->param.type, KNO_PARAM_INT);
    EXPECT_EQ(key->nodeInfo->nodeID, 30u) << "an instance element carries its instance node";
    EXPECT_EQ(key->prev->nodeInfo->nodeID, 30u);
    EXPECT_EQ(key->prev->hasParam, 0);

    EXPECT_EQ(Show("ints/0x10"), "/ints/16/ key=16");
    EXPECT_EQ(Show("ints/020"), "/ints/16/ key=16") << "a leading 0 is octal";
    EXPECT_EQ(Show("ints/16abc"), "bad");
    EXPECT_EQ(Show("ints/17"), "bad");
    EXPECT_EQ(Show("names/nosuch"), "bad");
    EXPECT_EQ(Show("ints/3/ports/7"), "/ints/3/ports/7/ key=7");
    EXPECT_EQ(Show("ints/16/ports/7"), "bad") << "instances depend on the keys above";
}

TEST_F(ResolveTest, ModuleIds) {
    Resolved beta = Resolve("/mods/beta/onlyBeta");
    ASSERT_EQ(beta.status, 0u);
    EXPECT_EQ(beta.path->moduleID, 0u);
    EXPECT_EQ(beta.path->next->moduleID, 0u);
    EXPECT_EQ(beta.path->next->next->moduleID, 2u);
    EXPECT_EQ(Leaf(beta.path)->moduleID, 2u) << "children inherit the module";
    EXPECT_EQ(Show("/mods/alpha/common"), "/mods/alpha/common/");
    EXPECT_EQ(Show("/mods/alpha/onlyBeta"), "bad") << "a node of another module";
    EXPECT_EQ(Show("/mods/gamma", 0), "bad") << "no such module";
}
