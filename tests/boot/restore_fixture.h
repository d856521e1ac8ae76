// Backups and live store files for the restore tests: good databases that
// carry a marker, and backups damaged the ways a crash or a bad disk leaves
// them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/store_tables.h"

namespace RestoreTest {

inline const char kLiveConfig[] = "/etc/halden/configstore/current-store-1";
inline const char kLiveDataFile[] = "/etc/halden/configstore/datafile-store";
inline const char kPrimary[] = "/var/lib/halden/configstore/backup/current-store-1";
inline const char kFirstBoot[] = "/var/lib/halden/configstore/firstbootBackup/current-store-1";
inline const char kDataFileBackup[] = "/var/lib/halden/configstore/backup/datafile-store";

enum class Backup { Missing, Good, Garbage, Truncated };

using TarnTest::Query;

// A configuration store whose Config table names the marker and whose boot
// mode is 1, or a data-file store whose metadata names it. Large enough that
// cutting it in half loses pages.
inline void WriteStore(const std::string& path, const std::string& marker, bool dataFileStore) {
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

inline void WriteBackup(const char* fixedPath, Backup kind, const std::string& marker, bool dataFileStore = false) {
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
inline void MakeLiveRamDisk() { std::filesystem::create_directories(TarnTest::Rooted("/etc/halden/configstore")); }

// The markers in the live configuration store (empty for a new store).
inline std::vector<std::string> LiveConfigMarkers() {
    return Query(TarnTest::Rooted(kLiveConfig), "SELECT Component FROM Config;");
}

inline std::vector<std::string> LiveDataFileMarkers() {
    return Query(TarnTest::Rooted(kLiveDataFile), "SELECT Component FROM DataFileMetadata;");
}

inline std::string LiveBootMode() {
    auto rows = Query(TarnTest::Rooted(kLiveConfig), "SELECT Value FROM KVTable WHERE Key='BOOT_MODE';");
    return rows.empty() ? "unset" : rows[0];
}

} // namespace RestoreTest
