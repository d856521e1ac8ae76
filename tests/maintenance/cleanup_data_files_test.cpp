// The walk of the data-file root against the data-file metadata.
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
namespace fs = std::filesystem;

namespace {

std::string At(const std::string& relative) { return DataRoot() + "/" + relative; }

TEST(CleanupDataFiles, WalkKeepsWhatRowsNameAndDeletesRowsWithoutFiles) {
    CreateStores();
    Query(DataFileDb(), "INSERT INTO DataFileMetadata VALUES('c','k','known','a'),('c','k','known','b'),"  // b only a link
                        "('c','k','whole',''),('c','k','whole','listed'),"   // an empty name keeps all
                        "('c','k','emptied','x'),('c','k','emptied','y'),"   // files gone, directory left
                        "('c','k','absent','z'),('c','k','known-link','precious'),('c','k','full','f'),('c','k','all','f');");
    for (const char* file : {"stray", "unknown/file", "whole/any1", "whole/sub/any2", "known/a", "known/c", "known/s/deep",
                             "full/f", "all/f"})  // every file of full and all there: no row of theirs to delete
        Touch(At(file));
    fs::create_directories(At("emptied"));
    // Links are removed as links: their targets outside the root stay.
    Touch(TarnTest::Rooted("/outside/dir/precious"));
    fs::create_directory_symlink(TarnTest::Rooted("/outside/dir"), At("known-link"));
    fs::create_symlink(TarnTest::Rooted("/outside/dir/precious"), At("known/b"));

    TarnPlatform::Capture capture;
    TarnConfigStore::CleanupDataFiles();
    for (const char* kept : {"known/a", "whole/any1", "whole/sub/any2", "emptied"}) EXPECT_TRUE(fs::exists(At(kept))) << kept;
    for (const char* gone : {"stray", "unknown", "known/c", "known/s", "known/b", "known-link"})
        EXPECT_FALSE(fs::exists(fs::symlink_status(At(gone)))) << gone;
    EXPECT_TRUE(fs::exists(TarnTest::Rooted("/outside/dir/precious")));
    EXPECT_THAT(Query(DataFileDb(), "SELECT DirName, FileName FROM DataFileMetadata ORDER BY 1, 2;"),
                testing::ElementsAre("all|f", "full|f", "known|a", "whole|", "whole|listed"));
    const auto lines = OwnLines(capture);
    EXPECT_THAT(lines, testing::IsSupersetOf({CapturedLine{3, "emptied : 'x','y'"}, CapturedLine{3, "Delete illegal file at "
                       "datafiles root: stray"}, CapturedLine{2, "Datafile not in store, remove: " + At("known/c")}}));
    EXPECT_EQ(lines.back(), (CapturedLine{2, "CleanupDataFiles completed"}));
    EXPECT_THAT(capture.Events(), testing::IsEmpty());
}

TEST(CleanupDataFiles, DatabaseFailuresAreLoggedWithTheEvent) {
    auto run = [](const std::string& lastLine, size_t events) {
        TarnPlatform::Capture capture;
        TarnConfigStore::CleanupDataFiles();
        EXPECT_EQ(OwnLines(capture).back(), (CapturedLine{lastLine == "CleanupDataFiles completed" ? 2 : 0, lastLine}));
        EXPECT_EQ(Events(capture), std::vector<std::string>(events, "evt.user.cs.dfs.cleanup.error: Error cleaning up Datafile store."));
        return Texts(OwnLines(capture), 0);
    };
    run("Datafile store cleanup failed: could not connect", 1);
    CreateStores();
    Query(DataFileDb(), "INSERT INTO DataFileMetadata VALUES('c','k','d1','f'),('c','k','d2','f');"
                        "CREATE TRIGGER NoDelete BEFORE DELETE ON DataFileMetadata BEGIN SELECT RAISE(ABORT, 'no'); END;");
    Touch(DataRoot());  // a root that is no directory holds no data file: clearing the table fails
    run("CleanupDataFiles clear sql command failed", 1);
    fs::remove(DataRoot());
    fs::create_directories(DataRoot());
    // Each directory's rows fail on their own; the cleanup goes on.
    EXPECT_EQ(run("CleanupDataFiles completed", 2), std::vector<std::string>(2, "CleanupDataFiles failed to clearup metadata"));
    Query(DataFileDb(), "DROP TABLE DataFileMetadata;");
    EXPECT_EQ(run("CleanupDataFiles read sql command failed", 1).size(), 1u);
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
        for (const std::string& line : Texts(OwnLines(capture), 0)) out += line + "\n";
        return out + OwnLines(capture).back().text + (fs::exists(At("stray")) ? " stray kept" : " stray removed");
    });
    TARN_SKIP_WITHOUT_NAMESPACE(run);
    EXPECT_EQ(run.report, "Datafile cleanup failed to remove " + At("locked") + " \nCleanupDataFiles completed stray removed");
}

} // namespace
