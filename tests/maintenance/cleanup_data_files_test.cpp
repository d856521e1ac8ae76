// The walk of the data-file root against the data-file metadata.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cleanup_fixture.h"
#include "support/private_mount_namespace.h"
#include "tarn/cleanup.h"

using namespace CleanupTest;
using TarnPlatform::CapturedLine;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::UnorderedElementsAreArray;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> MetadataRows() {
    return Query(DataFileDb(), "SELECT DirName, FileName FROM DataFileMetadata ORDER BY 1, 2;");
}

void AddRows(const std::string& values) { Query(DataFileDb(), "INSERT INTO DataFileMetadata VALUES" + values + ";"); }

std::string At(const std::string& relative) { return DataRoot() + "/" + relative; }

TEST(CleanupDataFiles, WalkKeepsWhatRowsNameAndDeletesRowsWithoutFiles) {
    CreateStores();
    AddRows("('c','k','known','a'),('c','k','known','b'),"   // a on disk, b only a link
            "('c','k','whole',''),('c','k','whole','listed')," // empty name keeps all
            "('c','k','emptied','x'),('c','k','emptied','y')," // files gone, directory left
            "('c','k','absent','z')");                          // no directory at all
    Touch(At("stray"));
    Touch(At("unknown/file"));
    Touch(At("whole/any1"));
    Touch(At("whole/sub/any2"));
    Touch(At("known/a"));
    Touch(At("known/c"));
    Touch(At("known/s/deep"));
    fs::create_directories(At("emptied"));
    // Links are removed as links: their targets outside the root stay.
    Touch(TarnTest::Rooted("/outside/dir/precious"));
    fs::create_directory_symlink(TarnTest::Rooted("/outside/dir"), At("known-link"));
    fs::create_symlink(TarnTest::Rooted("/outside/dir/precious"), At("known/b"));
    AddRows("('c','k','known-link','precious')");

    TarnPlatform::Capture capture;
    TarnConfigStore::CleanupDataFiles();

    EXPECT_TRUE(fs::exists(At("known/a")));
    EXPECT_TRUE(fs::exists(At("whole/any1")));
    EXPECT_TRUE(fs::exists(At("whole/sub/any2")));
    EXPECT_TRUE(fs::is_directory(At("emptied")));
    for (const char* gone : {"stray", "unknown", "known/c", "known/s", "known/b", "known-link"})
        EXPECT_FALSE(fs::exists(fs::symlink_status(At(gone)))) << gone;
    EXPECT_TRUE(fs::exists(TarnTest::Rooted("/outside/dir/precious")));
    EXPECT_THAT(MetadataRows(), ElementsAre("known|a", "whole|", "whole|listed"));

    std::vector<CapturedLine> logs = OwnLines(capture);
    ASSERT_GE(logs.size(), 2u);
    EXPECT_EQ(logs.front(), (CapturedLine{2, "DataFileMap:"}));
    EXPECT_EQ(logs.back(), (CapturedLine{2, "CleanupDataFiles completed"}));
    // The map and the root are walked in hash and directory order.
    EXPECT_THAT(std::vector<CapturedLine>(logs.begin() + 1, logs.end() - 1),
                UnorderedElementsAreArray(std::vector<CapturedLine>{
                    {3, "absent : 'z'"},
                    {3, "emptied : 'x','y'"},
                    {3, "known : 'a','b'"},
                    {3, "known-link : 'precious'"},
                    {3, "whole : '','listed'"},
                    {3, "Delete illegal file at datafiles root: stray"},
                    {3, "Delete illegal file at datafiles root: known-link"},
                    {2, "Datafile directory not in store, remove: " + At("unknown")},
                    {2, "DataDir found: " + At("whole")},
                    {2, "Datafile not in store, remove: " + At("known/c")},
                }));
    EXPECT_THAT(capture.Events(), IsEmpty());
}

TEST(CleanupDataFiles, RowsOfMissingFilesAreDeletedByQuotedNames) {
    CreateStores();
    AddRows("('c','k','o''brien','it''s'),('c','k','o''brien','gone''1'),('c','k','o''brien','gone2')");
    Touch(At("o'brien/it's"));

    TarnPlatform::Capture capture;
    TarnConfigStore::CleanupDataFiles();
    EXPECT_THAT(MetadataRows(), ElementsAre("o'brien|it's"));
    EXPECT_THAT(SqlTexts(capture),
                testing::Contains("DELETE FROM DataFileMetadata WHERE DirName='o''brien' AND FileName IN ('gone''1','gone2');"));
    EXPECT_EQ(OwnLines(capture).back(), (CapturedLine{2, "CleanupDataFiles completed"}));
}

TEST(CleanupDataFiles, DatabaseFailuresAreLoggedWithTheEvent) {
    const std::vector<std::string> oneEvent{"evt.user.cs.dfs.cleanup.error"};
    {
        TarnPlatform::Capture capture;
        TarnConfigStore::CleanupDataFiles();
        EXPECT_THAT(OwnLines(capture), ElementsAre(CapturedLine{0, "Datafile store cleanup failed: could not connect"}));
        EXPECT_EQ(Events(capture), oneEvent);
    }
    CreateStores();
    AddRows("('c','k','d1','f'),('c','k','d2','f')");
    Query(DataFileDb(), "CREATE TRIGGER NoDelete BEFORE DELETE ON DataFileMetadata BEGIN SELECT RAISE(ABORT, 'no'); END;");
    {
        // No root: clearing the table fails.
        TarnPlatform::Capture capture;
        TarnConfigStore::CleanupDataFiles();
        EXPECT_EQ(OwnLines(capture).back(), (CapturedLine{0, "CleanupDataFiles clear sql command failed"}));
        EXPECT_EQ(Events(capture), oneEvent);
    }
    {
        // Each directory's rows fail on their own; the cleanup goes on.
        fs::create_directories(DataRoot());
        TarnPlatform::Capture capture;
        TarnConfigStore::CleanupDataFiles();
        std::vector<std::string> texts = Texts(OwnLines(capture));
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "CleanupDataFiles failed to clearup metadata"), 2);
        EXPECT_EQ(texts.back(), "CleanupDataFiles completed");
        EXPECT_EQ(Events(capture), std::vector<std::string>(2, oneEvent[0]));
    }
    Query(DataFileDb(), "DROP TABLE DataFileMetadata;");
    {
        TarnPlatform::Capture capture;
        TarnConfigStore::CleanupDataFiles();
        EXPECT_THAT(OwnLines(capture), ElementsAre(CapturedLine{0, "CleanupDataFiles read sql command failed"}));
        EXPECT_EQ(Events(capture), oneEvent);
    }
}

TEST(CleanupDataFiles, RemovalFailureIsLoggedAndTheWalkGoesOn) {
    CreateStores();
    Touch(At("locked/file"));
    Touch(At("stray"));
    // A read-only bind mount over one directory, in a namespace of its own.
    auto run = TarnTest::RunInPrivateMountNamespace([] {
        const std::string locked = At("locked");
        if (mount(locked.c_str(), locked.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, locked.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return std::string("read-only bind mount failed: ") + std::strerror(errno);
        TarnPlatform::Capture capture;
        TarnConfigStore::CleanupDataFiles();
        std::string out;
        for (const auto& line : OwnLines(capture))
            if (line.priority == 0 || line.text == "CleanupDataFiles completed") out += line.text + "\n";
        out += fs::exists(At("stray")) ? "stray kept\n" : "stray removed\n";
        return out;
    });
    TARN_SKIP_WITHOUT_NAMESPACE(run);
    EXPECT_EQ(run.report, "Datafile cleanup failed to remove " + At("locked") + " \nCleanupDataFiles completed\nstray removed\n");
}

} // namespace
