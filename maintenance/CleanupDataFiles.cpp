#include "tarn/cleanup.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "maintenance/data_file_root.h"
#include "tarn/db_connection.h"
#include "tarn/events.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/dump_evt.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/host_utils.h"

namespace fs = std::filesystem;

namespace TarnConfigStore {
namespace {

constexpr int kFailed = 1;

// Directory name to the file names the metadata rows give for it. An empty
// file name keeps the whole directory.
typedef std::unordered_map<std::string, std::set<std::string>> DataFileMap;

void ReportFailure(const char* line) {
    CSLogger::Log(0, "%s", line);
    DumpEvt(EVT_DFS_CLEANUP_ERROR, 0);
}

int AddMetadataRow(void* context, int columns, char** values, char** names) {
    const char* dir = nullptr;
    const char* file = nullptr;
    for (int i = 0; i < columns; ++i) {
        if (std::strcmp(names[i], "DirName") == 0) dir = values[i];
        if (std::strcmp(names[i], "FileName") == 0) file = values[i];
    }
    if (dir && file) (*static_cast<DataFileMap*>(context))[dir].insert(file);
    return 0;
}

// 'a','b': each name an SQL literal, in set order.
std::string QuotedList(const std::set<std::string>& files) {
    std::string list;
    for (const std::string& file : files) {
        if (!list.empty()) list += ",";
        list += TarnPlatform::SqlQuote(file);
    }
    return list;
}

// The text of a name inside an SQL literal whose quotes the statement holds.
std::string SqlLiteralText(const std::string& text) {
    std::string quoted = TarnPlatform::SqlQuote(text);
    return quoted.substr(1, quoted.size() - 2);
}

std::string DeleteRowsStatement(const std::string& dir, const std::set<std::string>& files) {
    const std::string dirText = SqlLiteralText(dir);
    const std::string list = QuotedList(files);
    std::unique_ptr<char, decltype(&std::free)> sql(
        Str_Asprintf(nullptr, "DELETE FROM DataFileMetadata WHERE DirName='%s' AND FileName IN (%s);", dirText.c_str(),
                     list.c_str()),
        &std::free);
    if (!sql) throw std::bad_alloc();
    return sql.get();
}

void LogMap(const DataFileMap& map) {
    CSLogger::Log(2, "DataFileMap:");
    for (const auto& entry : map)
        if (!entry.second.empty())
            CSLogger::Log(3, "%s : %s", entry.first.c_str(), QuotedList(entry.second).c_str());
}

// The entries are read before any is removed, so removals cannot disturb
// the listing. Errors reading the directory pass to the caller.
std::vector<fs::directory_entry> Entries(const fs::path& dir) {
    std::vector<fs::directory_entry> entries;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) entries.push_back(entry);
    return entries;
}

// Keeps the regular files the set names (and takes them out of the set);
// everything else goes. A symbolic link is not a regular file here: only the
// link is removed, never what it points to.
void CleanDataDirectory(const fs::path& dir, std::set<std::string>& files) {
    for (const fs::directory_entry& entry : Entries(dir)) {
        if (!fs::is_regular_file(entry.symlink_status())) {
            RemoveTree(entry.path());
            continue;
        }
        if (files.erase(entry.path().filename().string()) > 0) continue;
        CSLogger::Log(2, "Datafile not in store, remove: %s", entry.path().string().c_str());
        RemoveTree(entry.path());
    }
}

// Walks the root; the map is left with the rows whose file is not on disk.
void CleanDataFileRoot(const fs::path& root, DataFileMap& map) {
    for (const fs::directory_entry& entry : Entries(root)) {
        const std::string name = entry.path().filename().string();
        // A link is not followed: a link to a directory elsewhere is an
        // illegal entry of the root, and removing it leaves its target alone.
        if (!fs::is_directory(entry.symlink_status())) {
            CSLogger::Log(3, "Delete illegal file at datafiles root: %s", name.c_str());
            RemoveTree(entry.path());
            continue;
        }
        auto known = map.find(name);
        if (known == map.end()) {
            CSLogger::Log(2, "Datafile directory not in store, remove: %s", entry.path().string().c_str());
            RemoveTree(entry.path());
        } else if (known->second.count(std::string()) > 0) {
            CSLogger::Log(2, "DataDir found: %s", entry.path().string().c_str());
            map.erase(known);
        } else {
            CleanDataDirectory(entry.path(), known->second);
        }
    }
}

void DeleteRowsWithoutFiles(const std::shared_ptr<DBStore::StoreConnection>& conn, const DataFileMap& map) {
    for (const auto& entry : map) {
        if (entry.second.empty()) continue;
        if (DBStore::ExecuteV2(conn, DeleteRowsStatement(entry.first, entry.second), nullptr, nullptr, 3000) == kFailed)
            ReportFailure("CleanupDataFiles failed to clearup metadata");
    }
}

} // namespace

void CleanupDataFiles() {
    auto conn = GetDBConnection(DBStore::DATAFILE_STORE, false);
    if (!conn) {
        ReportFailure("Datafile store cleanup failed: could not connect");
        return;
    }
    DataFileMap map;
    if (DBStore::ExecuteV2(conn, "SELECT DirName, FileName FROM DataFileMetadata;", AddMetadataRow, &map, 3000) ==
        kFailed) {
        ReportFailure("CleanupDataFiles read sql command failed");
        return;
    }
    LogMap(map);

    const fs::path root = TarnPlatform::HostPath(DATAFILE_ROOT);
    if (!fs::is_directory(root)) {
        // No data file exists, so no row describes one.
        if (DBStore::ExecuteV2(conn, "DELETE FROM DataFileMetadata;", nullptr, nullptr, 3000) == kFailed)
            ReportFailure("CleanupDataFiles clear sql command failed");
        return;
    }
    CleanDataFileRoot(root, map);
    DeleteRowsWithoutFiles(conn, map);
    CSLogger::Log(2, "CleanupDataFiles completed");
}

} // namespace TarnConfigStore
