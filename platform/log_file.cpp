#include "log_file.h"

#include <ctime>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>

#include "tarn/platform/host_root.h"
#include "tarn/platform/unique_fd.h"

namespace TarnPlatform {
namespace {

// The log file opened for appending inside a private host root by the
// kernel (links and ".." stay inside it, as HostPath resolves them), in one
// call rather than a look at every component per line; -1 when that is not
// how it is opened (the real root, redirected paths) or it cannot be, and
// the caller goes the long way.
int OpenInPrivateRoot(const std::string& fixedPath) {
    if (HostRoot().empty() || HostPathsRedirected()) return -1;
    static const int root = ::open(HostRoot().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct open_how how = {};
    how.flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
    how.mode = 0644;
    how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
    return root < 0 ? -1 : static_cast<int>(::syscall(SYS_openat2, root, fixedPath.c_str(), &how, sizeof how));
}

UniqueFd OpenLog(const std::string& fixedPath) {
    int fd = OpenInPrivateRoot(fixedPath);
    if (fd < 0) {
        const std::string path = HostPath(fixedPath);
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) {
            MakeDirectories(path.substr(0, path.rfind('/')));
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        }
    }
    return UniqueFd(fd);
}

// A log file kept open between lines: a line costs its write and one fstat
// instead of the path's resolution. The fstat sees the file removed (or
// replaced by a rename over it); a rename away, as a rotation does, is seen
// by looking at the path again once a second, so at most a second of lines
// goes to the rotated file after it.
struct HeldLog {
    UniqueFd fd;
    ino_t inode = 0;
    dev_t device = 0;
    std::chrono::steady_clock::time_point looked;
};

constexpr std::chrono::seconds kLookAgain{1};

bool Hold(HeldLog& held, UniqueFd fd) {
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0) return false;
    held = {std::move(fd), st.st_ino, st.st_dev, std::chrono::steady_clock::now()};
    return true;
}

// The held file of fixedPath, opened again when it is gone from its path.
int HeldFd(HeldLog& held, const std::string& fixedPath) {
    struct stat st {};
    const bool stale = held.fd.Get() < 0 || ::fstat(held.fd.Get(), &st) != 0 || st.st_nlink == 0;
    if (!stale && std::chrono::steady_clock::now() - held.looked < kLookAgain) return held.fd.Get();
    UniqueFd now = OpenLog(fixedPath);
    if (!stale && now.Get() >= 0 && ::fstat(now.Get(), &st) == 0 && st.st_ino == held.inode &&
        st.st_dev == held.device) {
        held.looked = std::chrono::steady_clock::now();  // still the file at the path
        return held.fd.Get();
    }
    return Hold(held, std::move(now)) ? held.fd.Get() : -1;
}

} // namespace

void AppendLogLine(std::string_view fixedPath, std::string_view tag, std::string_view text) {
    // A thread formats its stamp once a second and builds its lines in
    // storage it keeps: a line costs no allocation.
    thread_local std::time_t stamped = -1;
    thread_local char stamp[32];
    thread_local std::string line;
    if (const std::time_t now = std::time(nullptr); now != stamped) {
        struct tm utc;
        gmtime_r(&now, &utc);
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
        stamped = now;
    }
    line.assign(stamp).append(1, ' ').append(tag).append(1, ' ').append(text);
    if (line.back() != '\n') line += '\n';

    // Redirected paths (tests moving one file elsewhere) may change between
    // lines: those take the long way every time.
    if (HostPathsRedirected()) {
        const UniqueFd fd = OpenLog(std::string(fixedPath));
        if (fd.Get() >= 0) (void)!::write(fd.Get(), line.data(), line.size());
        return;
    }
    static std::mutex lock;
    static std::map<std::string, HeldLog, std::less<>> held;
    const std::lock_guard<std::mutex> guard(lock);
    auto file = held.find(fixedPath);
    if (file == held.end()) file = held.emplace(fixedPath, HeldLog()).first;
    const int fd = HeldFd(file->second, file->first);
    if (fd >= 0) (void)!::write(fd, line.data(), line.size());
}

} // namespace TarnPlatform
