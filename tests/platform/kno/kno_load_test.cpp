// Loading tree files: the live tree, caches, and refusal of malformed or
// inconsistent files with a message naming the problem.
#include <cstring>

#include "tests/platform/kno/kno_test_support.h"

namespace {

using namespace KnoTest;

class KnoLoad : public SampleTree {};

TEST_F(KnoLoad, FirstCallOpensTheLiveTreeAndFillsTheTypeTable) {
    EXPECT_EQ(knoTypeDefsLookupTab, nullptr);
    char text[40] = {};
    ASSERT_EQ(KNO_Get(KNO_NODE_system_bootFsUUID, nullptr, text, sizeof text), KES_OK);
    EXPECT_STREQ(text, "5f3c9a2e-77a1-4c1e-9d0b-1f6e2a4b8c3d");

    ASSERT_NE(knoTypeDefsLookupTab, nullptr);
    ASSERT_GT(knoMaxTypeDefs, 20u);
    EXPECT_STREQ(knoTypeDefsLookupTab[0].name, "uint8");  // file order
    const KNOType* stats = nullptr;
    for (uint32_t i = 0; i < knoMaxTypeDefs; ++i) {
        if (std::strcmp(knoTypeDefsLookupTab[i].name, "InodeStats") == 0) stats = &knoTypeDefsLookupTab[i];
    }
    ASSERT_NE(stats, nullptr);
    EXPECT_EQ(stats->kind, KNO_TYPE_STRUCT);
    ASSERT_EQ(stats->numMembers, 7u);
    EXPECT_STREQ(stats->members[6].name, "tardisk");
    EXPECT_EQ(stats->members[6].offset, KNO_INODE_STATS_TARDISK_OFFSET);
    EXPECT_EQ(stats->members[6].type->size, KNO_INODE_STATS_TARDISK_SIZE);
    EXPECT_STREQ(stats->members[5].type->name, "InodeFlags");
    EXPECT_TRUE(stats->members[5].type->isBitmask);
    EXPECT_STREQ(stats->display, "Inode statistics");
}

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

TEST_F(KnoLoad, ReloadingEqualDefinitionsKeepsTypeHandles) {
    const KNOType* before = nullptr;
    ASSERT_EQ(KNO_LookupOutputTypeOfGet(KNO_NODE_system_lumenfs_inodes_stats, 0, &before), KES_OK);
    // Same definitions, other values: the records are shared.
    WriteLiveTree(Edited(SampleText(), "\"links\": 1,\n      \"flags\": 3", "\"links\": 9,\n      \"flags\": 3"));
    ASSERT_TRUE(KesSyscall_Init(-1, 0, 0));
    const KNOType* after = nullptr;
    ASSERT_EQ(KNO_LookupOutputTypeOfGet(KNO_NODE_system_lumenfs_inodes_stats, 0, &after), KES_OK);
    EXPECT_EQ(before, after);
    // Other definitions: new records, and the old handle still reads.
    WriteLiveTree(Edited(SampleText(), "\"description\": \"Backing tardisk\"", "\"description\": \"Tardisk\""));
    ASSERT_TRUE(KesSyscall_Init(-1, 0, 0));
    const KNOType* other = nullptr;
    ASSERT_EQ(KNO_LookupOutputTypeOfGet(KNO_NODE_system_lumenfs_inodes_stats, 0, &other), KES_OK);
    EXPECT_NE(other, before);
    EXPECT_STREQ(other->members[6].description, "Tardisk");
    EXPECT_STREQ(before->members[6].description, "Backing tardisk");
    KNO_ReleaseType(before);
    KNO_ReleaseType(after);
    KNO_ReleaseType(other);
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
    {"TypeUsedBeforeDefinition", "\"element\": \"hexbyte\", \"count\": 6", "\"element\": \"SchedConfig\", \"count\": 6",
     "type 'EthAddressArray6': unknown type 'SchedConfig' (a type must be defined before it is used)"},
    {"DanglingParent", "\"name\": \"mtu\", \"parent\": 201", "\"name\": \"mtu\", \"parent\": 299",
     "node 204 ('mtu'): parent 299 does not exist"},
    {"DuplicateId", "{\"id\": 304, \"name\": \"latency\"", "{\"id\": 303, \"name\": \"latency\"",
     "node 303 ('latency'): duplicate node id (also 'storage')"},
    {"ValueOfWrongSize", "{\"node\": 204, \"keys\": [\"vnic1\"], \"value\": 9000}",
     "{\"node\": 204, \"keys\": [\"vnic1\"], \"hex\": \"28230000ff\"}",
     "value of wrong size: 5 bytes, type 'uint32' has 4"},
    {"TextTooLongForItsArray", "\"driver\": \"vmxnet\"}},\n    {\"node\": 202, \"keys\": [\"vnic1\"]",
     "\"driver\": \"a-driver-name-of-20\"}},\n    {\"node\": 202, \"keys\": [\"vnic1\"]",
     "member 'driver': text of 19 bytes does not fit type 'DriverName' of 16 bytes"},
    {"NumberTooBigForItsType", "\"maxLoad\": 90", "\"maxLoad\": 65536", "65536 does not fit type 'uint16'"},
    {"ParentIsALeaf", "\"name\": \"stats\", \"parent\": 206", "\"name\": \"stats\", \"parent\": 205",
     "parent node 205 ('ipv6') is a leaf"},
    {"ParentCycle", "{\"id\": 300, \"name\": \"hardware\", \"parent\": 0}",
     "{\"id\": 300, \"name\": \"hardware\", \"parent\": 303}", "its parents form a cycle"},
    {"DuplicateSiblingName", "\"name\": \"ipv6\"", "\"name\": \"mtu\"", "node 205 ('mtu'): name used twice"},
    {"ReservedIdMisplaced", "{\"id\": 5, \"name\": \"sysAlert\"", "{\"id\": 5, \"name\": \"alerts\"",
     "id 5 is reserved for 'sysAlert'"},
    {"InstanceKeyOfWrongKind", "{\"node\": 11, \"keys\": [4711, 4712, 5120]}",
     "{\"node\": 11, \"keys\": [4711, \"4712\", 5120]}", "key [\"4712\"] must be an integer"},
    {"ValueForMissingInstance", "{\"node\": 207, \"keys\": [\"vnic0\", 1]", "{\"node\": 207, \"keys\": [\"vnic1\", 1]",
     "key [1] is no instance of node 206 ('queues') under [\"vnic1\"]"},
    {"WrongNumberOfKeys", "{\"node\": 205, \"keys\": [\"vnic0\"]", "{\"node\": 205, \"keys\": []",
     "needs 1 instance keys, not 0"},
    {"MisspeltField", "\"moduleBranch\": true", "\"modulBranch\": true", "unknown field 'modulBranch'"},
    {"OverlappingMembers", "\"type\": \"LinkState\", \"offset\": 8", "\"type\": \"LinkState\", \"offset\": 4",
     "members 'mac' and 'link' overlap"},
    {"BadDisplayFormat", "\"display\": \"0x%x\"", "\"display\": \"0x%x %u\"", "must hold exactly one conversion"},
    {"StoreSetWithoutValueType", "\"name\": \"ipv6\", \"parent\": 201, \"leaf\": true, \"get\": \"IPv6Address\"",
     "\"name\": \"ipv6\", \"parent\": 201, \"leaf\": true, \"set\": {}", "action store needs the node's 'get' type"},
    {"UnknownEnumName", "\"flags\": \"INODE_STICKY\"", "\"flags\": \"INODE_STICKIER\"",
     "'INODE_STICKIER' is no value of enum 'InodeFlags'"},
    {"NotJson", "\"types\": [", "\"types\": [[", "not valid JSON"},
};

INSTANTIATE_TEST_SUITE_P(Kno, KnoRefusedTree, testing::ValuesIn(kBadTrees),
                         [](const testing::TestParamInfo<BadTree>& info) { return info.param.label; });

} // namespace
