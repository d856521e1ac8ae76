#include "boot/remove_inside_root.h"

#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/unique_fd.h"
#include "tarn/utilities.h"

namespace TarnConfigStore {
namespace {

using Fd = TarnPlatform::UniqueFd;

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    std::istringstream in(path);
    for (std::string part; std::getline(in, part, '/');)
        if (!part.empty() && part != ".") parts.push_back(part);
    return parts;
}

enum class Walk { Reached, Missing, Refused };

// Opens each directory of the path below the root without following a link,
// leaving dir on the last one.
Walk OpenParent(const std::vector<std::string>& parts, Fd& dir) {
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] == "..") return Walk::Refused;
        if (i + 1 == parts.size()) break;
        struct stat st;
        if (::fstatat(dir.Get(), parts[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Walk::Missing;
        if (S_ISLNK(st.st_mode)) return Walk::Refused;
        Fd next(::openat(dir.Get(), parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.Get() < 0) return errno == ELOOP ? Walk::Refused : Walk::Missing;
        dir = std::move(next);
    }
    return Walk::Reached;
}

} // namespace

void RemoveInsideHostRoot(const std::string& fixedPath) {
    const std::string onHost = TarnPlatform::HostPath(fixedPath);
    if (TarnPlatform::HostRoot().empty()) {
        if (FileExists(onHost.c_str())) RemoveFile(onHost.c_str());
        return;
    }
    const std::vector<std::string> parts = Components(fixedPath);
    Fd dir(::open(TarnPlatform::HostRoot().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (parts.empty() || dir.Get() < 0) return;
    const Walk walk = OpenParent(parts, dir);
    if (walk == Walk::Refused)
        CSLogger::Log(1, "[%s] not removed: a symbolic link or \"..\" on its way could lead out of the host root.",
                      onHost.c_str());
    if (walk != Walk::Reached) return;

    const char* name = parts.back().c_str();
    struct stat st;
    if (::fstatat(dir.Get(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    const int flags = S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0;  // remove() takes empty directories too
    int rc;
    do {
        rc = ::unlinkat(dir.Get(), name, flags);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) CSLogger::Log(0, "Failed to remove: %s, err: %d", onHost.c_str(), errno);
    else CSLogger::Log(0, "[%s] file removed.", onHost.c_str());
}

} // namespace TarnConfigStore
