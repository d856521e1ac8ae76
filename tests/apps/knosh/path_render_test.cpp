// Rendering paths back to text with quoting, round trips through
// resolution, and the instance keys along a path.
#include <string>

#include <gtest/gtest.h>

#include "knosh_fixture.h"
#include "tarn/platform/kno/kno_tree.h"

using namespace KnoshTest;

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
