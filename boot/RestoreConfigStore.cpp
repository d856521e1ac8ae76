#include "boot/restore_config_store.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "tarn/boot_state.h"
#include "tarn/events.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/dump_evt.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/host_utils.h"
#include "tarn/store_ramdisk.h"
#include "tarn/store_tables.h"

namespace TarnConfigStore {
namespace {

using TarnPlatform::ShellQuote;

bool PathExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The shell commands keep the program's path and put the host paths after
// it, quoted only when the host root holds characters the shell would read
// as syntax; their results are the shell's exit status, 0 for success.
int RunCommand(const std::string& command) { return std::system(command.c_str()); }

// The rollback journal a writer killed mid-transaction left beside a live
// database. SQLite would roll it back onto whatever file next takes that
// name, so a backup copied in its place would come up as a mix of both; the
// copy replaces the database whole, so the journal goes first.
void RemoveJournal(const std::string& database) {
    const std::string journal = database + "-journal";
    if (::unlink(journal.c_str()) != 0 && errno != ENOENT)
        CSLogger::Log(0, "Cannot remove journal %s, err: %d", journal.c_str(), errno);
}

// A live store left from before this boot would be mistaken for a restored
// one; it goes before anything is copied, with its journal.
void RemoveStaleConfigStore(const std::string& live) {
    RemoveJournal(live);
    if (!PathExists(live)) return;
    if (RunCommand("/bin/rm -f " + ShellQuote(live)) != 0)
        CSLogger::Log(0, "Error removing sticky ConfigStore file");
}

// The first backup that exists; its integrity is judged afterwards, so an
// inconsistent primary backup never falls back to the first-boot one.
std::string SelectConfigStoreBackup(const std::string& primary, const std::string& firstBoot, RestoreReport* report) {
    const std::pair<const std::string*, RestoredFrom> candidates[] = {
        {&primary, RestoredFrom::Backup}, {&firstBoot, RestoredFrom::FirstBootBackup}};
    for (const auto& [path, from] : candidates) {
        if (!PathExists(*path)) continue;
        report->from = from;
        report->backup = std::string(from == RestoredFrom::Backup ? BACKUP_RAMDISK_PATH : FIRSTBOOT_BACKUP_PATH) +
                         CONFIG_STORE_FILE;
        return *path;
    }
    return std::string();
}

// Returns newStore: 1 when no backup was copied into place.
int RestoreConfigStoreFile(const std::string& live, RestoreReport* report) {
    const std::string primary = TarnPlatform::HostPath(std::string(BACKUP_RAMDISK_PATH) + CONFIG_STORE_FILE);
    const std::string firstBoot = TarnPlatform::HostPath(std::string(FIRSTBOOT_BACKUP_PATH) + CONFIG_STORE_FILE);
    std::string selection = SelectConfigStoreBackup(primary, firstBoot, report);

    if (selection.empty()) {
        // Names the paths looked at: the selection itself is empty here.
        const std::string lookedAt = primary + ", " + firstBoot;
        CSLogger::Log(2, "ConfigStore backup not found %s", lookedAt.c_str());
    } else if (!DBStore::Check(selection)) {
        CSLogger::Log(0, "ConfigStore backup [%s] is inconsistent, creating new ConfigStore.", selection.c_str());
        DumpEvt(EVT_COPY_BACKUP_ERROR, 1, selection.c_str());
        selection.clear();
    }
    if (selection.empty()) return 1;

    if (RunCommand("/bin/cp " + ShellQuote(selection) + " " + ShellQuote(live)) == 0) {
        CSLogger::Log(2, "ConfigStore restored successfully from backup");
        return 0;
    }
    CSLogger::Log(0, "Cannot copy ConfigStore from backup [%s], creating new ConfigStore.", selection.c_str());
    DumpEvt(EVT_COPY_BACKUP_ERROR, 1, selection.c_str());
    return 1;
}

// Independent of the configuration store: its outcome never changes newStore.
void RestoreDataFileStore() {
    const std::string backup = TarnPlatform::HostPath(std::string(BACKUP_RAMDISK_PATH) + DATAFILE_STORE_FILE);
    if (!PathExists(backup)) {
        CSLogger::Log(2, "DataFileStore backup not found %s", backup.c_str());
        return;
    }
    if (!DBStore::Check(backup)) {
        CSLogger::Log(0, "DataFileStore backup [%s] is inconsistent, will create new DataFileStore.", backup.c_str());
        DumpEvt(EVT_DFS_RESTORE_ERROR, 0);
        return;
    }
    CSLogger::Log(2, "DataFileStore backup [%s] is valid.", backup.c_str());
    const std::string live = TarnPlatform::HostPath(DATAFILE_STORE_PATH);
    RemoveJournal(live);
    if (RunCommand(Kit::StrCat("/bin/cp ", ShellQuote(backup), " ", ShellQuote(live))) == 0) {
        CSLogger::Log(2, "DataFileStore restored successfully from backup");
        return;
    }
    CSLogger::Log(0, "Cannot copy DataFileStore from backup [%s], will create new DataFileStore.", backup.c_str());
    DumpEvt(EVT_DFS_RESTORE_ERROR, 0);
}

} // namespace

int RestoreConfigStore(bool restore) {
    RestoreReport report;
    return RestoreConfigStore(restore, &report);
}

int RestoreConfigStore(bool restore, RestoreReport* report) {
    *report = RestoreReport();
    if (!restore) return 0;

    const std::string live = TarnPlatform::HostPath(CONFIG_STORE_PATH);
    RemoveStaleConfigStore(live);
    const int newStore = RestoreConfigStoreFile(live, report);
    if (newStore == 1) report->from = RestoredFrom::NewStore;
    RestoreDataFileStore();

    if (DBStore::CreateDatabases() != 0) DumpEvt(EVT_DB_OPERATION_ERROR, 0);
    // A store created new applies the boot configuration document next.
    if (newStore == 1) SetBootMode(BOOTMODE_BOOT_CONFIG_DOCUMENT);
    return newStore;
}

} // namespace TarnConfigStore
