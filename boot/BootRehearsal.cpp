#include "boot/boot_rehearsal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#include "boot/config_upgrade_step.h"
#include "boot/load_store_error_file.h"
#include "boot/non_schema_files.h"
#include "defaults/default_config.h"
#include "maintenance/data_file_root.h"
#include "tarn/exceptions.h"
#include "tarn/image.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_ramdisk.h"
#include "tarn/store_tables.h"
#include "tarn/upgrade_detection.h"

namespace TarnConfigStore {
namespace {

namespace fs = std::filesystem;
using TarnPlatform::ResolveInRoot;

std::string Directory(const std::string& path) { return path.substr(0, path.rfind('/')); }

// What the load changes, or reads after it changed it: copied into the
// scratch directory before the load starts. Directories are copied whole.
std::vector<std::string> CopiedEntries() {
    return {Directory(CONFIG_STORE_PATH),
            Directory(SCHEMA_STORE_PATH),
            Directory(DEFAULT_CONFIG_DIR),
            std::string(BACKUP_RAMDISK_PATH) + CONFIG_STORE_FILE,
            std::string(BACKUP_RAMDISK_PATH) + DATAFILE_STORE_FILE,
            FIRSTBOOT_BACKUP_PATH,
            Directory(FIRSTBOOT_FILE),
            NON_SCHEMA_FILE_LIST,
            LOAD_STORE_ERROR_FILE,
            CONFIG_UPGRADE_MARKER};
}

// What the load only writes (logs, records, lock files) or removes: it
// starts empty in the scratch directory.
std::vector<std::string> FreshEntries() { return {"/var/log", TarnImage::IMAGE_DUMP_FILE, TarnImage::IMAGE_DB_LOCK_FILE, DATAFILE_ROOT}; }

// The outcome, passed from the child in a file: one line each for the
// restore's source, the backup and the boot mode, then the failure (which
// may span lines) to the end.
constexpr char kOutcomeFile[] = "/outcome";

void CopyRegularFile(const fs::path& from, const fs::path& to) {
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

// Regular files and directories only: a link is not followed out of the
// host root, and the load makes no use of any other kind of file.
void CopyTree(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
        const fs::file_status status = entry.symlink_status();
        if (fs::is_directory(status)) CopyTree(entry.path(), to / entry.path().filename());
        else if (fs::is_regular_file(status)) CopyRegularFile(entry.path(), to / entry.path().filename());
    }
}

// A database file comes with its rollback journal, so that the copy
// recovers as the original would.
void CopyEntry(const std::string& entry, const std::string& scratch) {
    const std::string from = TarnPlatform::HostPath(entry), to = ResolveInRoot(scratch, entry);
    const fs::file_status status = fs::status(from);
    if (fs::is_directory(status)) CopyTree(from, to);
    else if (fs::is_regular_file(status)) CopyRegularFile(from, to);
    const std::string journal = from + "-journal";
    if (fs::is_regular_file(fs::symlink_status(journal))) CopyRegularFile(journal, to + "-journal");
}

void WriteOutcome(const std::string& scratch, const LoadOutcome& outcome) {
    std::ofstream out(scratch + kOutcomeFile);
    out << static_cast<int>(outcome.restore.from) << '\n'
        << outcome.restore.backup << '\n'
        << static_cast<int>(outcome.bootMode) << '\n'
        << outcome.failure;
    if (!out.flush()) throw std::runtime_error("cannot write the outcome: " + std::string(std::strerror(errno)));
}

LoadOutcome ReadOutcome(const std::string& scratch) {
    std::ifstream in(scratch + kOutcomeFile);
    LoadOutcome outcome;
    int from = 0, mode = 0;
    std::string line;
    if (!(in >> from) || !std::getline(in, line) || !std::getline(in, outcome.restore.backup) || !(in >> mode) ||
        !std::getline(in, line))
        throw ConfigStoreException("The next boot cannot be rehearsed: the rehearsal left no outcome");
    outcome.restore.from = static_cast<RestoredFrom>(from);
    outcome.bootMode = static_cast<BOOTMODE>(mode);
    std::ostringstream rest;
    rest << in.rdbuf();
    outcome.failure = rest.str();
    return outcome;
}

// In the child: the copies, the redirection, the load. Never returns.
[[noreturn]] void RunChild(const std::string& scratch, bool restore) {
    int status = 0;
    try {
        for (const std::string& entry : CopiedEntries()) CopyEntry(entry, scratch);
        std::vector<std::string> redirected = CopiedEntries();
        for (const std::string& entry : FreshEntries()) {
            // The directory a lock file or a log goes into is there on the host.
            fs::create_directories(fs::path(ResolveInRoot(scratch, entry)).parent_path());
            redirected.push_back(entry);
        }
        TarnPlatform::RedirectHostPaths(scratch, redirected);
        LoadOutcome outcome;
        LoadStore(restore, &outcome);
        WriteOutcome(scratch, outcome);
    } catch (const std::exception& e) {
        std::ofstream(scratch + "/error") << e.what();
        status = 1;
    }
    // Nothing of the parent's (buffers, handlers at exit) runs twice.
    ::_exit(status);
}

// A text of the rehearsal as the boot itself writes it: the host paths it
// names are under the host root, not under the scratch directory.
std::string AsOnHost(std::string text, const std::string& scratch) {
    for (size_t at = 0; (at = text.find(scratch, at)) != std::string::npos;) {
        text.replace(at, scratch.size(), TarnPlatform::HostRoot());
        at += TarnPlatform::HostRoot().size();
    }
    return text;
}

// The lines of a log file of the rehearsal, without their time stamps.
std::vector<std::string> LogLines(const std::string& scratch, const char* fixedPath) {
    std::vector<std::string> lines;
    std::ifstream in(ResolveInRoot(scratch, fixedPath));
    for (std::string line; std::getline(in, line);) {
        const size_t blank = line.find(' ');
        lines.push_back(AsOnHost(blank == std::string::npos ? line : line.substr(blank + 1), scratch));
    }
    return lines;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A private directory for the copies, removed with everything in it.
class ScratchDirectory {
public:
    ScratchDirectory() {
        const std::string parent = TarnPlatform::HostPath("/tmp");
        TarnPlatform::MakeDirectories(parent);
        std::string name = parent + "/configstore-plan-XXXXXX";
        if (!::mkdtemp(name.data()))
            throw ConfigStoreException(("The next boot cannot be rehearsed: " + parent + ": " +
                                        std::strerror(errno)).c_str());
        m_path = name;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace

RehearsedBoot RehearseBoot(bool restore) {
    const ScratchDirectory scratch;
    const pid_t child = ::fork();
    if (child < 0)
        throw ConfigStoreException(("The next boot cannot be rehearsed: fork: " + std::string(std::strerror(errno))).c_str());
    if (child == 0) RunChild(scratch.Path(), restore);

    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string reason = ReadWhole(scratch.Path() + "/error");
        if (reason.empty()) reason = WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                                                         : "it ended with status " + std::to_string(WEXITSTATUS(status));
        throw ConfigStoreException(("The next boot cannot be rehearsed: " + reason).c_str());
    }

    RehearsedBoot boot;
    boot.outcome = ReadOutcome(scratch.Path());
    boot.outcome.failure = AsOnHost(boot.outcome.failure, scratch.Path());
    const std::string store = ResolveInRoot(scratch.Path(), CONFIG_STORE_PATH);
    if (fs::exists(store)) boot.layers = ReadConfigLayers(store);
    boot.alerts = LogLines(scratch.Path(), "/var/log/sysalerts.log");
    boot.events = LogLines(scratch.Path(), "/var/log/configstore-events.log");
    return boot;
}

} // namespace TarnConfigStore
