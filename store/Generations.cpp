// Numbered generations of the configuration-store backup, and the rollback
// that puts one in place as the backup the next boot restores.
#include "tarn/generations.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "store/durable_copy.h"
#include "store/sqlite_handle.h"
#include "store/unique_dir.h"
#include "tarn/exceptions.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_ramdisk.h"
#include "tarn/store_tables.h"

namespace TarnConfigStore {
namespace {

std::string Directory() { return TarnPlatform::HostPath(GENERATIONS_PATH); }

// The numbers of the finished generations: files named by digits only; a
// temporary ".<n>.tmp" of an interrupted copy is no generation.
std::vector<int> Numbers(const std::string& dir) {
    std::vector<int> numbers;
    UniqueDir d = OpenDir(dir);
    if (!d) return numbers;
    while (const dirent* entry = readdir(d.get())) {
        const std::string name = entry->d_name;
        if (name.empty() || name.size() > 9 || name[0] == '0' ||
            name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        numbers.push_back(std::atoi(name.c_str()));
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// Copies an interrupted run left behind.
void RemoveTemporaries(const std::string& dir) {
    UniqueDir d = OpenDir(dir);
    if (!d) return;
    while (const dirent* entry = readdir(d.get())) {
        const std::string name = entry->d_name;
        if (name.size() > 5 && name[0] == '.' && name.compare(name.size() - 4, 4, ".tmp") == 0)
            unlink((dir + "/" + name).c_str());
    }
}

std::string ReadBootFsUuid(const std::string& path) {
    Database db = OpenReadOnly(path);
    if (!db) return std::string();
    Statement stmt = Prepare(db.get(), "SELECT Value FROM KVTable WHERE Key = ?1");
    if (!stmt) return std::string();
    sqlite3_bind_text(stmt.get(), 1, BOOT_FS_UUID, -1, SQLITE_STATIC);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW) return std::string();
    const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
    return text ? reinterpret_cast<const char*>(text) : "";
}

} // namespace

int KeepGeneration(const std::string& backupFile, int keep) {
    const std::string dir = Directory();
    if (!TarnPlatform::MakeDirectories(dir))
        throw ConfigStoreException(("Cannot create the generation directory " + dir).c_str());
    RemoveTemporaries(dir);
    std::vector<int> numbers = Numbers(dir);
    int number = 0;
    if (keep > 0) {
        number = numbers.empty() ? 1 : numbers.back() + 1;
        const std::string name = std::to_string(number);
        const std::string reason = DurableCopy(backupFile, dir + "/." + name + ".tmp", dir + "/" + name);
        if (!reason.empty()) throw ConfigStoreException(("Cannot keep generation " + name + ": " + reason).c_str());
        numbers.push_back(number);
    }
    const std::size_t kept = static_cast<std::size_t>(std::max(keep, 0));
    if (numbers.size() > kept) {
        // Oldest first: a kill midway leaves the newest ones.
        for (std::size_t i = 0; i < numbers.size() - kept; ++i)
            unlink((dir + "/" + std::to_string(numbers[i])).c_str());
        SyncDirectory(dir);
    }
    return number;
}

std::vector<Generation> ListGenerations(std::vector<int>* damaged) {
    std::vector<Generation> out;
    const std::string dir = Directory();
    for (int number : Numbers(dir)) {
        Generation g;
        g.number = number;
        g.path = dir + "/" + std::to_string(number);
        struct stat st;
        if (::stat(g.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !DBStore::Check(g.path)) {
            if (damaged) damaged->push_back(number);
            continue;
        }
        g.time = st.st_mtime;
        g.bootFsUuid = ReadBootFsUuid(g.path);
        out.push_back(g);
    }
    return out;
}

void RollBackTo(const Generation& generation) {
    const std::string name = std::to_string(generation.number);
    if (!DBStore::Check(generation.path))
        throw ConfigStoreException(("Generation " + name + " fails the integrity check; not rolled back").c_str());
    const std::string dir = TarnPlatform::HostPath(BACKUP_RAMDISK_PATH);
    const std::string backup = dir + CONFIG_STORE_FILE;
    TarnPlatform::MakeDirectories(dir);
    // A backup killed during its copy leaves a journal that the restore would
    // roll back onto whatever file then holds the backup's name: it is rolled
    // back into the old backup now (the check does that), or removed.
    struct stat st;
    if (::stat(backup.c_str(), &st) == 0) DBStore::Check(backup);
    if (unlink((backup + "-journal").c_str()) != 0 && errno != ENOENT)
        throw ConfigStoreException(("Cannot remove " + backup + "-journal").c_str());
    const std::string reason = DurableCopy(generation.path, dir + "/.current-store-1.rollback.tmp", backup);
    if (!reason.empty()) throw ConfigStoreException(("Cannot roll back to generation " + name + ": " + reason).c_str());
}

} // namespace TarnConfigStore
