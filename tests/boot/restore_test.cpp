// Restoring the configuration store and the data-file store from their
// backups: every outcome of the backup choice, the integrity check and the
// copy; the data-file store is never the reason for a new configuration store.
#include <filesystem>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot/restore_config_store.h"
#include "support/test_support.h"
#include "tarn/exceptions.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/db_store.h"
#include "tarn/store_tables.h"

using TarnConfigStore::RestoreConfigStore;
using TarnPlatform::CapturedLine;
using TarnTest::Events;
using TarnTest::Query;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// Backups and live store files: good databases that carry a marker, and
// backups damaged the ways a crash or a bad disk leaves them.
const char kLiveConfig[] = "/etc/halden/configstore/current-store-1";
const char kLiveDataFile[] = "/etc/halden/configstore/datafile-store";
const char kPrimary[] = "/var/lib/halden/configstore/backup/current-store-1";
const char kFirstBoot[] = "/var/lib/halden/configstore/firstbootBackup/current-store-1";
const char kDataFileBackup[] = "/var/lib/halden/configstore/backup/datafile-store";

enum class Backup { Missing, Good, Garbage, Truncated };

// A configuration store whose Config table names the marker and whose boot
// mode is 1, or a data-file store whose metadata names it. Large enough that
// cutting it in half loses pages.
void WriteStore(const std::string& path, const std::string& marker, bool dataFileStore) {
    std::string sql = "PRAGMA journal_mode=DELETE;";
    if (dataFileStore) {
        sql += TarnConfigStore::CREATE_DATAFILE_METADATA_TABLE;
        sql += "INSERT INTO DataFileMetadata VALUES('" + marker + "','key','dir','file');";
    } else {
        sql += std::string(TarnConfigStore::CREATE_KVTABLE) + TarnConfigStore::CREATE_CONFIG_TABLE + ";";
        sql += "INSERT INTO KVTable(Key, Value) VALUES('BOOT_MODE','1');";
        sql += "INSERT INTO Config(Component, ConfigGroup, Name) VALUES('" + marker + "','g','n');";
    }
    sql += "CREATE TABLE Filler(x TEXT);WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<400) "
           "INSERT INTO Filler SELECT hex(randomblob(200)) FROM n;";
    Query(path, sql);
}

void WriteBackup(const char* fixedPath, Backup kind, const std::string& marker, bool dataFileStore = false) {
    const std::string path = TarnTest::Rooted(fixedPath);
    switch (kind) {
    case Backup::Missing: return;
    case Backup::Good: WriteStore(path, marker, dataFileStore); return;
    case Backup::Garbage: TarnTest::WriteFile(path, "SQLite format 3 -- or so it claims"); return;
    case Backup::Truncated:
        WriteStore(path, marker, dataFileStore);
        std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
        return;
    }
}

// The RAM disk of the live store, as the boot's mount leaves it.
void MakeLiveRamDisk() { std::filesystem::create_directories(TarnTest::Rooted("/etc/halden/configstore")); }

// The markers in the live configuration store (empty for a new store).
std::vector<std::string> LiveConfigMarkers() {
    return Query(TarnTest::Rooted(kLiveConfig), "SELECT Component FROM Config;");
}

std::vector<std::string> LiveDataFileMarkers() {
    return Query(TarnTest::Rooted(kLiveDataFile), "SELECT Component FROM DataFileMetadata;");
}

std::string LiveBootMode() {
    auto rows = Query(TarnTest::Rooted(kLiveConfig), "SELECT Value FROM KVTable WHERE Key='BOOT_MODE';");
    return rows.empty() ? "unset" : rows[0];
}

std::string Fill(std::string text) {
    for (const auto& [token, path] : {std::pair<std::string, std::string>{"{P}", TarnTest::Rooted(kPrimary)},
                                      {"{F}", TarnTest::Rooted(kFirstBoot)}}) {
        for (size_t at; (at = text.find(token)) != std::string::npos;) text.replace(at, token.size(), path);
    }
    return text;
}

// The lines about one store ("ConfigStore" or "DataFileStore").
std::vector<CapturedLine> Lines(const TarnPlatform::Capture& capture, const std::string& store = "ConfigStore") {
    std::vector<CapturedLine> lines;
    for (const auto& line : capture.Logs())
        if (line.text.find(store) != std::string::npos) lines.push_back(line);
    return lines;
}

struct Outcome {
    const char* name;
    Backup primary, firstBoot;
    bool copyWorks;
    CapturedLine line;    // {P} / {F} stand for the backup paths
    const char* event;    // "" for none
    int newStore;
    const char* restored; // marker found in the live store, "" for a new store
    const char* bootMode;
};

const char kCopyEvent[] = "evt.user.cs.createstore.copy.backup.error ";

const Outcome kOutcomes[] = {
    {"PrimaryRestored", Backup::Good, Backup::Good, true,
     {2, "ConfigStore restored successfully from backup"}, "", 0, "primary", "1"},
    {"PrimaryCopyFails", Backup::Good, Backup::Good, false,
     {0, "Cannot copy ConfigStore from backup [{P}], creating new ConfigStore."}, "{P}", 1, "", "2"},
    {"PrimaryGarbageNotFallingBack", Backup::Garbage, Backup::Good, true,
     {0, "ConfigStore backup [{P}] is inconsistent, creating new ConfigStore."}, "{P}", 1, "", "2"},
    {"PrimaryTruncated", Backup::Truncated, Backup::Missing, true,
     {0, "ConfigStore backup [{P}] is inconsistent, creating new ConfigStore."}, "{P}", 1, "", "2"},
    {"FirstBootRestored", Backup::Missing, Backup::Good, true,
     {2, "ConfigStore restored successfully from backup"}, "", 0, "firstboot", "1"},
    {"FirstBootCopyFails", Backup::Missing, Backup::Good, false,
     {0, "Cannot copy ConfigStore from backup [{F}], creating new ConfigStore."}, "{F}", 1, "", "2"},
    {"FirstBootTruncated", Backup::Missing, Backup::Truncated, true,
     {0, "ConfigStore backup [{F}] is inconsistent, creating new ConfigStore."}, "{F}", 1, "", "2"},
    {"NoBackup", Backup::Missing, Backup::Missing, true,
     {2, "ConfigStore backup not found {P}, {F}"}, "", 1, "", "2"},
};

class RestoreOutcome : public testing::TestWithParam<Outcome> {};

TEST_P(RestoreOutcome, LinesEventsNewStoreAndBootMode) {
    const Outcome& row = GetParam();
    WriteBackup(kPrimary, row.primary, "primary");
    WriteBackup(kFirstBoot, row.firstBoot, "firstboot");
    // Without the live RAM disk there is nowhere to copy to.
    if (row.copyWorks) MakeLiveRamDisk();

    TarnPlatform::Capture capture;
    EXPECT_EQ(RestoreConfigStore(true), row.newStore);

    EXPECT_THAT(Lines(capture), ElementsAre(CapturedLine{row.line.priority, Fill(row.line.text)}));
    std::vector<std::string> expectedEvents;
    if (*row.event) expectedEvents.push_back(kCopyEvent + Fill(row.event));
    EXPECT_EQ(Events(capture), expectedEvents);

    // A damaged backup is never what the live store holds: it is a new,
    // consistent store then.
    EXPECT_TRUE(DBStore::Check(TarnTest::Rooted(kLiveConfig)));
    std::vector<std::string> markers;
    if (*row.restored) markers.push_back(row.restored);
    EXPECT_EQ(LiveConfigMarkers(), markers);
    EXPECT_EQ(LiveBootMode(), row.bootMode);
}

INSTANTIATE_TEST_SUITE_P(Table, RestoreOutcome, testing::ValuesIn(kOutcomes),
                         [](const testing::TestParamInfo<Outcome>& info) { return std::string(info.param.name); });

TEST(RestoreConfigStore, WithoutRestoreNothingIsTouched) {
    TarnTest::WriteFile(TarnTest::Rooted(kLiveConfig), "stale");
    WriteBackup(kPrimary, Backup::Good, "primary");

    TarnPlatform::Capture capture;
    EXPECT_EQ(RestoreConfigStore(false), 0);
    EXPECT_EQ(TarnTest::ReadFile(TarnTest::Rooted(kLiveConfig)), "stale");
    EXPECT_FALSE(TarnTest::Exists(TarnTest::Rooted(kLiveDataFile)));  // nothing created
    EXPECT_THAT(capture.Logs(), IsEmpty());
    EXPECT_THAT(capture.Events(), IsEmpty());
}

TEST(RestoreConfigStore, UnremovableLiveStoreAndFailedCreationAreReported) {
    // A directory where the live store belongs: rm -f cannot remove it, cp
    // copies into it, and the store database cannot be created there.
    std::filesystem::create_directories(TarnTest::Rooted(kLiveConfig) + "/occupied");
    WriteBackup(kPrimary, Backup::Good, "primary");

    TarnPlatform::Capture capture;
    EXPECT_EQ(RestoreConfigStore(true), 0);
    EXPECT_THAT(Lines(capture),
                ElementsAre(CapturedLine{0, "Error removing sticky ConfigStore file"},
                            CapturedLine{2, "ConfigStore restored successfully from backup"}));
    EXPECT_EQ(Events(capture), std::vector<std::string>{"evt.user.cs.db.operation.error"});
}

TEST(RestoreConfigStore, NewStoreThatCannotBeCreatedFailsOnTheBootMode) {
    // The live RAM disk is a plain file: no store can be made, and recording
    // boot mode 2 is what fails.
    TarnTest::WriteFile(TarnTest::Rooted("/etc/halden/configstore"), "not a directory");
    TarnPlatform::Capture capture;
    EXPECT_EQ(TarnTest::Thrown([] { RestoreConfigStore(true); }), "ConfigStoreException 2000 Failed to connect to database");
    EXPECT_EQ(Events(capture), std::vector<std::string>{"evt.user.cs.db.operation.error"});
}

TEST(RestoreDataFileStore, OutcomesBesideAGoodConfigStore) {
    const std::string backup = TarnTest::Rooted(kDataFileBackup);
    const std::string valid = "DataFileStore backup [" + backup + "] is valid.";
    const CapturedLine inconsistent{0, "DataFileStore backup [" + backup + "] is inconsistent, will create new DataFileStore."};
    struct Case {
        Backup kind;
        bool ramDisk;
        std::vector<CapturedLine> lines;
        const char* marker;  // "" for a new, empty store
    } cases[] = {
        {Backup::Good, true, {{2, valid}, {2, "DataFileStore restored successfully from backup"}}, "datafiles"},
        {Backup::Garbage, true, {inconsistent}, ""},
        {Backup::Truncated, true, {inconsistent}, ""},
        {Backup::Missing, true, {{2, "DataFileStore backup not found " + backup}}, ""},
        {Backup::Good, false, {{2, valid}, {0, "Cannot copy DataFileStore from backup [" + backup + "], will create new DataFileStore."}}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.back().text);
        TarnTest::ResetRoot();
        if (c.ramDisk) MakeLiveRamDisk();
        WriteBackup(kPrimary, c.ramDisk ? Backup::Good : Backup::Missing, "primary");
        WriteBackup(kDataFileBackup, c.kind, "datafiles", true);
        TarnPlatform::Capture capture;
        EXPECT_EQ(RestoreConfigStore(true), c.ramDisk ? 0 : 1);
        EXPECT_EQ(Lines(capture, "DataFileStore"), c.lines);
        const bool failed = c.lines.back().priority == 0;
        EXPECT_EQ(Events(capture), failed ? std::vector<std::string>{"evt.user.cs.dfs.restore.error"} : std::vector<std::string>{});
        std::vector<std::string> markers;
        if (*c.marker) markers.push_back(c.marker);
        EXPECT_EQ(LiveDataFileMarkers(), markers);
        if (c.ramDisk) {
            EXPECT_TRUE(DBStore::Check(TarnTest::Rooted(kLiveDataFile)));
            EXPECT_EQ(LiveConfigMarkers(), std::vector<std::string>{"primary"});
            EXPECT_EQ(LiveBootMode(), "1");
        }
    }
}

// A backup, or a live store, left with a hot journal by a writer killed before
// its commit.
// A child that overwrites every filler row (spilling the changed pages into
// the file through a one-page cache) and dies before its commit.
void KillWriterMidTransaction(const std::string& path) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "PRAGMA cache_size=1; BEGIN; UPDATE Filler SET x = 'lost'; DELETE FROM Config;", nullptr,
                     nullptr, nullptr);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
}

// The backup's journal is rolled back, not taken for damage; the live
// store's never reaches the restored copy.
TEST(RestoreHotJournal, BackupRecoveredWholeLiveJournalDropped) {
    const std::string backup = TarnTest::Rooted(kPrimary), live = TarnTest::Rooted(kLiveConfig);
    WriteStore(backup, "primary", false);
    KillWriterMidTransaction(backup);
    MakeLiveRamDisk();
    WriteStore(live, "stale", false);
    KillWriterMidTransaction(live);
    ASSERT_TRUE(TarnTest::Exists(backup + "-journal") && TarnTest::Exists(live + "-journal"));

    EXPECT_EQ(RestoreConfigStore(true), 0);
    EXPECT_FALSE(TarnTest::Exists(live + "-journal"));
    EXPECT_EQ(LiveConfigMarkers(), std::vector<std::string>{"primary"});
    EXPECT_EQ(Query(live, "SELECT count(*) FROM Filler WHERE x <> 'lost';"), std::vector<std::string>{"400"});
    EXPECT_EQ(Query(live, "PRAGMA integrity_check;"), std::vector<std::string>{"ok"});
    EXPECT_EQ(LiveBootMode(), "1");
}

} // namespace
