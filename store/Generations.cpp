// Numbered generations of the configuration-store backup, and the rollback
// that puts one in place as the backup the next boot restores.
#include "tarn/generations.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <cstring>
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
#include "tarn/utilities.h"

namespace TarnConfigStore {
namespace {

std::string Directory() { return TarnPlatform::HostPath(GENERATIONS_PATH); }

[[noreturn]] void Fail(const std::string& message) { throw ConfigStoreException(message.c_str()); }

// The numbers of the finished generations: files named by digits only.
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

// A run's temporary copy: hidden, and named after the run's process, so two
// runs at once never take or remove each other's.
std::string TemporaryName(const char* what) { return std::string(".") + what + "." + std::to_string(getpid()) + ".tmp"; }

// The process a temporary (".<what>.<pid>.tmp" or its journal) belongs to; 0
// for a hidden name of another shape.
pid_t OwnerOf(const std::string& name) {
    const std::string::size_type first = name.find('.', 1), second = name.find('.', first + 1);
    if (first == std::string::npos || second == std::string::npos) return 0;
    const std::string pid = name.substr(first + 1, second - first - 1);
    if (pid.empty() || pid.size() > 9 || pid.find_first_not_of("0123456789") != std::string::npos) return 0;
    return static_cast<pid_t>(std::atoi(pid.c_str()));
}

// What interrupted runs left: hidden files are never generations; those of
// a run still going are its own.
void RemoveTemporaries(const std::string& dir) {
    UniqueDir d = OpenDir(dir);
    if (!d) return;
    while (const dirent* entry = readdir(d.get())) {
        const std::string name = entry->d_name;
        if (name[0] != '.' || name == "." || name == "..") continue;
        const pid_t owner = OwnerOf(name);
        if (owner > 0 && owner != getpid() && (kill(owner, 0) == 0 || errno == EPERM)) continue;
        unlink((dir + "/" + name).c_str());
    }
}

// The numbers removed, oldest first.
std::vector<int> Prune(const std::string& dir, const std::vector<int>& numbers, int keep) {
    const std::size_t kept = static_cast<std::size_t>(std::max(keep, 0));
    if (numbers.size() <= kept) return {};
    // Oldest first: a kill midway leaves the newest ones.
    std::vector<int> removed;
    for (std::size_t i = 0; i < numbers.size() - kept; ++i)
        if (unlink((dir + "/" + std::to_string(numbers[i])).c_str()) == 0) removed.push_back(numbers[i]);
    SyncDirectory(dir);
    return removed;
}

std::string ReadKey(sqlite3* db, const char* key) {
    Statement stmt = Prepare(db, "SELECT Value FROM KVTable WHERE Key = ?1");
    if (!stmt) return std::string();
    sqlite3_bind_text(stmt.get(), 1, key, -1, SQLITE_STATIC);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW) return std::string();
    const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
    return text ? reinterpret_cast<const char*>(text) : "";
}

// The boot file system it recorded, and whether a boot from it applies a
// stored desired configuration: a boot mode other than 0 or desired rows.
void ReadRecords(Generation& g) {
    Database db = OpenReadOnly(g.path);
    if (!db) return;
    g.bootFsUuid = ReadKey(db.get(), BOOT_FS_UUID);
    const std::string mode = ReadKey(db.get(), KEY_BOOT_MODE);
    Statement rows = Prepare(db.get(), "SELECT EXISTS (SELECT 1 FROM DesiredUserConfig);");
    const bool desiredRows = rows && sqlite3_step(rows.get()) == SQLITE_ROW && sqlite3_column_int(rows.get(), 0) > 0;
    g.pendingDesired = (!mode.empty() && mode != "0") || desiredRows;
}

// Makes the file the configuration-store backup by one rename, so the backup
// is at every moment the old one or the new one. A backup written in place
// and killed during its copy leaves a journal that the restore would roll
// back onto whatever file then holds the backup's name: it is rolled back
// into the old backup first (the integrity check does that), or removed.
void InstallAsBackup(const std::string& file) {
    // Resolved whole: a backup file that is a link is followed inside the root only.
    const std::string backup = TarnPlatform::HostPath(std::string(BACKUP_RAMDISK_PATH) + CONFIG_STORE_FILE);
    const std::string dir = backup.substr(0, backup.rfind('/'));
    const std::string temporary = dir + "/" + TemporaryName("current-store-1");
    const std::string journal = backup + "-journal";
    if (FileExists(journal.c_str())) {
        if (FileExists(backup.c_str())) DBStore::Check(backup);
        if (unlink(journal.c_str()) != 0 && errno != ENOENT)
            Fail("Cannot remove " + journal + ": " + std::strerror(errno));
    }
    unlink(temporary.c_str());
    if (link(file.c_str(), temporary.c_str()) != 0) {
        // Another file system: the generation is copied instead.
        const std::string reason = DurableCopy(file, temporary, backup);
        if (!reason.empty()) Fail("Cannot put " + file + " in place as the backup: " + reason);
        return;
    }
    if (std::rename(temporary.c_str(), backup.c_str()) != 0 || !SyncDirectory(dir)) {
        const std::string reason = std::strerror(errno);
        unlink(temporary.c_str());
        Fail("Cannot put " + file + " in place as the backup " + backup + ": " + reason);
    }
}

} // namespace

std::string BackupSourceProblem(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return "does not exist";
    if (!S_ISREG(st.st_mode)) return "is not a regular file";
    if (!DBStore::Check(path)) return "fails the integrity check";
    Database db = OpenReadOnly(path);
    Statement tables = db ? Prepare(db.get(), "SELECT count(*) FROM sqlite_master WHERE type = 'table';") : Statement();
    if (!tables || sqlite3_step(tables.get()) != SQLITE_ROW || sqlite3_column_int(tables.get(), 0) == 0)
        return "holds no tables";
    return std::string();
}

int BackupWithGeneration(const std::string& live, int keep, int* number, std::vector<int>* removed) {
    if (const std::string problem = BackupSourceProblem(live); !problem.empty())
        Fail(live + " " + problem + "; nothing was backed up and every generation is kept");
    const std::string dir = Directory();
    if (!TarnPlatform::MakeDirectories(dir)) Fail("Cannot create the generation directory " + dir);
    RemoveTemporaries(dir);
    const std::string temporary = dir + "/" + TemporaryName("generation");
    const int rc = backup(live, temporary);
    if (rc != 0) {
        unlink(temporary.c_str());
        unlink((temporary + "-journal").c_str());
        return rc;
    }
    if (!SyncFile(temporary)) Fail("Cannot sync " + temporary + ": " + std::strerror(errno));
    // The next free number; link, unlike rename, never replaces, so a run at
    // the same time that took the number first keeps its generation and this
    // one takes the number after.
    std::vector<int> numbers;
    int next = 0;
    for (;;) {
        numbers = Numbers(dir);
        next = numbers.empty() ? 1 : numbers.back() + 1;
        if (link(temporary.c_str(), (dir + "/" + std::to_string(next)).c_str()) == 0) break;
        if (errno != EEXIST) {
            const std::string reason = std::strerror(errno);
            unlink(temporary.c_str());
            Fail("Cannot keep generation " + std::to_string(next) + " in " + dir + ": " + reason);
        }
    }
    unlink(temporary.c_str());
    SyncDirectory(dir);
    const std::string path = dir + "/" + std::to_string(next);
    InstallAsBackup(path);
    numbers.push_back(next);
    const std::vector<int> pruned = Prune(dir, numbers, std::max(keep, 1));
    if (removed) *removed = pruned;
    *number = next;
    return 0;
}

void PruneGenerations(int keep) {
    const std::string dir = Directory();
    Prune(dir, Numbers(dir), keep);
}

void DetachFromGenerations(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || st.st_nlink < 2) return;
    const std::string reason = DurableCopy(path, path + ".detach.tmp", path);
    if (!reason.empty()) Fail("Cannot give " + path + " a copy of its own: " + reason);
}

std::vector<Generation> ListGenerations(std::vector<int>* damaged, bool check) {
    std::vector<Generation> out;
    const std::string dir = Directory();
    struct stat backup;
    const bool haveBackup =
        ::stat(TarnPlatform::HostPath(std::string(BACKUP_RAMDISK_PATH) + CONFIG_STORE_FILE).c_str(), &backup) == 0;
    for (int number : Numbers(dir)) {
        Generation g;
        g.number = number;
        g.path = dir + "/" + std::to_string(number);
        struct stat st;
        if (::stat(g.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (check && !DBStore::Check(g.path))) {
            if (damaged) damaged->push_back(number);
            continue;
        }
        g.time = st.st_mtime;
        g.restoredNext = haveBackup && st.st_dev == backup.st_dev && st.st_ino == backup.st_ino;
        ReadRecords(g);
        out.push_back(g);
    }
    return out;
}

const Generation* UndoTarget(const std::vector<Generation>& generations) {
    auto next = std::find_if(generations.rbegin(), generations.rend(), [](const Generation& g) { return g.restoredNext; });
    // Without a marked one the backup is a copy of its own: anything kept is older.
    auto from = next == generations.rend() ? generations.rbegin() : next + 1;
    auto settled = std::find_if(from, generations.rend(), [](const Generation& g) { return !g.pendingDesired; });
    return settled == generations.rend() ? nullptr : &*settled;
}

bool RollBackTo(const Generation& generation) {
    if (!DBStore::Check(generation.path)) return false;
    TarnPlatform::MakeDirectories(TarnPlatform::HostPath(BACKUP_RAMDISK_PATH));
    InstallAsBackup(generation.path);
    return true;
}

} // namespace TarnConfigStore
