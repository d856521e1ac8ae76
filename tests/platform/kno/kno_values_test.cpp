// Reading and setting values: the set forms and actions, instance checks,
// persistence in the tree file across loads and processes, and concurrent
// writers.
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/platform/kno/kno_test_support.h"

namespace {

using namespace KnoTest;

uint32_t GetU32(uint32_t node, const KNOParamList* keys, KES_ReturnStatus expect = KES_OK) {
    uint32_t value = 0xdeadbeef;
    EXPECT_EQ(KNO_Get(node, keys, &value, sizeof value), expect);
    return value;
}

std::string GetText(uint32_t node, const KNOParamList* keys, uint32_t size) {
    std::vector<char> text(size + 1, 0);
    EXPECT_EQ(KNO_Get(node, keys, text.data(), size), KES_OK);
    return text.data();
}

class KnoValues : public SampleTree {};

TEST_F(KnoValues, ReadsStoredDefaultAndZeroValuesOfExistingInstances) {
    EXPECT_EQ(GetU32(204, Keys({"vnic1"}).get()), 9000u);  // stored
    EXPECT_EQ(GetU32(204, Keys({"vnic0"}).get()), 1500u);  // default
    unsigned char stats[68];
    ASSERT_EQ(KNO_Get(KNO_NODE_system_lumenfs_inodes_stats, Ints({4712}).get(), stats, sizeof stats), KES_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(stats) + KNO_INODE_STATS_TARDISK_OFFSET, "vendor-tools.tgz");
    EXPECT_EQ(stats[32], 1);  // flags given as the enum name INODE_STICKY
    unsigned char queue[14];
    ASSERT_EQ(KNO_Get(207, Keys({"vnic1"}, {0}).get(), queue, sizeof queue), KES_OK);
    EXPECT_EQ(std::vector<unsigned char>(queue, queue + 14), std::vector<unsigned char>(14, 0));  // zeros

    // /hardware/cpus/load and /hardware/cpus/0/load are different values.
    uint32_t load[3];
    ASSERT_EQ(KNO_Get(302, nullptr, load, sizeof load), KES_OK);
    EXPECT_EQ(load[0], 21u);
    ASSERT_EQ(KNO_Get(302, Ints({0}).get(), load, sizeof load), KES_OK);
    EXPECT_EQ(load[0], 40u);
}

TEST_F(KnoValues, KeysMustNameExistingInstancesOfTheRightKind) {
    unsigned char stats[68];
    EXPECT_EQ(KNO_Get(KNO_NODE_system_lumenfs_inodes_stats, Ints({999}).get(), stats, sizeof stats), KES_NO_INSTANCE);
    EXPECT_EQ(KNO_Get(KNO_NODE_system_lumenfs_inodes_stats, Keys({"4711"}).get(), stats, sizeof stats),
              KES_NO_INSTANCE);
    EXPECT_EQ(KNO_Get(KNO_NODE_system_lumenfs_inodes_stats, nullptr, stats, sizeof stats), KES_BAD_PARAM);
    GetU32(204, Keys({"vnic7"}).get(), KES_NO_INSTANCE);
    unsigned char queue[14];
    EXPECT_EQ(KNO_Get(207, Keys({"vnic1"}, {1}).get(), queue, sizeof queue), KES_NO_INSTANCE);
    uint32_t load[3];
    EXPECT_EQ(KNO_Get(302, Ints({4}).get(), load, sizeof load), KES_OK);  // keys in place of children: unchecked
}

TEST_F(KnoValues, ReadsRefuseBranchesDataNodesAndSmallBuffers) {
    char buffer[4096];
    EXPECT_EQ(KNO_Get(KNO_NODE_system, nullptr, buffer, sizeof buffer), KES_NOT_READABLE);
    EXPECT_EQ(KNO_Get(102, nullptr, buffer, sizeof buffer), KES_NOT_READABLE);
    EXPECT_EQ(KNO_Get(KNO_NODE_system_sysAlert, nullptr, buffer, sizeof buffer), KES_NOT_READABLE);
    EXPECT_EQ(KNO_Get(KNO_NODE_system_bootMAC, nullptr, buffer, 23), KES_BUFFER_TOO_SMALL);
    EXPECT_EQ(KNO_Get(999999, nullptr, buffer, sizeof buffer), KES_NOT_FOUND);
}

TEST_F(KnoValues, ParameterSetsStoreResetAndReportTheValueAfter) {
    auto nic = Keys({"vnic0"});
    uint32_t out = 0;
    ASSERT_EQ(KNO_Set(204, nic.get(), Ints({9216}).get(), &out, sizeof out), KES_OK);
    EXPECT_EQ(out, 9216u);
    EXPECT_EQ(GetU32(204, nic.get()), 9216u);
    EXPECT_EQ(KNO_Set(204, nic.get(), Ints({1ull << 32}).get(), &out, sizeof out), KES_BAD_PARAM);
    EXPECT_EQ(KNO_Set(204, nic.get(), nullptr, &out, sizeof out), KES_INCOMPLETE);
    EXPECT_EQ(KNO_Set(204, nic.get(), Ints({1, 2}).get(), nullptr, 0), KES_BAD_PARAM);
    EXPECT_EQ(KNO_Set(204, nic.get(), Ints({1}).get(), &out, 2), KES_BUFFER_TOO_SMALL);
    EXPECT_EQ(GetU32(204, nic.get()), 9216u);  // failed sets change nothing

    char name[64] = {};
    ASSERT_EQ(KNO_Set(100, nullptr, Keys({"host-01.lab"}).get(), name, sizeof name), KES_OK);
    EXPECT_STREQ(name, "host-01.lab");
    EXPECT_EQ(GetText(100, nullptr, 64), "host-01.lab");
    EXPECT_EQ(KNO_Set(100, nullptr, Keys({std::string(65, 'x')}).get(), nullptr, 0), KES_BAD_PARAM);

    // Reset: statistics back to zero, taking no parameters.
    EXPECT_EQ(KNO_Set(203, nic.get(), Ints({0}).get(), nullptr, 0), KES_BAD_PARAM);
    ASSERT_EQ(KNO_Set(203, nic.get(), nullptr, nullptr, 0), KES_OK);
    uint64_t stats[5];
    ASSERT_EQ(KNO_Get(203, nic.get(), stats, sizeof stats), KES_OK);
    EXPECT_EQ(stats[0], 0u);

    EXPECT_EQ(KNO_Set(KNO_NODE_system_bootMAC, nullptr, Keys({"x"}).get(), nullptr, 0), KES_READ_ONLY);
    EXPECT_EQ(KNO_Set(101, nullptr, Ints({1}).get(), nullptr, 0), KES_READ_ONLY);  // takes a structure
    EXPECT_EQ(KNO_Set(204, Keys({"vnic5"}).get(), Ints({1}).get(), nullptr, 0), KES_NO_INSTANCE);
}

TEST_F(KnoValues, SetsPersistInTheFileForTheNextLoad) {
    ASSERT_EQ(KNO_Set(204, Keys({"vnic0"}).get(), Ints({4000}).get(), nullptr, 0), KES_OK);
    const unsigned char bytes[] = {0x00, 0xff, '\n'};
    KNOData* input = KNOData_Create(3, bytes, 3);
    ASSERT_EQ(KNO_SetData(102, nullptr, input, nullptr), KES_OK);
    KNOData_Destroy(input);

    std::string file = TarnTest::ReadFile(KNO_LiveTreePath());
    EXPECT_NE(file.find("{\"node\": 204, \"keys\": [\"vnic0\"], \"value\": 4000}"), std::string::npos);
    EXPECT_NE(file.find("{\"node\": 102, \"hex\": \"00ff0a\"}"), std::string::npos);  // not printable text
    EXPECT_EQ(std::string::npos, file.find(".tmp."));

    KNO_Reset();  // a fresh load reads it back
    EXPECT_EQ(GetU32(204, Keys({"vnic0"}).get()), 4000u);
    uint32_t length = 0;
    ASSERT_EQ(KNO_GetDataLength(102, nullptr, &length), KES_OK);
    EXPECT_EQ(length, 3u);
}

TEST_F(KnoValues, SetsOnACacheGoToTheCacheFile) {
    std::string cache = TarnTest::Rooted("/tmp/cache.json");
    TarnTest::WriteFile(cache, SampleText());
    ASSERT_EQ(KNO_UseCache(cache.c_str(), -1), KES_OK);
    ASSERT_EQ(KNO_Set(204, Keys({"vnic1"}).get(), Ints({1600}).get(), nullptr, 0), KES_OK);
    EXPECT_NE(TarnTest::ReadFile(cache).find("\"value\": 1600"), std::string::npos);
    EXPECT_EQ(TarnTest::ReadFile(KNO_LiveTreePath()), SampleText());
}

TEST_F(KnoValues, AChangedFileThatIsBrokenOrGoneFailsValueCallsButNotLookups) {
    EXPECT_EQ(GetU32(204, Keys({"vnic1"}).get()), 9000u);
    WriteLiveTree(Edited(SampleText(), "\"value\": 9000", "\"value\": \"nine thousand\""));
    GetU32(204, Keys({"vnic1"}).get(), KES_BAD_TREE);
    EXPECT_NE(std::string(KNO_LastError()).find("type 'uint32' needs an integer"), std::string::npos);
    EXPECT_EQ(KNO_Set(204, Keys({"vnic1"}).get(), Ints({1}).get(), nullptr, 0), KES_BAD_TREE);
    KNONodeInfo* info = nullptr;
    ASSERT_EQ(KNO_NodeInfoLookup(204, 0, &info), KES_OK);  // the loaded definitions still answer
    KNO_NodeInfoRelease(info);

    std::remove(KNO_LiveTreePath());
    GetU32(204, Keys({"vnic1"}).get(), KES_NO_TREE);
    WriteLiveTree(SampleText());
    EXPECT_EQ(GetU32(204, Keys({"vnic1"}).get()), 9000u);
}

// Each child adds its own inode records, through sets and through the tree
// tool call; a lost update would drop some of them.
int AddInodesInChild(int child) {
    KNO_Reset();
    for (int i = 0; i < 15; ++i) {
        uint64_t inode = 100000 + child * 100 + i;
        unsigned char record[68] = {};
        std::memcpy(record, &inode, 8);
        std::snprintf(reinterpret_cast<char*>(record) + 36, 32, "child%d.tgz", child);
        auto keys = Ints({inode});
        if (KNOTree_PutValue(KNO_LiveTreePath(), KNO_NODE_system_lumenfs_inodes_stats, keys.get(), record,
                             sizeof record) != KES_OK) {
            return 1;
        }
        if (KNO_Set(204, Keys({"vnic0"}).get(), Ints({uint64_t(child * 1000 + i)}).get(), nullptr, 0) != KES_OK) {
            return 2;
        }
    }
    return 0;
}

TEST_F(KnoValues, ConcurrentWritersLoseNothingAndLeaveAWholeFile) {
    constexpr int kChildren = 4;
    std::vector<pid_t> pids;
    for (int c = 0; c < kChildren; ++c) {
        pid_t pid = fork();
        if (pid == 0) _exit(AddInodesInChild(c));
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    KNOParamList* list = nullptr;
    ASSERT_EQ(KNO_GetInstanceListAlloc(KNO_NODE_system_lumenfs_inodes, nullptr, &list), KES_OK);
    EXPECT_EQ(KNO_ParamListUsedCount(list), 3u + kChildren * 15);
    KNO_ParamListDestroy(list);
    unsigned char record[68];
    ASSERT_EQ(KNO_Get(KNO_NODE_system_lumenfs_inodes_stats, Ints({100314}).get(), record, sizeof record), KES_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(record) + 36, "child3.tgz");
    EXPECT_EQ(GetU32(204, Keys({"vnic0"}).get()) % 1000, 14u);  // some child's last set
}

} // namespace
