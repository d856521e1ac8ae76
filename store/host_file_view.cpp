#include "store/host_file_view.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "tarn/platform/host_root.h"

namespace TarnConfigStore {
namespace {

constexpr size_t kRealpathBuffer = 4096;
// Candidates come grouped by directory; a few kept cover the interleaved
// groups of a list without holding many descriptors.
constexpr size_t kKeptDirectories = 8;

} // namespace

HostFileView::HostFileView(bool keepDirectories)
    : m_private(!TarnPlatform::HostRoot().empty()), m_keepDirectories(keepDirectories) {
    if (!m_private) return;
    m_root.Reset(::open(TarnPlatform::HostRoot().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    char buffer[PATH_MAX];
    if (::realpath(TarnPlatform::HostRoot().c_str(), buffer)) m_rootReal = buffer;
}

TarnPlatform::UniqueFd HostFileView::Open(const std::string& path, int flags, mode_t mode) const {
    struct open_how how = {};
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    how.mode = mode;
    how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
    if (m_root.Get() < 0) {
        errno = ENOENT;
        return TarnPlatform::UniqueFd();
    }
    return TarnPlatform::UniqueFd(
        static_cast<int>(::syscall(SYS_openat2, m_root.Get(), path.c_str(), &how, sizeof how)));
}

HostFileView::KeptDirectory* HostFileView::DirectoryOf(const std::string& path, const char** name) const {
    const size_t slash = path.rfind('/');
    if (!m_keepDirectories || slash == std::string::npos) return nullptr;
    *name = path.c_str() + slash + 1;
    if (!**name || !std::strcmp(*name, ".") || !std::strcmp(*name, "..")) return nullptr;
    const std::string_view directory = slash ? std::string_view(path).substr(0, slash) : "/";
    auto kept = std::find_if(m_kept.begin(), m_kept.end(), [&](const KeptDirectory& d) { return d.path == directory; });
    if (kept != m_kept.end()) return &*kept;
    if (m_kept.size() == kKeptDirectories) m_kept.erase(m_kept.begin());
    KeptDirectory opened;
    opened.path = directory;
    opened.fd = Open(opened.path, O_PATH | O_DIRECTORY);
    opened.error = errno;
    return &m_kept.emplace_back(std::move(opened));
}

int HostFileView::StatInDirectory(const std::string& path, struct stat* st) const {
    const char* name = nullptr;
    const KeptDirectory* kept = DirectoryOf(path, &name);
    if (!kept) return -1;
    if (kept->fd.Get() < 0) {
        errno = kept->error;
        return 0;
    }
    return ::fstatat(kept->fd.Get(), name, st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool HostFileView::HostPathOf(int fd, std::string* resolved) const {
    char buffer[kRealpathBuffer];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer || m_rootReal.empty()) return false;
    const std::string_view full(buffer, static_cast<size_t>(n));
    if (full == m_rootReal) *resolved = "/";
    else if (full.size() > m_rootReal.size() && full.substr(0, m_rootReal.size()) == m_rootReal &&
             full[m_rootReal.size()] == '/')
        *resolved = full.substr(m_rootReal.size());
    else return false;
    return true;
}

bool HostFileView::Lstat(const std::string& path, struct stat* st) const {
    if (!m_private) return ::lstat(path.c_str(), st) == 0;
    if (const int found = StatInDirectory(path, st); found >= 0) return found;
    const TarnPlatform::UniqueFd fd = Open(path, O_PATH | O_NOFOLLOW);
    return fd.Get() >= 0 && ::fstatat(fd.Get(), "", st, AT_EMPTY_PATH) == 0;
}

bool HostFileView::Stat(const std::string& path, struct stat* st) const {
    if (!m_private) return ::stat(path.c_str(), st) == 0;
    // A link is followed by the walk from the root, which keeps it inside.
    if (const int found = StatInDirectory(path, st); found >= 0 && !(found && S_ISLNK(st->st_mode))) return found;
    const TarnPlatform::UniqueFd fd = Open(path, O_PATH);
    return fd.Get() >= 0 && ::fstat(fd.Get(), st) == 0;
}

bool HostFileView::Realpath(const std::string& path, std::string* resolved) const {
    if (!m_private) {
        char buffer[kRealpathBuffer];
        if (!::realpath(path.c_str(), buffer)) return false;
        *resolved = buffer;
        return true;
    }
    // A name that is no link resolves through its kept directory, whose own
    // resolution is made once: siblings share it.
    const char* name = nullptr;
    struct stat st;
    if (KeptDirectory* kept = DirectoryOf(path, &name);
        kept && kept->fd.Get() >= 0 && ::fstatat(kept->fd.Get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISLNK(st.st_mode)) {
        if (std::string directory; !kept->resolved && HostPathOf(kept->fd.Get(), &directory))
            kept->resolved = std::move(directory);
        if (kept->resolved) {
            *resolved = (*kept->resolved == "/" ? "" : *kept->resolved) + "/" + name;
            return m_rootReal.size() + resolved->size() < kRealpathBuffer;  // as a readlink of it would
        }
    }
    const TarnPlatform::UniqueFd fd = Open(path, O_PATH);
    return fd.Get() >= 0 && HostPathOf(fd.Get(), resolved);
}

FilePtr HostFileView::OpenForWriting(const std::string& fixedPath) const {
    if (!m_private) return FilePtr(std::fopen(fixedPath.c_str(), "w"));
    TarnPlatform::UniqueFd fd = Open(fixedPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd.Get() < 0) return nullptr;
    FilePtr file(::fdopen(fd.Get(), "w"));
    if (file) fd.Release();
    return file;
}

bool HostFileView::Remove(const std::string& fixedPath) const {
    int rc;
    if (!m_private) {
        do rc = std::remove(fixedPath.c_str());
        while (rc != 0 && errno == EINTR);
        return rc == 0;
    }
    struct stat st;
    if (!Lstat(fixedPath, &st)) return false;
    // The parent resolved inside the root, the last component not followed.
    const size_t slash = fixedPath.find_last_of('/');
    const std::string parent = slash == std::string::npos ? "." : fixedPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? fixedPath : fixedPath.substr(slash + 1);
    const TarnPlatform::UniqueFd dir = Open(parent, O_PATH | O_DIRECTORY);
    if (dir.Get() < 0) return false;
    const int flags = S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0;  // remove() takes empty directories too
    do rc = ::unlinkat(dir.Get(), name.c_str(), flags);
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

} // namespace TarnConfigStore
