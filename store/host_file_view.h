// The host's files as a caller on the host's own root sees them. Under a
// private host root every path is resolved inside it (openat2 with
// RESOLVE_IN_ROOT): an absolute symbolic link names a path below the root and
// ".." stops at it, so no file outside the root is examined or written. On
// the real root these are the plain lstat, stat, realpath, fopen and remove.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <sys/stat.h>

#include "tarn/platform/unique_fd.h"

namespace TarnConfigStore {

struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileClose>;

class HostFileView {
public:
    HostFileView();

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
    TarnPlatform::UniqueFd Open(const std::string& path, int flags, mode_t mode = 0) const;

    bool m_private;
    TarnPlatform::UniqueFd m_root;
    std::string m_rootReal;  // the root's own resolved path
};

} // namespace TarnConfigStore
