// Restoring the data-file store: independent of the configuration store, and
// never the reason for a new configuration store.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot/restore_config_store.h"
#include "restore_fixture.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/db_store.h"

using namespace RestoreTest;
using TarnConfigStore::RestoreConfigStore;
using TarnPlatform::CapturedLine;
using testing::ElementsAre;

namespace {

std::vector<CapturedLine> DataFileLines(const TarnPlatform::Capture& capture) {
    std::vector<CapturedLine> lines;
    for (const auto& line : capture.Logs())
        if (line.text.find("DataFileStore") != std::string::npos) lines.push_back(line);
    return lines;
}

std::vector<std::string> EventIds(const TarnPlatform::Capture& capture) {
    std::vector<std::string> ids;
    for (const auto& event : capture.Events()) {
        EXPECT_TRUE(event.args.empty()) << event.id;
        ids.push_back(event.id);
    }
    return ids;
}

TEST(RestoreDataFileStore, GoodBackupIsRestoredBesideTheConfigStore) {
    MakeLiveRamDisk();
    WriteBackup(kPrimary, Backup::Good, "primary");
    WriteBackup(kDataFileBackup, Backup::Good, "datafiles", true);

    TarnPlatform::Capture capture;
    EXPECT_EQ(RestoreConfigStore(true), 0);
    const std::string backup = TarnTest::Rooted(kDataFileBackup);
    EXPECT_THAT(DataFileLines(capture), ElementsAre(CapturedLine{2, "DataFileStore backup [" + backup + "] is valid."},
                                                    CapturedLine{2, "DataFileStore restored successfully from backup"}));
    EXPECT_TRUE(capture.Events().empty());
    EXPECT_EQ(LiveDataFileMarkers(), std::vector<std::string>{"datafiles"});
}

TEST(RestoreDataFileStore, DamagedBackupsLeaveANewEmptyStoreAndTheConfigStoreAlone) {
    for (Backup kind : {Backup::Garbage, Backup::Truncated}) {
        TarnTest::ResetRoot();
        MakeLiveRamDisk();
        WriteBackup(kPrimary, Backup::Good, "primary");
        WriteBackup(kDataFileBackup, kind, "datafiles", true);

        TarnPlatform::Capture capture;
        EXPECT_EQ(RestoreConfigStore(true), 0);
        const std::string backup = TarnTest::Rooted(kDataFileBackup);
        EXPECT_THAT(DataFileLines(capture),
                    ElementsAre(CapturedLine{
                        0, "DataFileStore backup [" + backup + "] is inconsistent, will create new DataFileStore."}));
        EXPECT_EQ(EventIds(capture), std::vector<std::string>{"evt.user.cs.dfs.restore.error"});
        EXPECT_TRUE(DBStore::Check(TarnTest::Rooted(kLiveDataFile)));
        EXPECT_TRUE(LiveDataFileMarkers().empty());
        EXPECT_EQ(LiveConfigMarkers(), std::vector<std::string>{"primary"});
        EXPECT_EQ(LiveBootMode(), "1");
    }
}

TEST(RestoreDataFileStore, MissingBackupIsOnlyNoted) {
    MakeLiveRamDisk();
    WriteBackup(kPrimary, Backup::Good, "primary");
    TarnPlatform::Capture capture;
    EXPECT_EQ(RestoreConfigStore(true), 0);
    EXPECT_THAT(DataFileLines(capture),
                ElementsAre(CapturedLine{2, "DataFileStore backup not found " + TarnTest::Rooted(kDataFileBackup)}));
    EXPECT_TRUE(capture.Events().empty());
    EXPECT_TRUE(LiveDataFileMarkers().empty());  // created by the restore
}

TEST(RestoreDataFileStore, FailedCopyIsReported) {
    // No live RAM disk: the copy has nowhere to go.
    WriteBackup(kDataFileBackup, Backup::Good, "datafiles", true);
    TarnPlatform::Capture capture;
    EXPECT_EQ(RestoreConfigStore(true), 1);  // the configuration store had no backup
    const std::string backup = TarnTest::Rooted(kDataFileBackup);
    EXPECT_THAT(DataFileLines(capture),
                ElementsAre(CapturedLine{2, "DataFileStore backup [" + backup + "] is valid."},
                            CapturedLine{0, "Cannot copy DataFileStore from backup [" + backup +
                                                "], will create new DataFileStore."}));
    EXPECT_EQ(EventIds(capture), std::vector<std::string>{"evt.user.cs.dfs.restore.error"});
    EXPECT_TRUE(LiveDataFileMarkers().empty());
}

} // namespace
