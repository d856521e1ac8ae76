// The host's files as a caller on the host's own root sees them. Under a
// private host root every path is resolved inside it (openat2 with
// RESOLVE_IN_ROOT): an absolute symbolic link names a path below the root and
// ".." stops at it, so no file outside the root is examined or written. On
// the real root these are the plain lstat, stat, realpath, fopen and remove.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "tarn/platform/unique_fd.h"

namespace TarnConfigStore {

struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileClose>;

class HostFileView {
public:
    // A view that keeps directories examines a name under a private root
    // from its directory, opened (resolved inside the root) once for the
    // view's life and kept among the last few: for a caller that takes the
    // file system as it stands when it starts, with no directory replaced
    // meanwhile. It costs one short lookup a name instead of a walk from the
    // root and two more calls.
    explicit HostFileView(bool keepDirectories = false);

    // False with errno set when the path cannot be examined.
    bool Lstat(const std::string& path, struct stat* st) const;
    bool Stat(const std::string& path, struct stat* st) const;
    // The path with every link resolved, as a host path.
    bool Realpath(const std::string& path, std::string* resolved) const;
    // A fixed host path opened for writing, truncated; null when it cannot be.
    FilePtr OpenForWriting(const std::string& fixedPath) const;
    // Removes the file, or the empty directory, the path names; a final
    // component that is a link is removed as a link. False with errno set
    // when it cannot be.
    bool Remove(const std::string& fixedPath) const;

private:
    struct KeptDirectory {
        std::string path;
        TarnPlatform::UniqueFd fd;
        int error = 0;  // why it could not be opened
        std::optional<std::string> resolved;  // as a host path, once asked for
    };

    TarnPlatform::UniqueFd Open(const std::string& path, int flags, mode_t mode = 0) const;
    // The kept directory of the path's last name (*name), opened when not
    // kept yet; null when the path is not examined that way (no kept
    // directories, a name that is empty, "." or "..").
    KeptDirectory* DirectoryOf(const std::string& path, const char** name) const;
    // fstatat of the path's last name from its kept directory; -1 when the
    // path is not examined that way, else 0 or 1 for the stat's success.
    int StatInDirectory(const std::string& path, struct stat* st) const;
    // The host path of an open file under the private root.
    bool HostPathOf(int fd, std::string* resolved) const;

    bool m_private;
    TarnPlatform::UniqueFd m_root;
    std::string m_rootReal;  // the root's own resolved path
    bool m_keepDirectories;
    mutable std::vector<KeptDirectory> m_kept;  // the latest last
};

} // namespace TarnConfigStore
