#include "log_file.h"

#include <ctime>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "tarn/platform/host_root.h"

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

} // namespace

void AppendLogLine(const std::string& fixedPath, const std::string& tag, const std::string& text) {
    std::time_t now = std::time(nullptr);
    struct tm utc;
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);

    std::string line = std::string(stamp) + " " + tag + " " + text;
    if (line.empty() || line.back() != '\n') line += '\n';

    int fd = OpenInPrivateRoot(fixedPath);
    if (fd < 0) {
        const std::string path = HostPath(fixedPath);
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) {
            MakeDirectories(path.substr(0, path.rfind('/')));
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (fd < 0) return;
        }
    }
    ssize_t ignored = ::write(fd, line.data(), line.size());
    (void)ignored;
    ::close(fd);
}

} // namespace TarnPlatform
