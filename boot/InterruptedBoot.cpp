#include "boot/interrupted_boot.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "store/durable_copy.h"
#include "store/sqlite_handle.h"
#include "store/unique_dir.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/unique_fd.h"
#include "tarn/store_ramdisk.h"
#include "tarn/store_tables.h"

namespace TarnConfigStore {
namespace {

constexpr char kSnapshotSuffix[] = ".before-boot";
constexpr char kSuperJournalInfix[] = "-mj";

[[noreturn]] void Fail(const std::string& message) { throw ConfigStoreException(message.c_str()); }

std::string Reason() { return std::strerror(errno); }

std::string DirectoryOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Opens the database and reads its header, which rolls back a hot journal
// (through the super-journal it names, when there is one).
void Recover(const std::string& path) {
    if (!Exists(path)) return;
    Database db = OpenReadWrite(path, false);
    if (db) sqlite3_exec(db.get(), "PRAGMA schema_version;", nullptr, nullptr, nullptr);
}

// The super-journals of transactions that spanned the live store and an
// attached database; each is needed only while a hot journal names it.
void RemoveSuperJournals() {
    const std::string live = TarnPlatform::HostPath(CONFIG_STORE_PATH);
    const std::string dir = DirectoryOf(live), prefix = live.substr(dir.size() + 1) + kSuperJournalInfix;
    UniqueDir d = OpenDir(dir);
    if (!d) return;
    bool any = false;
    while (const dirent* entry = readdir(d.get())) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
        if (!any) {
            // Only once the databases that may still need one are whole.
            Recover(live);
            Recover(TarnPlatform::HostPath(SCHEMA_STORE_PATH));
            any = true;
        }
        const std::string path = dir + "/" + entry->d_name;
        if (unlink(path.c_str()) == 0) CSLogger::Log(2, "Removed the super-journal %s of an interrupted boot", path.c_str());
        else CSLogger::Log(0, "Cannot remove the super-journal %s: %s", path.c_str(), Reason().c_str());
    }
}

// The schema store through SQLite's backup, so a hot journal is rolled back
// first and the copy holds committed rows only.
std::string CopyDatabase(const std::string& from, const std::string& to) {
    Database source = OpenReadWrite(from, false);
    Database target = OpenReadWrite(to, true);
    if (!source || !target) return "cannot open " + (source ? to : from);
    sqlite3_exec(target.get(), "PRAGMA journal_mode=OFF;", nullptr, nullptr, nullptr);
    sqlite3_backup* backup = sqlite3_backup_init(target.get(), "main", source.get(), "main");
    if (!backup) return sqlite3_errmsg(target.get());
    const int rc = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) return sqlite3_errstr(rc);
    return std::string();
}

} // namespace

std::string SchemaStoreSnapshotPath() { return TarnPlatform::HostPath(std::string(SCHEMA_STORE_PATH) + kSnapshotSuffix); }

void RecoverInterruptedBoot() {
    const std::string store = TarnPlatform::HostPath(SCHEMA_STORE_PATH), snapshot = SchemaStoreSnapshotPath();
    if (Exists(snapshot)) {
        // The journal belongs to the file being replaced; rolled back onto the
        // snapshot it would tear it. A kill between the two steps leaves the
        // snapshot in place, and the next boot does both again.
        const std::string journal = store + "-journal";
        if (unlink(journal.c_str()) != 0 && errno != ENOENT) Fail("Cannot remove " + journal + ": " + Reason());
        if (std::rename(snapshot.c_str(), store.c_str()) != 0 || !SyncDirectory(DirectoryOf(store)))
            Fail("Cannot put back the schema store of an interrupted boot from " + snapshot + ": " + Reason());
        CSLogger::Log(2, "Schema store put back as it was before an interrupted boot");
    }
    RemoveSuperJournals();
}

void SnapshotSchemaStore() {
    const std::string store = TarnPlatform::HostPath(SCHEMA_STORE_PATH), snapshot = SchemaStoreSnapshotPath();
    const std::string temporary = snapshot + ".tmp";
    unlink(temporary.c_str());
    std::string reason;
    if (Exists(store)) {
        reason = CopyDatabase(store, temporary);
    } else {
        TarnPlatform::MakeDirectories(DirectoryOf(store));
        TarnPlatform::UniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (fd.Get() < 0) reason = Reason();
    }
    if (reason.empty() && (!SyncFile(temporary) || std::rename(temporary.c_str(), snapshot.c_str()) != 0 ||
                           !SyncDirectory(DirectoryOf(snapshot))))
        reason = Reason();
    if (!reason.empty()) {
        unlink(temporary.c_str());
        Fail("Cannot copy the schema store aside before registering schemas: " + reason);
    }
}

void DiscardSchemaStoreSnapshot() {
    const std::string snapshot = SchemaStoreSnapshotPath();
    if (unlink(snapshot.c_str()) == 0) SyncDirectory(DirectoryOf(snapshot));
}

} // namespace TarnConfigStore
