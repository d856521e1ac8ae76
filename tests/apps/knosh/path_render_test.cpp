// Rendering paths back to text, quoting, round trips through resolution,
// the instance keys along a path, and freeing part of a path.
#include <string>

#include <gtest/gtest.h>

#include "knosh_fixture.h"
#include "tarn/platform/kno/kno_tree.h"

using namespace KnoshTest;

namespace {

std::string Cat(const char* component, uint8_t quote, const char* start = "") {
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%s", start);
    KNOSHPath_CatComponent(buffer, sizeof buffer, component, quote);
    return buffer;
}

} // namespace

TEST(KnoshCatComponent, QuotesOnlyWhereResolutionNeedsIt) {
    EXPECT_EQ(Cat("a b", 1, "/x/"), "/x/\"a b\"");
    EXPECT_EQ(Cat("a/b", 1), "\"a/b\"");
    EXPECT_EQ(Cat(" a", 1), "\" a\"");
    EXPECT_EQ(Cat("a\tb", 1), "\"a\tb\"");
    EXPECT_EQ(Cat("plain", 1), "plain");
    EXPECT_EQ(Cat("", 1), "");
    // A trailing "/" (a branch offered by completion) or a single special
    // character at the end stays unquoted.
    EXPECT_EQ(Cat("my dir/", 1), "my dir/");
    EXPECT_EQ(Cat("ab/", 1), "ab/");
    EXPECT_EQ(Cat("ab ", 1), "ab ");
    EXPECT_EQ(Cat("a b", 0), "a b");

    char buffer[8] = "abc";  // never written past its size
    KNOSHPath_CatComponent(buffer, sizeof buffer, "d e f g h", 1);
    EXPECT_EQ(std::string(buffer), "abc\"d e");
}

TEST_F(ShellTest, RenderingRoundTrips) {
    for (const char* text : {"/names/\"eth 0\"/value", "/names/\"a/b\"", "/dir/\"my dir\"", "/ints/16/sub",
                             "/ints/3/ports/8/state", "/mods/beta/onlyBeta", "/cpus/1/load", "/counters/2"}) {
        Resolved first = Resolve(text);
        ASSERT_EQ(first.status, 0u) << text;
        std::string quoted = Render(first.path.get(), 1);
        Resolved again = Resolve(quoted);
        ASSERT_EQ(again.status, 0u) << quoted;
        EXPECT_EQ(Render(again.path.get(), 1), quoted);
        EXPECT_EQ(Render(again.path.get(), 0), Render(first.path.get(), 0));
        const KNOSHPathElement* a = first.path.get();
        const KNOSHPathElement* b = again.path.get();
        for (; a && b; a = a->next, b = b->next) {
            EXPECT_EQ(a->nodeInfo->nodeID, b->nodeInfo->nodeID) << text;
            EXPECT_EQ(a->moduleID, b->moduleID) << text;
            EXPECT_EQ(a->hasParam, b->hasParam) << text;
        }
        EXPECT_EQ(a, b) << "same length: " << text;
    }
}

TEST_F(ShellTest, RenderingForms) {
    EXPECT_EQ(Render(Resolve("/ints/0x10").path.get()), "/ints/16/") << "integer keys in decimal";
    Resolved path = Resolve("/dir/a9");
    EXPECT_EQ(Render(path.path->next), "dir/a9/") << "from a middle element on";
    EXPECT_EQ(Render(nullptr), "");

    char tiny[3];
    KNOSHPath_GetStr(path.path.get(), tiny, sizeof tiny, 0);
    EXPECT_EQ(std::string(tiny), "/d");
}

TEST_F(ShellTest, InstanceKeysAlongAPath) {
    Resolved path = Resolve("/ints/3/ports/8/state");
    ASSERT_EQ(path.status, 0u);
    auto keysOf = [](const KNOSHPathElement* e) {
        KNOParamList* list = KNOSHPath_GetInstArgs(e);
        std::string text;
        for (uint32_t i = 0; i < KNO_ParamListUsedCount(list); ++i) {
            const KNOParam* p = KNO_ParamListGetParam(list, i);
            text += (p->type == KNO_PARAM_INT ? std::to_string(KNO_ParamGetInt(p)) : KNO_ParamGetString(p)) + ";";
        }
        KNO_ParamListDestroy(list);
        return text;
    };
    const KNOSHPathElement* e = path.path.get();
    std::string seen;
    for (; e; e = e->next) seen += "[" + keysOf(e) + "]";
    EXPECT_EQ(seen, "[][][3;][3;][3;8;][3;8;]");

    Resolved named = Resolve("/names/\"eth 0\"/value");
    EXPECT_EQ(keysOf(named.path->next->next->next), "eth 0;");
}

TEST_F(ShellTest, FreeingTheMiddleLeavesItsPredecessorAsLeaf) {
    uint32_t before = KNO_OutstandingNodeInfos();
    Resolved path = Resolve("/ints/3/ports/8");
    ASSERT_EQ(path.status, 0u);
    KNOSHPathElement* keyed = path.path->next->next;  // ints/3
    KNOSHPath_Delete(keyed->next);
    EXPECT_EQ(keyed->next, nullptr);
    EXPECT_EQ(KNOSHPath_GetLeafElement(path.path.get()), keyed);
    EXPECT_EQ(Render(path.path.get()), "/ints/3/");
    path.path.reset();
    EXPECT_EQ(KNO_OutstandingNodeInfos(), before);
    KNOSHPath_Delete(nullptr);
    EXPECT_EQ(KNOSHPath_GetLeafElement(nullptr), nullptr);
}
