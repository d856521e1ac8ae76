// Loading tree files: the live tree, caches, and refusal of malformed or
// inconsistent files with a message naming the problem.
#include <cstring>

#include "tests/platform/kno/kno_test_support.h"

namespace {

using namespace KnoTest;

class KnoLoad : public SampleTree {};

TEST_F(KnoLoad, MissingLiveTreeFailsEveryCallUntilItAppears) {
    TarnTest::ResetRoot();
    KNONodeInfo* info = nullptr;
    EXPECT_EQ(KNO_NodeInfoLookup(0, 0, &info), KES_NO_TREE);
    EXPECT_EQ(info, nullptr);
    EXPECT_FALSE(KesSyscall_Init(-1, 0, 0));
    int mismatch = 7;
    char date[21];
    EXPECT_EQ(KNO_CheckSig(date, sizeof date, &mismatch), KES_NO_TREE);
    EXPECT_STREQ(KNO_DefsMD5Sum(), "");

    WriteLiveTree(SampleText());
    EXPECT_TRUE(KesSyscall_Init(-1, 0, 0));
    ASSERT_EQ(KNO_NodeInfoLookup(0, 0, &info), KES_OK);
    KNO_NodeInfoRelease(info);
}

TEST_F(KnoLoad, CacheReplacesTheLiveTreeAndAFailedLoadKeepsIt) {
    std::string cache = TarnTest::Rooted("/tmp/snapshot.json");
    TarnTest::WriteFile(cache, Edited(SampleText(), "{\"node\": 4, \"value\": \"5f3c9a2e-77a1-4c1e-9d0b-1f6e2a4b8c3d\"}",
                                      "{\"node\": 4, \"value\": \"00000000-1111-2222-3333-444444444444\"}"));
    ASSERT_EQ(KNO_UseCache(cache.c_str(), -1), KES_OK);
    char text[40] = {};
    ASSERT_EQ(KNO_Get(KNO_NODE_system_bootFsUUID, nullptr, text, sizeof text), KES_OK);
    EXPECT_STREQ(text, "00000000-1111-2222-3333-444444444444");

    EXPECT_EQ(KNO_UseCache(TarnTest::Rooted("/tmp/none.json").c_str(), -1), KES_NO_TREE);
    TarnTest::WriteFile(TarnTest::Rooted("/tmp/bad.json"), "{\"nodes\": [");
    EXPECT_EQ(KNO_UseCache(TarnTest::Rooted("/tmp/bad.json").c_str(), -1), KES_BAD_TREE);
    EXPECT_NE(std::string(KNO_LastError()).find("bad.json: not valid JSON"), std::string::npos) << KNO_LastError();
    ASSERT_EQ(KNO_Get(KNO_NODE_system_bootFsUUID, nullptr, text, sizeof text), KES_OK);
    EXPECT_STREQ(text, "00000000-1111-2222-3333-444444444444");
    EXPECT_EQ(KNO_UseCache(nullptr, -1), KES_BAD_PARAM);
}

struct BadTree {
    const char* label;
    const char* from;
    const char* to;
    const char* message;  // part of KNO_LastError()
};

class KnoRefusedTree : public SampleTree, public testing::WithParamInterface<BadTree> {};

TEST_P(KnoRefusedTree, IsRefusedWithAMessageNamingTheProblem) {
    const BadTree& bad = GetParam();
    WriteLiveTree(Edited(SampleText(), bad.from, bad.to));
    EXPECT_FALSE(KesSyscall_Init(-1, 0, 0));
    EXPECT_NE(std::string(KNO_LastError()).find(bad.message), std::string::npos) << KNO_LastError();
    char text[40];
    EXPECT_EQ(KNO_Get(KNO_NODE_system_bootFsUUID, nullptr, text, sizeof text), KES_BAD_TREE);
    EXPECT_EQ(knoTypeDefsLookupTab, nullptr);
}

const BadTree kBadTrees[] = {
    {"UnknownType", "\"get\": \"NicStats\"", "\"get\": \"NicStatz\"", "node 203 ('stats'): unknown type 'NicStatz'"},
    {"DanglingParent", "\"name\": \"mtu\", \"parent\": 201", "\"name\": \"mtu\", \"parent\": 299",
     "node 204 ('mtu'): parent 299 does not exist"},
    {"ValueOfWrongSize", "{\"node\": 204, \"keys\": [\"vnic1\"], \"value\": 9000}",
     "{\"node\": 204, \"keys\": [\"vnic1\"], \"hex\": \"28230000ff\"}",
     "value of wrong size: 5 bytes, type 'uint32' has 4"},
    {"NumberTooBigForItsType", "\"maxLoad\": 90", "\"maxLoad\": 65536", "65536 does not fit type 'uint16'"},
    {"ParentCycle", "{\"id\": 300, \"name\": \"hardware\", \"parent\": 0}",
     "{\"id\": 300, \"name\": \"hardware\", \"parent\": 303}", "its parents form a cycle"},
    {"ReservedIdMisplaced", "{\"id\": 5, \"name\": \"sysAlert\"", "{\"id\": 5, \"name\": \"alerts\"",
     "id 5 is reserved for 'sysAlert'"},
    {"ValueForMissingInstance", "{\"node\": 207, \"keys\": [\"vnic0\", 1]", "{\"node\": 207, \"keys\": [\"vnic1\", 1]",
     "key [1] is no instance of node 206 ('queues') under [\"vnic1\"]"},
    {"OverlappingMembers", "\"type\": \"LinkState\", \"offset\": 8", "\"type\": \"LinkState\", \"offset\": 4",
     "members 'mac' and 'link' overlap"},
    {"UnknownEnumName", "\"flags\": \"INODE_STICKY\"", "\"flags\": \"INODE_STICKIER\"",
     "'INODE_STICKIER' is no value of enum 'InodeFlags'"},
    {"NotJson", "\"types\": [", "\"types\": [[", "not valid JSON"},
};

INSTANTIATE_TEST_SUITE_P(Kno, KnoRefusedTree, testing::ValuesIn(kBadTrees),
                         [](const testing::TestParamInfo<BadTree>& info) { return info.param.label; });

} // namespace
