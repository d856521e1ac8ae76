// desired export: the user configuration as a desired document, printed or
// written to a file that is replaced whole.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "commands.h"
#include "json_output.h"
#include "tarn/desired_config.h"
#include "tarn/platform/unique_fd.h"

namespace TarnCli {
namespace {

std::string Failure(const char* what, const std::string& path) {
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// Writes text to a temporary file beside path and renames it over path, so
// that a reader finds the old file or the whole new one; empty, or why not.
std::string ReplaceFile(const std::string& path, const std::string& text) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return path + " is a directory";
    const std::string temporary = path + ".tmp-" + std::to_string(getpid());
    TarnPlatform::UniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (fd.Get() < 0) return Failure("cannot create", temporary);
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd.Get(), text.data() + done, text.size() - done);
        if (n < 0 && errno != EINTR) {
            const std::string reason = Failure("cannot write", temporary);
            unlink(temporary.c_str());
            return reason;
        }
        if (n > 0) done += static_cast<size_t>(n);
    }
    if (fsync(fd.Get()) != 0 || std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = Failure("cannot replace", path);
        unlink(temporary.c_str());
        return reason;
    }
    return "";
}

} // namespace

int ExportDesired(const std::string& file) {
    const TarnConfigStore::DesiredExport exported = TarnConfigStore::ExportDesiredDocument();
    for (const std::string& value : exported.notRestated)
        std::fprintf(stderr, "tarn-configstore: %s; a desired document cannot restate it, so a boot that applies "
                     "this one may remove it\n", value.c_str());
    JsonOutput w;
    exported.document.Accept(w);
    if (file.empty()) {
        w.Print();
        return 0;
    }
    const std::string reason = ReplaceFile(file, w.Text() + "\n");
    if (reason.empty()) return 0;
    std::fprintf(stderr, "tarn-configstore: %s; nothing written\n", reason.c_str());
    return 1;
}

} // namespace TarnCli
