// Reading and setting values: instance checks, the set forms and actions,
// persistence in the tree file across loads.
#include <cstdio>

#include "tests/platform/kno/kno_test_support.h"

namespace {

using namespace KnoTest;

uint32_t GetU32(uint32_t node, const KNOParamList* keys, KES_ReturnStatus expect = KES_OK) {
    uint32_t value = 0xdeadbeef;
    EXPECT_EQ(KNO_Get(node, keys, &value, sizeof value), expect);
    return value;
}

using KnoValues = SampleTree;

TEST_F(KnoValues, ReadsStoredDefaultAndZeroValuesOfExistingInstancesOnly) {
    EXPECT_EQ(GetU32(204, Keys({"vnic1"}).get()), 9000u);  // stored
    EXPECT_EQ(GetU32(204, Keys({"vnic0"}).get()), 1500u);  // default
    unsigned char stats[68];
    ASSERT_EQ(KNO_Get(KNO_NODE_system_lumenfs_inodes_stats, Ints({4712}).get(), stats, sizeof stats), KES_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(stats) + KNO_INODE_STATS_TARDISK_OFFSET, "vendor-tools.tgz");
    EXPECT_EQ(stats[32], 1);  // flags given as the enum name INODE_STICKY
    unsigned char queue[14];
    ASSERT_EQ(KNO_Get(207, Keys({"vnic1"}, {0}).get(), queue, sizeof queue), KES_OK);
    EXPECT_EQ(std::vector<unsigned char>(queue, queue + 14), std::vector<unsigned char>(14, 0));  // zeros
    uint32_t load[3];  // /hardware/cpus/load and /hardware/cpus/0/load are different values
    ASSERT_EQ(KNO_Get(302, nullptr, load, sizeof load), KES_OK);
    EXPECT_EQ(load[0], 21u);
    ASSERT_EQ(KNO_Get(302, Ints({0}).get(), load, sizeof load), KES_OK);
    EXPECT_EQ(load[0], 40u);

    const struct {
        uint32_t node;
        List keys;
        uint32_t size;
        KES_ReturnStatus status;
    } cases[] = {
        {12, Ints({999}), 68, KES_NO_INSTANCE},       {12, Keys({"4711"}), 68, KES_NO_INSTANCE},
        {12, nullptr, 68, KES_BAD_PARAM},             {204, Keys({"vnic7"}), 4, KES_NO_INSTANCE},
        {207, Keys({"vnic1"}, {1}), 14, KES_NO_INSTANCE},  {403, Keys({"ext4"}), 4, KES_NO_INSTANCE},  // no such module
        {302, Ints({4}), 12, KES_OK},  // keys in place of children: unchecked
        {KNO_NODE_system, nullptr, 4096, KES_NOT_READABLE}, {102, nullptr, 4096, KES_NOT_READABLE},
        {KNO_NODE_system_sysAlert, nullptr, 4096, KES_NOT_READABLE},
        {KNO_NODE_system_bootMAC, nullptr, 23, KES_BUFFER_TOO_SMALL}, {999999, nullptr, 4096, KES_NOT_FOUND},
    };
    char buffer[4096];
    for (const auto& c : cases) EXPECT_EQ(KNO_Get(c.node, c.keys.get(), buffer, c.size), c.status) << c.node;
    KNOParamList* instances = nullptr;
    EXPECT_EQ(KNO_GetInstanceListAlloc(204, Keys({"vnic0"}).get(), &instances), KES_BAD_PARAM);  // a leaf has none
    List held(instances);
}

TEST_F(KnoValues, SetsReportTheValueAfterPersistForTheNextLoadAndFailedSetsChangeNothing) {
    uint32_t out = 0;
    ASSERT_EQ(KNO_Set(204, Keys({"vnic0"}).get(), Ints({4000}).get(), &out, sizeof out), KES_OK);
    EXPECT_EQ(out, 4000u);
    const unsigned char bytes[] = {0x00, 0xff, '\n'};
    KNOData* input = KNOData_Create(3, bytes, 3);
    ASSERT_EQ(KNO_SetData(102, nullptr, input, nullptr), KES_OK);
    KNOData* echoed = KNOData_Create(3, nullptr, 0);
    ASSERT_EQ(KNO_SetData(103, nullptr, input, echoed), KES_OK);  // echoes, stores nothing
    EXPECT_EQ(echoed->length, 3u);
    KNOData_Destroy(echoed);
    KNOData_Destroy(input);
    static const unsigned char longer[4096] = {};  // a structure's input has its exact size
    EXPECT_EQ(KNO_SetStruct(101, nullptr, longer, sizeof longer, nullptr, 0), KES_BAD_PARAM);
    const struct {
        uint32_t node;
        List keys, params;
        uint32_t outSize;
        KES_ReturnStatus status;
    } refused[] = {
        {204, Keys({"vnic0"}), Ints({1ull << 32}), 4, KES_BAD_PARAM}, {204, Keys({"vnic0"}), nullptr, 4, KES_INCOMPLETE},
        {204, Keys({"vnic0"}), Ints({1, 2}), 0, KES_BAD_PARAM}, {204, Keys({"vnic0"}), Ints({1}), 2, KES_BUFFER_TOO_SMALL},
        {204, Keys({"vnic5"}), Ints({1}), 0, KES_NO_INSTANCE}, {100, nullptr, Keys({std::string(65, 'x')}), 0, KES_BAD_PARAM},
        {203, Keys({"vnic0"}), Ints({0}), 0, KES_BAD_PARAM},  // a reset takes no parameters
        {KNO_NODE_system_bootMAC, nullptr, Keys({"x"}), 0, KES_READ_ONLY},
        {101, nullptr, Ints({1}), 0, KES_READ_ONLY},  // takes a structure
        {KNO_NODE_system_sysAlert, nullptr, Keys({"a", "b"}), 0, KES_BAD_PARAM},
    };
    for (const auto& c : refused) EXPECT_EQ(KNO_Set(c.node, c.keys.get(), c.params.get(), &out, c.outSize), c.status) << c.node;

    std::string file = TarnTest::ReadFile(KNO_LiveTreePath());
    EXPECT_NE(file.find("{\"node\": 204, \"keys\": [\"vnic0\"], \"value\": 4000}"), std::string::npos);
    EXPECT_NE(file.find("{\"node\": 102, \"hex\": \"00ff0a\"}"), std::string::npos);  // not printable text
    EXPECT_EQ(std::string::npos, file.find(".tmp."));
    EXPECT_EQ(std::string::npos, file.find("{\"node\": 103"));
    KNO_Reset();  // a fresh load reads it back
    EXPECT_EQ(GetU32(204, Keys({"vnic0"}).get()), 4000u);
    uint32_t length = 0;
    ASSERT_EQ(KNO_GetDataLength(102, nullptr, &length), KES_OK);
    EXPECT_EQ(length, 3u);
    KNOData* small = KNOData_Create(2, nullptr, 0);
    EXPECT_EQ(KNO_GetData(102, nullptr, small), KES_BUFFER_TOO_SMALL);
    KNOData_Destroy(small);
}

TEST_F(KnoValues, AChangedFileIsReadAgainAndABrokenOrMissingOneFailsValueCalls) {
    EXPECT_EQ(GetU32(204, Keys({"vnic1"}).get()), 9000u);
    WriteLiveTree(Edited(SampleText(), "\"value\": 9000", "\"value\": \"nine thousand\""));
    GetU32(204, Keys({"vnic1"}).get(), KES_BAD_TREE);
    std::remove(KNO_LiveTreePath());
    EXPECT_EQ(KNO_Set(204, Keys({"vnic1"}).get(), Ints({1}).get(), nullptr, 0), KES_NO_TREE);
    WriteLiveTree(Edited(SampleText(), "\"value\": 9000", "\"value\": 9001"));
    EXPECT_EQ(GetU32(204, Keys({"vnic1"}).get()), 9001u);
    // Replaced whole by a file of the same size, as another process's set
    // replaces it: the file read before keeps its size and times.
    const std::string next = std::string(KNO_LiveTreePath()) + ".next";
    TarnTest::WriteFile(next, Edited(SampleText(), "\"value\": 9000", "\"value\": 9002"));
    ASSERT_EQ(std::rename(next.c_str(), KNO_LiveTreePath()), 0);
    EXPECT_EQ(GetU32(204, Keys({"vnic1"}).get()), 9002u);
}

} // namespace
