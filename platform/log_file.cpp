#include "log_file.h"

#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "tarn/platform/host_root.h"

namespace TarnPlatform {

void AppendLogLine(const std::string& fixedPath, const std::string& tag, const std::string& text) {
    std::time_t now = std::time(nullptr);
    struct tm utc;
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);

    std::string line = std::string(stamp) + " " + tag + " " + text;
    if (line.empty() || line.back() != '\n') line += '\n';

    const std::string path = HostPath(fixedPath);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        MakeDirectories(path.substr(0, path.rfind('/')));
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) return;
    }
    ssize_t ignored = ::write(fd, line.data(), line.size());
    (void)ignored;
    ::close(fd);
}

} // namespace TarnPlatform
