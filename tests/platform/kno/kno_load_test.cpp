// Loading tree files: caches, and refusal of malformed, inconsistent or
// hostile files with a message naming the problem.
#include <sys/stat.h>
#include <unistd.h>

#include "tests/platform/kno/kno_test_support.h"

namespace {

using namespace KnoTest;

std::string LastError() { return KNO_LastError(); }

TEST_F(SampleTree, CacheReplacesTheLiveTreeTakesItsSetsAndAFailedLoadKeepsIt) {
    const std::string cache = TarnTest::Rooted("/tmp/snapshot.json"), bad = TarnTest::Rooted("/tmp/bad.json");
    TarnTest::WriteFile(cache, Edited(SampleText(), "\"value\": \"5f3c9a2e-77a1-4c1e-9d0b-1f6e2a4b8c3d\"", "\"value\": \"0000-1111\""));
    TarnTest::WriteFile(bad, "{\"nodes\": [");
    ASSERT_EQ(KNO_UseCache(cache.c_str(), -1), KES_OK);
    ASSERT_EQ(KNO_Set(204, Keys({"vnic1"}).get(), Ints({1600}).get(), nullptr, 0), KES_OK);
    EXPECT_NE(TarnTest::ReadFile(cache).find("\"value\": 1600"), std::string::npos);
    EXPECT_EQ(TarnTest::ReadFile(KNO_LiveTreePath()), SampleText());

    EXPECT_EQ(KNO_UseCache(TarnTest::Rooted("/tmp/none.json").c_str(), -1), KES_NO_TREE);
    EXPECT_EQ(KNO_UseCache(bad.c_str(), -1), KES_BAD_TREE);
    EXPECT_EQ(LastError().find(bad + ": not valid JSON"), 0u) << LastError();
    EXPECT_EQ(KNO_UseCache(nullptr, -1), KES_BAD_PARAM);
    char text[40] = {};
    ASSERT_EQ(KNO_Get(KNO_NODE_system_bootFsUUID, nullptr, text, sizeof text), KES_OK);
    EXPECT_STREQ(text, "0000-1111");
}

TEST_F(SampleTree, InconsistentTreesAreRefusedWithAMessageNamingTheProblem) {
    const struct {
        const char *from, *to, *message;  // message: part of KNO_LastError()
    } cases[] = {
        {"\"get\": \"NicStats\"", "\"get\": \"NicStatz\"", "node 203 ('stats'): unknown type 'NicStatz'"},
        {"\"name\": \"mtu\", \"parent\": 201", "\"name\": \"mtu\", \"parent\": 299", "node 204 ('mtu'): parent 299 does not exist"},
        {"{\"node\": 204, \"keys\": [\"vnic1\"], \"value\": 9000}", "{\"node\": 204, \"keys\": [\"vnic1\"], \"hex\": \"28230000ff\"}",
         "value of wrong size: 5 bytes, type 'uint32' has 4"},
        {"\"maxLoad\": 90", "\"maxLoad\": 65536", "65536 does not fit type 'uint16'"},
        {"{\"id\": 300, \"name\": \"hardware\", \"parent\": 0}", "{\"id\": 300, \"name\": \"hardware\", \"parent\": 303}",
         "its parents form a cycle"},
        {"{\"id\": 5, \"name\": \"sysAlert\"", "{\"id\": 5, \"name\": \"alerts\"", "id 5 is reserved for 'sysAlert'"},
        {"{\"node\": 207, \"keys\": [\"vnic0\", 1]", "{\"node\": 207, \"keys\": [\"vnic1\", 1]",
         "key [1] is no instance of node 206 ('queues') under [\"vnic1\"]"},
        {"\"type\": \"LinkState\", \"offset\": 8", "\"type\": \"LinkState\", \"offset\": 4", "members 'mac' and 'link' overlap"},
        {"\"flags\": \"INODE_STICKY\"", "\"flags\": \"INODE_STICKIER\"", "'INODE_STICKIER' is no value of enum 'InodeFlags'"},
        {"\"keys\": [4711, 4712, 5120]", "\"keys\": [4711, 4712, 4711]", "key [4711] listed twice"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        KNO_Reset();
        WriteLiveTree(Edited(SampleText(), c.from, c.to));
        EXPECT_FALSE(KesSyscall_Init(-1, 0, 0));
        EXPECT_NE(LastError().find(c.message), std::string::npos) << LastError();
        char text[40];
        EXPECT_EQ(KNO_Get(KNO_NODE_system_bootFsUUID, nullptr, text, sizeof text), KES_BAD_TREE);
        EXPECT_EQ(knoTypeDefsLookupTab, nullptr);
    }
}

// Only a regular file of bounded size is read, and types nest at most 64
// levels (values are coded by recursion over their type).
TEST(HostileTreeFiles, DevicesPipesHugeFilesAndDeepTypesAreRefused) {
    const std::string fifo = TarnTest::Rooted("/tree.fifo"), huge = TarnTest::Rooted("/huge.json");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    TarnTest::WriteFile(huge, "{}");
    ASSERT_EQ(truncate(huge.c_str(), (64 << 20) + 1), 0);  // sparse: costs no disk
    auto nested = [](unsigned levels) {
        std::string types = R"({"name": "t1", "kind": "base", "size": 1})";
        for (unsigned i = 2; i <= levels; ++i)
            types += ", {\"name\": \"t" + std::to_string(i) + "\", \"kind\": \"array\", \"element\": \"t" +
                     std::to_string(i - 1) + "\", \"count\": 1}";
        const std::string deep = TarnTest::Rooted("/types" + std::to_string(levels) + ".json");
        TarnTest::WriteFile(deep, R"({"types": [)" + types + R"(], "nodes": [{"id": 0, "name": "root"}]})");
        return deep;
    };
    const struct {
        std::string path, problem;
    } cases[] = {{"/dev/zero", "not a regular file"}, {fifo, "not a regular file"}, {huge, "larger than 64 MiB"},
                 {nested(64), ""}, {nested(65), "type 't65': nests deeper than 64 levels"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        KNO_Reset();
        EXPECT_EQ(KNO_UseCache(c.path.c_str(), -1), c.problem.empty() ? KES_OK : KES_BAD_TREE);
        if (!c.problem.empty()) { EXPECT_EQ(LastError(), c.path + ": " + c.problem); }
    }
}

} // namespace
