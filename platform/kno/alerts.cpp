#include "kno/alerts.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "tarn/platform/capture.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/kno/kno_tree.h"

namespace TarnPlatform::Kno {
namespace {

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

std::string UtcNow() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

} // namespace

KES_ReturnStatus RaiseAlert(const std::string& text) {
    Capture::RecordAlert(text);
    std::string path = KNO_AlertLogPath();
    std::string dir = path.substr(0, path.rfind('/'));
    if (!dir.empty()) MakeDirectories(dir);
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return KES_IO_ERROR;
    // One write per line: appends from several processes do not interleave.
    std::string line = UtcNow() + " " + Escaped(text) + "\n";
    ssize_t written = write(fd, line.data(), line.size());
    close(fd);
    return written == static_cast<ssize_t>(line.size()) ? KES_OK : KES_IO_ERROR;
}

} // namespace TarnPlatform::Kno
