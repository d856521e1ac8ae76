// Tracking files and the sticky-bit filter over real files in the private
// host root: payloads unpacked by the in-memory file system stand-in, a live
// kernel-info tree, an image database and "files" schemas.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/file_persistence.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/kno/kno_tree.h"
#include "tarn/platform/schema_store.h"
#include "tarn/platform/tardisk.h"

namespace {

using TarnTest::Rooted;
using testing::ElementsAre;

struct TarEntry {
    std::string name;
    char type;  // '0' file, '5' directory, '2' symbolic link
    std::string data;
};

// A ustar archive of the entries (mode 01644: sticky).
std::string Ustar(const std::vector<TarEntry>& entries) {
    std::string out;
    for (const TarEntry& e : entries) {
        char h[512] = {};
        std::snprintf(h, 100, "%s", e.name.c_str());
        std::snprintf(h + 100, 8, "%07o", 01644);
        std::snprintf(h + 124, 12, "%011o", static_cast<unsigned>(e.data.size()));
        h[156] = e.type;
        std::memcpy(h + 257, "ustar\0" "00", 8);
        std::memset(h + 148, ' ', 8);
        unsigned sum = 0;
        for (unsigned char c : h) sum += c;
        std::snprintf(h + 148, 8, "%06o", sum);
        out.append(h, 512);
        out += e.data + std::string((512 - e.data.size() % 512) % 512, '\0');
    }
    return out + std::string(1024, '\0');
}

void Unpack(const std::string& tardisk, const std::vector<TarEntry>& entries) {
    TarnTest::WriteFile(Rooted("/payloads/" + tardisk + ".tar"), Ustar(entries));
    std::string error;
    ASSERT_TRUE(TarnPlatform::UnpackTardisk(Rooted("/payloads/" + tardisk + ".tar"), tardisk, &error)) << error;
}

void Declare(const std::string& group, const std::string& category, const std::string& path) {
    TarnSchemaStore::SetSchema("files-" + group, "c", group, "files",
                               R"({"component": "c", "group": ")" + group + R"(", "key": "files", "version": "1",)"
                               R"( "file": {"category": ")" + category + R"(", "path": ")" + path + R"("}})",
                               TarnSchemaStore::SchemaStore::GetStore(), false);
}

class FilePersistence : public testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        fs::create_directories(Rooted("/var/run/kno"));
        fs::create_directories(Rooted("/var/run/halden/files"));
        fs::copy_file(TARN_EXAMPLE_HOST "/var/run/kno/tree.json", Rooted("/var/run/kno/tree.json"));
        KNO_Reset();
        const std::string crate = "<crate><type>system</type><version>1</version><vendor>V</vendor><name>";
        TarnTest::WriteFile(Rooted("/var/db/tarnimg/profiles/p.xml"),
                            "<imageprofile><cratelist><crate><crate-id>V_system_net_1</crate-id><payloads><payload>net"
                            "</payload></payloads></crate><crate><crate-id>V_system_stor_1</crate-id><payloads>"
                            "<payload>stor</payload></payloads></crate></cratelist></imageprofile>");
        TarnTest::WriteFile(Rooted("/var/db/tarnimg/crates/net.xml"), crate + "net</name></crate>");
        TarnTest::WriteFile(Rooted("/var/db/tarnimg/crates/stor.xml"),
                            crate + "stor</name><software-tags><tag>RestrictStickyFiles</tag></software-tags></crate>");
    }
    TarnPlatform::Capture capture;
};

TEST_F(FilePersistence, EachOutcomeOfTheStickyFilterInOneRun) {
    Unpack("net", {{"etc/net/", '5', ""}, {"etc/net/routes", '0', "r"}, {"opt/vital/state", '0', "s"}});
    Unpack("stor", {{"./etc/stor/multipath", '0', "m"}});
    Declare("a", "config", "/etc/decl/vital.conf");
    Declare("b", "vital", "/etc/real/v.conf");
    Declare("c", "cached", "/opt/vital/other-sets");
    Declare("d", "config", "/opt/vital/other-sets");  // under /opt only the vital set counts
    Declare("e", "config", "/top.conf");
    TarnTest::WriteFile(Rooted("/etc/real/v.conf"), "v");
    TarnTest::WriteFile(Rooted("/top.conf"), "t");
    TarnTest::WriteFile(Rooted("/etc/op/notes"), "n");
    TarnTest::WriteFile(Rooted("/etc/op/.#notes"), "n");  // a backing file no tardisk record names
    std::filesystem::create_directory_symlink("/etc/real", Rooted("/etc/link"));
    std::filesystem::create_directory_symlink("/", Rooted("/etc/up"));  // resolves to the host root itself
    std::filesystem::create_directory_symlink("../../../../../../../..", Rooted("/etc/climb"));
    std::filesystem::create_symlink("loop", Rooted("/etc/loop"));
    std::filesystem::create_symlink("/etc/real/v.conf", Rooted("/etc/op/v-link"));
    // A backing file that is an absolute link: followed inside the root only.
    TarnTest::WriteFile(Rooted("/etc/alias/routes"), "r");
    std::filesystem::create_symlink("/etc/net/.#routes", Rooted("/etc/alias/.#routes"));
    capture.Clear();

    const auto result = TarnConfigStore::FilterStickyBitFilesWithReasons(
        {"/etc/decl/vital.conf", "/etc/link/v.conf", "/etc/up/etc/real/v.conf", "/etc/up/top.conf", "/etc/real/./v.conf",
         "/etc/climb/etc/real/v.conf", "/etc/op/v-link", "/etc/net/routes", "/etc/alias/routes", "/opt/vital/state", "/opt/vital/other-sets", "/etc/stor/multipath", "/etc/op/notes",
         "/etc/missing", "/etc/loop", "etc/net/routes", "/etc/net/a\nb", "/etc/net/\xff"});
    EXPECT_THAT(result.kept, ElementsAre("/etc/decl/vital.conf", "/etc/link/v.conf", "/etc/up/etc/real/v.conf", "/etc/up/top.conf",
                                         "/etc/climb/etc/real/v.conf", "/etc/op/v-link", "/etc/net/routes", "/etc/alias/routes",
                                         "/opt/vital/state"));
    const std::string mapped = " cannot be mapped to tardisk, hence it should not be persisted.";
    EXPECT_THAT(TarnTest::Texts(capture.Syslog(), 3),
                ElementsAre("File stat(/etc/real/./v.conf) failed with error 2",  // no link above: not resolved
                            "File /etc/real/./v.conf will not be persisted.",
                            "File stat(/opt/vital/other-sets) failed with error 2",
                            "File /opt/vital/other-sets will not be persisted.",
                            "File /etc/stor/multipath in tardisk stor does not belong to crate which allows "
                            "persistence of sticky bit files",
                            "File /etc/stor/multipath will not be persisted.", "File /etc/op/notes" + mapped,
                            "File /etc/op/notes will not be persisted.", "File stat(/etc/missing) failed with error 2",
                            "File /etc/missing will not be persisted.", "File stat(/etc/loop) failed with error 2",
                            "File /etc/loop will not be persisted.",
                            "File etc/net/routes is not an absolute path, hence it should not be persisted.",
                            "File etc/net/routes will not be persisted.",
                            "File /etc/net/a\\nb has a line break in its name, hence it should not be persisted.",
                            "File /etc/net/a\\nb will not be persisted.",
                            "File stat(/etc/net/\xff) failed with error 2",
                            "File /etc/net/\xff will not be persisted."));
    EXPECT_EQ(TarnTest::ReadFile(Rooted(TarnConfigStore::SKIP_BACKUP_LIST)),
              "/etc/real/./v.conf\n/opt/vital/other-sets\n/etc/stor/multipath\n/etc/op/notes\n/etc/missing\n/etc/loop\n"
              "etc/net/routes\n/etc/net/\xff\n");
}

TEST_F(FilePersistence, DeclarationsOutliveTheirSchemasAndNoRejectionLeavesTheSkipListAlone) {
    TarnTest::WriteFile(Rooted(TarnConfigStore::SKIP_BACKUP_LIST), "earlier\n");
    Declare("e", "cached", "/var/lib/kept-once");
    EXPECT_THAT(TarnConfigStore::FilterStickyBitFiles({"/var/lib/kept-once"}), ElementsAre("/var/lib/kept-once"));
    TarnSchemaStore::SchemaStore::GetStore()->RemoveSchemaFiles({"files-e"});
    EXPECT_THAT(TarnConfigStore::FilterStickyBitFiles({"/var/lib/kept-once"}), ElementsAre("/var/lib/kept-once"));
    EXPECT_EQ(TarnTest::ReadFile(Rooted(TarnConfigStore::SKIP_BACKUP_LIST)), "earlier\n");
    // Kernel-info definitions of another build are logged; the tardisk still decides.
    std::string tree = TarnTest::ReadFile(Rooted("/var/run/kno/tree.json"));
    tree.insert(tree.find("\"buildDate"), "\"md5\": \"" + std::string(32, '0') + "\", ");
    TarnTest::WriteFile(Rooted("/var/run/kno/tree.json"), tree);
    KNO_Reset();
    Unpack("net", {{"etc/net/", '5', ""}, {"etc/net/routes", '0', "r"}});
    EXPECT_THAT(TarnConfigStore::FilterStickyBitFiles({"/etc/net/routes"}), ElementsAre("/etc/net/routes"));
    EXPECT_THAT(TarnTest::Texts(capture.Syslog(), 3), testing::Contains("Failed to init kno"));

    std::filesystem::remove_all(Rooted("/var/db/tarnimg/profiles"));  // the image cannot be read
    capture.Clear();
    EXPECT_THAT(TarnTest::Thrown([] { TarnConfigStore::FilterStickyBitFiles({"/etc/missing"}); }),
                "exception Failed to get image profile path.");
    EXPECT_EQ(TarnTest::ReadFile(Rooted(TarnConfigStore::SKIP_BACKUP_LIST)), "earlier\n");
}

TEST_F(FilePersistence, TrackFilesWritesEitherListAndLeavesItAloneForNoPaths) {
    TarnConfigStore::TrackFiles({"/etc/a", "/etc/d\ne", "/etc/b c"}, TarnConfigStore::BACKUP_FILES);
    EXPECT_EQ(TarnTest::ReadFile(Rooted(TarnConfigStore::BACKUP_FILE_LIST)), "/etc/a\n/etc/b c\n");
    TarnConfigStore::TrackFiles({"/etc/x"}, TarnConfigStore::NON_SCHEMA_FILES);
    TarnConfigStore::TrackFiles({}, TarnConfigStore::NON_SCHEMA_FILES);
    TarnConfigStore::TrackFiles({"/etc/y"}, static_cast<TarnConfigStore::FileType>(2));
    std::filesystem::remove_all(Rooted("/var/run/halden"));
    TarnConfigStore::TrackFiles({"/etc/z"}, TarnConfigStore::BACKUP_FILES);
    EXPECT_EQ(TarnTest::ReadFile(Rooted("/var/run/nonSchemaFiles")), "/etc/x\n");
    EXPECT_FALSE(TarnTest::Exists(Rooted(TarnConfigStore::BACKUP_FILE_LIST)));
    EXPECT_THAT(TarnTest::Texts(capture.Logs(), 0),
                ElementsAre("Path with a line break not tracked.", "Invalid file type specified.",
                            "Failed to open file for tracking"));
}

TEST(Ustar, RefusesArchivesThatCouldLeaveTheRootOrAreBroken) {
    std::string good = Ustar({{"a/b", '0', "x"}});
    std::string badSum = good;
    badSum[0] = 'z';
    const std::string beyond = good.substr(0, 512);  // its one byte is missing
    std::vector<TarnPlatform::UstarEntry> entries;
    std::string error;
    ASSERT_TRUE(TarnPlatform::ParseUstar(good, &entries, &error));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].data, "x");
    for (const std::string& archive : {Ustar({{"/etc/passwd", '0', ""}}), Ustar({{"a/../../b", '0', ""}}),
                                       Ustar({{"l", '2', ""}}), badSum, beyond, good.substr(0, 300)})
        EXPECT_FALSE(TarnPlatform::ParseUstar(archive, &entries, &error)) << error;
}

} // namespace
