#include "store/durable_copy.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "tarn/durable_file.h"
#include "tarn/platform/unique_fd.h"

namespace TarnConfigStore {
namespace {

using TarnPlatform::UniqueFd;

std::string Failure(const char* what, const std::string& path) { return std::string(what) + " " + path + ": " + std::strerror(errno); }

bool WriteAll(int out, const char* data, size_t size) {
    for (size_t done = 0; done < size;) {
        const ssize_t w = write(out, data + done, size - done);
        if (w < 0 && errno != EINTR) return false;
        if (w > 0) done += static_cast<size_t>(w);
    }
    return true;
}

// The kernel copies without a trip through user space where it can; across
// file systems it may refuse, and plain reads and writes take over.
bool CopyContents(int in, int out) {
    for (;;) {
        ssize_t n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0) return true;
        if (n > 0) continue;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
        break;
    }
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = read(in, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (!WriteAll(out, buffer, static_cast<size_t>(n))) return false;
    }
}

// The temporary file gets what fill writes to it, then takes the place of
// to. A file left under the temporary name is removed first, and the new
// one is created exclusively, so that nothing linked there is written.
std::string Replace(const std::function<bool(int)>& fill, const std::string& temporary, const std::string& to) {
    unlink(temporary.c_str());
    UniqueFd out(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (out.Get() < 0) return Failure("cannot create", temporary);
    if (!fill(out.Get()) || fsync(out.Get()) != 0) {
        std::string reason = Failure("cannot write", temporary);
        unlink(temporary.c_str());
        return reason;
    }
    out.Reset();
    if (std::rename(temporary.c_str(), to.c_str()) != 0) {
        std::string reason = Failure("cannot rename to", to);
        unlink(temporary.c_str());
        return reason;
    }
    const std::string::size_type slash = to.rfind('/');
    if (!SyncDirectory(slash == std::string::npos ? "." : to.substr(0, slash ? slash : 1)))
        return Failure("cannot sync the directory of", to);
    return std::string();
}

} // namespace

bool SyncFile(const std::string& path) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.Get() >= 0 && fsync(fd.Get()) == 0;
}

bool SyncDirectory(const std::string& dir) {
    UniqueFd fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.Get() >= 0 && fsync(fd.Get()) == 0;
}

std::string DurableCopy(const std::string& from, const std::string& temporary, const std::string& to) {
    UniqueFd in(open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) return Failure("cannot open", from);
    return Replace([&](int out) { return CopyContents(in.Get(), out); }, temporary, to);
}

std::string DurableWrite(const std::string& text, const std::string& temporary, const std::string& to) {
    return Replace([&](int out) { return WriteAll(out, text.data(), text.size()); }, temporary, to);
}

} // namespace TarnConfigStore
