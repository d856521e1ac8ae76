// Unpacking a payload of many entries: every file, its backing file and its
// one inode record in the live kernel-info tree; unpacking again replaces
// the records instead of adding more.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/kno/kno_tree.h"
#include "tarn/platform/tardisk.h"
#include "tarn/rapidjson.h"

namespace {

using TarnTest::Rooted;

// A ustar header block and the contents, padded.
std::string UstarEntry(const std::string& name, char type, const std::string& data) {
    char h[512] = {};
    std::snprintf(h, 100, "%s", name.c_str());
    std::snprintf(h + 100, 8, "%07o", 0644);
    std::snprintf(h + 124, 12, "%011o", static_cast<unsigned>(data.size()));
    h[156] = type;
    std::memcpy(h + 257, "ustar\0" "00", 8);
    std::memset(h + 148, ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : h) sum += c;
    std::snprintf(h + 148, 8, "%06o", sum);
    return std::string(h, 512) + data + std::string((512 - data.size() % 512) % 512, '\0');
}

// The inode's statistics record in the live tree, or "" when it has none.
std::string Record(uint64_t inode, uint32_t size) {
    std::unique_ptr<KNOParamList, void (*)(KNOParamList*)> keys(KNO_ParamListCreate(0, 1), KNO_ParamListDestroy);
    KNO_ParamListAddInt(keys.get(), inode);
    std::string record(size, '\0');
    return KNO_Get(KNO_NODE_system_lumenfs_inodes_stats, keys.get(), &record[0], size) == KES_OK ? record : "";
}

TEST(Tardisk, ManyEntriesRecordedOnceEachAndReplacedWhenUnpackedAgain) {
    std::filesystem::create_directories(Rooted("/var/run/kno"));
    std::filesystem::copy_file(TARN_EXAMPLE_HOST "/var/run/kno/tree.json", Rooted("/var/run/kno/tree.json"));
    KNO_Reset();
    KNONodeInfo* info = nullptr;
    ASSERT_EQ(KNO_NodeInfoLookup(KNO_NODE_system_lumenfs_inodes_stats, 0, &info), KES_OK);
    const uint32_t recordSize = info->getOutputSize;
    KNO_NodeInfoRelease(info);

    constexpr int kFiles = 3000, kDirs = 30;
    std::string archive;
    for (int d = 0; d < kDirs; ++d) archive += UstarEntry("p/d" + std::to_string(d) + "/", '5', "");
    for (int i = 0; i < kFiles; ++i)
        archive += UstarEntry("p/d" + std::to_string(i % kDirs) + "/f" + std::to_string(i), '0', std::to_string(i));
    TarnTest::WriteFile(Rooted("/payloads/p.tar"), archive + std::string(1024, '\0'));

    for (const std::string tardisk : {"first.tgz", "second.tgz"}) {
        SCOPED_TRACE(tardisk);
        std::string error;
        ASSERT_TRUE(TarnPlatform::UnpackTardisk(Rooted("/payloads/p.tar"), tardisk, &error)) << error;
        std::set<uint64_t> inodes;
        for (int i = 0; i < kFiles; ++i) {
            const std::string dir = Rooted("/p/d" + std::to_string(i % kDirs) + "/");
            const std::string name = "f" + std::to_string(i);
            struct stat file, backing;
            ASSERT_EQ(::stat((dir + name).c_str(), &file), 0) << name;
            ASSERT_EQ(::stat((dir + ".#" + name).c_str(), &backing), 0) << name;
            EXPECT_EQ(backing.st_ino, file.st_ino) << name;
            EXPECT_EQ(TarnTest::ReadFile(dir + name), std::to_string(i));
            inodes.insert(file.st_ino);
            const std::string record = Record(file.st_ino, recordSize);
            ASSERT_EQ(record.size(), recordSize) << name;
            uint64_t inode, size;
            std::memcpy(&inode, &record[0], 8);
            std::memcpy(&size, &record[8], 8);
            EXPECT_EQ(inode, file.st_ino) << name;
            EXPECT_EQ(size, std::to_string(i).size()) << name;
            EXPECT_STREQ(record.c_str() + 36, tardisk.c_str()) << name;
        }
        ASSERT_EQ(inodes.size(), size_t{kFiles});
        // Files rewritten in place keep their inodes: the records are replaced, none added.
        rapidjson::Document tree;
        tree.Parse(TarnTest::ReadFile(KNO_LiveTreePath()).c_str());
        size_t records = 0;
        for (const auto& v : tree["values"].GetArray()) records += v["node"].GetUint() == KNO_NODE_system_lumenfs_inodes_stats;
        EXPECT_EQ(records, size_t{kFiles});
    }
}

} // namespace
