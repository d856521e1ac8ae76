// Restoring the configuration store and the data-file store from their
// backups: every outcome of the backup choice, the integrity check and the
// copy; the data-file store is never the reason for a new configuration store.
#include <filesystem>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "boot/restore_config_store.h"
#include "support/test_support.h"
#include "tarn/platform/db_store.h"
#include "tarn/store_tables.h"

using TarnConfigStore::RestoreConfigStore;
using TarnPlatform::CapturedLine;
using TarnTest::Events;
using TarnTest::Query;
using TarnTest::Rooted;
using Lines = std::vector<CapturedLine>;
using Texts = std::vector<std::string>;

namespace {

const char kLiveConfig[] = "/etc/halden/configstore/current-store-1";
const char kLiveDataFile[] = "/etc/halden/configstore/datafile-store";
const char kPrimary[] = "/var/lib/halden/configstore/backup/current-store-1";
const char kFirstBoot[] = "/var/lib/halden/configstore/firstbootBackup/current-store-1";
const char kDataFileBackup[] = "/var/lib/halden/configstore/backup/datafile-store";

enum class Backup { Missing, Good, Garbage, Truncated };

// A store database whose Config and DataFileMetadata tables name the marker
// and whose boot mode is 1. Large enough that cutting it in half loses pages.
void WriteStore(const std::string& path, const std::string& marker) {
    Query(path, std::string("PRAGMA journal_mode=DELETE;") + TarnConfigStore::CREATE_KVTABLE + TarnConfigStore::CREATE_CONFIG_TABLE +
                    ";" + TarnConfigStore::CREATE_DATAFILE_METADATA_TABLE + "INSERT INTO KVTable(Key, Value) VALUES('BOOT_MODE','1');"
                    "INSERT INTO Config(Component, ConfigGroup, Name) VALUES('" + marker + "','g','n');"
                    "INSERT INTO DataFileMetadata VALUES('" + marker + "','key','dir','file');"
                    "CREATE TABLE Filler(x TEXT);WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE "
                    "i<400) INSERT INTO Filler SELECT hex(randomblob(200)) FROM n;");
}

void WriteBackup(const char* fixedPath, Backup kind, const std::string& marker) {
    const std::string path = Rooted(fixedPath);
    if (kind == Backup::Garbage) TarnTest::WriteFile(path, "SQLite format 3 -- or so it claims");
    if (kind == Backup::Good || kind == Backup::Truncated) WriteStore(path, marker);
    if (kind == Backup::Truncated) std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
}

// The RAM disk of the live store, as the boot's mount leaves it.
void MakeLiveRamDisk() { std::filesystem::create_directories(Rooted("/etc/halden/configstore")); }

// The markers in the live stores (empty for a new store) and the boot mode.
Texts LiveConfigMarkers() { return Query(Rooted(kLiveConfig), "SELECT Component FROM Config;"); }
Texts LiveDataFileMarkers() { return Query(Rooted(kLiveDataFile), "SELECT Component FROM DataFileMetadata;"); }
Texts LiveBootMode() { return Query(Rooted(kLiveConfig), "SELECT Value FROM KVTable WHERE Key='BOOT_MODE';"); }
Texts Marker(const char* marker) { return *marker ? Texts{marker} : Texts{}; }

// The lines about one store ("ConfigStore" or "DataFileStore").
Lines StoreLines(const TarnPlatform::Capture& capture, const std::string& store = "ConfigStore") {
    Lines lines;
    for (const auto& line : capture.Logs())
        if (line.text.find(store) != std::string::npos) lines.push_back(line);
    return lines;
}

// The backup paths in place of "{P}", "{F}" and "{D}".
std::string Fill(std::string text) {
    for (const auto& [token, path] : {std::pair<std::string, std::string>{"{P}", Rooted(kPrimary)},
                                      {"{F}", Rooted(kFirstBoot)}, {"{D}", Rooted(kDataFileBackup)}})
        for (size_t at; (at = text.find(token)) != std::string::npos;) text.replace(at, token.size(), path);
    return text;
}

// The data-file store's backup beside each outcome of the configuration
// store's: its own outcome never changes the latter.
struct Outcome {
    const char* name;
    Backup primary, firstBoot, dataFiles;
    bool copyWorks;
    const char* line;
    const char* eventArg;  // "" for no event
    const char* restored;  // marker found in the live store, "" for a new store
    Lines dataFileLines;
};

const CapturedLine kDfsValid{2, "DataFileStore backup [{D}] is valid."};
const Outcome kOutcomes[] = {
    {"PrimaryRestored", Backup::Good, Backup::Good, Backup::Good, true, "ConfigStore restored successfully from backup", "",
     "primary", {kDfsValid, {2, "DataFileStore restored successfully from backup"}}},
    {"PrimaryCopyFails", Backup::Good, Backup::Good, Backup::Good, false,
     "Cannot copy ConfigStore from backup [{P}], creating new ConfigStore.", "{P}", "",
     {kDfsValid, {0, "Cannot copy DataFileStore from backup [{D}], will create new DataFileStore."}}},
    {"PrimaryGarbageNotFallingBack", Backup::Garbage, Backup::Good, Backup::Garbage, true,
     "ConfigStore backup [{P}] is inconsistent, creating new ConfigStore.", "{P}", "",
     {{0, "DataFileStore backup [{D}] is inconsistent, will create new DataFileStore."}}},
    {"FirstBootRestored", Backup::Missing, Backup::Good, Backup::Missing, true, "ConfigStore restored successfully from backup",
     "", "firstboot", {{2, "DataFileStore backup not found {D}"}}},
    {"FirstBootTruncated", Backup::Missing, Backup::Truncated, Backup::Truncated, true,
     "ConfigStore backup [{F}] is inconsistent, creating new ConfigStore.", "{F}", "",
     {{0, "DataFileStore backup [{D}] is inconsistent, will create new DataFileStore."}}},
    {"NoBackup", Backup::Missing, Backup::Missing, Backup::Missing, true, "ConfigStore backup not found {P}, {F}", "", "",
     {{2, "DataFileStore backup not found {D}"}}},
};

class RestoreOutcome : public testing::TestWithParam<Outcome> {};

TEST_P(RestoreOutcome, LinesEventsNewStoreAndBootMode) {
    const Outcome& row = GetParam();
    WriteBackup(kPrimary, row.primary, "primary");
    WriteBackup(kFirstBoot, row.firstBoot, "firstboot");
    WriteBackup(kDataFileBackup, row.dataFiles, "datafiles");
    if (row.copyWorks) MakeLiveRamDisk();  // without it there is nowhere to copy to

    TarnPlatform::Capture capture;
    const bool newStore = !*row.restored;
    EXPECT_EQ(RestoreConfigStore(true), newStore ? 1 : 0);
    EXPECT_EQ(StoreLines(capture), (Lines{{*row.eventArg ? 0 : 2, Fill(row.line)}}));
    Lines dataFileLines = row.dataFileLines;
    for (CapturedLine& line : dataFileLines) line.text = Fill(line.text);
    EXPECT_EQ(StoreLines(capture, "DataFileStore"), dataFileLines);
    Texts events;
    const std::string backup = Fill(row.eventArg);
    if (*row.eventArg)
        events.push_back("evt.user.cs.createstore.copy.backup.error " + backup + ": Error copying ConfigStore from backup " + backup + ".");
    if (dataFileLines.back().priority == 0) events.push_back("evt.user.cs.dfs.restore.error: DataFile store cannot be restored.");
    EXPECT_EQ(Events(capture), events);
    // A damaged backup is never what the live store holds: it is a new,
    // consistent store then.
    EXPECT_TRUE(DBStore::Check(Rooted(kLiveConfig)));
    EXPECT_EQ(LiveConfigMarkers(), Marker(row.restored));
    EXPECT_EQ(LiveBootMode(), Texts{newStore ? "2" : "1"});
    EXPECT_EQ(LiveDataFileMarkers(), Marker(dataFileLines.back().priority == 2 && dataFileLines.size() == 2 ? "datafiles" : ""));
}

INSTANTIATE_TEST_SUITE_P(Table, RestoreOutcome, testing::ValuesIn(kOutcomes),
                         [](const testing::TestParamInfo<Outcome>& info) { return std::string(info.param.name); });

TEST(RestoreConfigStore, UnremovableLiveStoreAndFailedCreationAreReported) {
    // A directory where the live store belongs: rm -f cannot remove it, cp
    // copies into it, and the store database cannot be created there.
    std::filesystem::create_directories(Rooted(kLiveConfig) + "/occupied");
    WriteBackup(kPrimary, Backup::Good, "primary");
    TarnPlatform::Capture capture;
    EXPECT_EQ(RestoreConfigStore(true), 0);
    EXPECT_EQ(StoreLines(capture), (Lines{{0, "Error removing sticky ConfigStore file"},
                                          {2, "ConfigStore restored successfully from backup"}}));
    EXPECT_EQ(Events(capture), Texts{"evt.user.cs.db.operation.error: ConfigStore database operation failed."});

    // The live RAM disk is a plain file: no store can be made, and recording
    // boot mode 2 is what fails.
    TarnTest::ResetRoot();
    TarnTest::WriteFile(Rooted("/etc/halden/configstore"), "not a directory");
    EXPECT_EQ(TarnTest::Thrown([] { RestoreConfigStore(true); }), "ConfigStoreException 2000 Failed to connect to database");
}

// A child that overwrites every filler row (spilling the changed pages into
// the file through a one-page cache) and dies before its commit.
void KillWriterMidTransaction(const std::string& path) {
    const pid_t pid = fork();
    if (pid == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "PRAGMA cache_size=1; BEGIN; UPDATE Filler SET x = 'lost'; DELETE FROM Config;", nullptr, nullptr, nullptr);
        _exit(0);
    }
    ASSERT_TRUE(pid > 0 && waitpid(pid, nullptr, 0) == pid);
}

// A hot journal beside the backup is rolled back, not taken for damage; the
// live store's never reaches the restored copy.
TEST(RestoreHotJournal, BackupRecoveredWholeLiveJournalDropped) {
    const std::string backup = Rooted(kPrimary), live = Rooted(kLiveConfig);
    WriteStore(backup, "primary");
    KillWriterMidTransaction(backup);
    MakeLiveRamDisk();
    WriteStore(live, "stale");
    KillWriterMidTransaction(live);
    ASSERT_TRUE(TarnTest::Exists(backup + "-journal") && TarnTest::Exists(live + "-journal"));

    EXPECT_EQ(RestoreConfigStore(true), 0);
    EXPECT_FALSE(TarnTest::Exists(live + "-journal"));
    EXPECT_EQ(LiveConfigMarkers(), Texts{"primary"});
    EXPECT_EQ(Query(live, "SELECT count(*) FROM Filler WHERE x <> 'lost';"), Texts{"400"});
    EXPECT_EQ(Query(live, "PRAGMA integrity_check;"), Texts{"ok"});
}

} // namespace
