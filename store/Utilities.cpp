#include "tarn/utilities.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include "store/sqlite_handle.h"
#include "tarn/error_codes.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/forkexec.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/syslog.h"

namespace TarnConfigStore {
namespace {

struct BackupFinisher {
    void operator()(sqlite3_backup* b) const { sqlite3_backup_finish(b); }
};
using Backup = std::unique_ptr<sqlite3_backup, BackupFinisher>;

constexpr int kBackupTries = 10;

// sqlite3_open hands out a handle even when it fails; the handle is owned
// (and closed) either way.
int OpenDatabase(const std::string& path, Database& db) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open(path.c_str(), &raw);
    db.reset(raw);
    if (rc != SQLITE_OK)
        TarnPlatform::SysLog(LOG_ERR, "Cannot connect to sqlite database at %s, rc=%d\n", path.c_str(), rc);
    return rc;
}

} // namespace

bool FileExists(const char* path) {
    struct stat st;
    return path && ::stat(path, &st) == 0;
}

bool RemoveFile(const char* path) {
    int rc;
    do {
        rc = std::remove(path);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        CSLogger::Log(0, "Failed to remove: %s, err: %d", path, errno);
        return false;
    }
    CSLogger::Log(0, "[%s] file removed.", path);
    return true;
}

bool ExecCommand(const char** argv) {
    // A host tool started under a private host root must work on that root
    // too, so it gets TARN_ROOT and nothing else; on the real root the
    // environment stays empty.
    static const char* const kNoEnvironment[] = {nullptr};
    const std::string rootEntry = "TARN_ROOT=" + TarnPlatform::HostRoot();
    const char* const privateRoot[] = {rootEntry.c_str(), nullptr};
    const char* const* environment = TarnPlatform::HostRoot().empty() ? kNoEnvironment : privateRoot;
    static const int kStandardFds[] = {0, 1, 2};
    pid_t pid = -1;
    Kestrel_ForkExecParams params = {3, -1, -1, false, &pid};
    int error = 0;
    int status = Kestrel_ForkExec(argv ? argv[0] : nullptr, argv, environment, -1, kStandardFds, &params,
                                  &error);
    if (error != 0) errno = -error;
    if (status != 0) {
        CSLogger::LogErrCode(0, CS_FORKEXEC_FAILED, strerror(errno));
        return false;
    }

    int waitStatus = 0;
    if (waitpid(pid, &waitStatus, 0) < 0) {
        CSLogger::LogErrCode(0, CS_WAIT_CHILD_FAILED, static_cast<int>(pid), strerror(errno));
        return false;
    }
    // The second-lowest byte only: a child ended by a signal has 0 there and
    // counts as a success.
    int exitStatus = (waitStatus >> 8) & 0xff;
    if (exitStatus != 0) {
        CSLogger::LogErrCode(0, CS_CHILD_EXIT_STATUS, exitStatus);
        return false;
    }
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    const fs::path first = fs::weakly_canonical(a, ec);
    if (ec) return false;
    const fs::path second = fs::weakly_canonical(b, ec);
    return !ec && first == second;
}

int backup(const std::string& src, const std::string& dst) {
    if (SameFile(src, dst)) {
        TarnPlatform::SysLog(LOG_ERR, "ConfigStore backup refused: %s and %s are the same database file\n", src.c_str(),
                             dst.c_str());
        return 1;
    }
    Database source, destination;
    int rc = OpenDatabase(src, source);
    if (rc != SQLITE_OK) return rc;
    rc = OpenDatabase(dst, destination);
    if (rc != SQLITE_OK) return rc;

    Backup copy(sqlite3_backup_init(destination.get(), "main", source.get(), "main"));
    if (!copy) {
        rc = sqlite3_errcode(destination.get());
        TarnPlatform::SysLog(LOG_ERR, "Cannot initialize config store backup, rc=%d\n", rc);
        return rc;
    }

    // The whole copy in one step; a source busy with another writer gets a
    // second to finish, ten tries in all.
    int outcome = 1;
    for (int attempt = 1; attempt <= kBackupTries; ++attempt) {
        rc = sqlite3_backup_step(copy.get(), -1);
        if (rc == SQLITE_BUSY) {
            TarnPlatform::SysLog(LOG_ERR, "ConfigStore backup is halted, because it is busy\n");
            if (attempt < kBackupTries) sleep(1);
            continue;
        }
        if (rc == SQLITE_DONE) {
            TarnPlatform::SysLog(LOG_ERR, "ConfigStore backup completed successfully\n");
            outcome = 0;
        } else {
            TarnPlatform::SysLog(LOG_ERR, "ConfigStore backup failed with rc = %d\n", rc);
        }
        break;
    }

    copy.reset();
    source.reset();
    destination.reset();
    TarnPlatform::SysLog(LOG_ERR, "ConfigStore backup completed with rc = %d\n", rc);
    return outcome;
}

} // namespace TarnConfigStore
