#include "tarn/platform/write_problem.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace TarnPlatform {
namespace {

std::string Parent(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string WriteProblem(const std::string& path) {
    std::string existing = path;
    struct stat st;
    while (::stat(existing.c_str(), &st) != 0) {
        if (existing == "/" || existing == ".") return "does not exist";
        existing = Parent(existing);
    }
    struct statvfs fs;
    if (::statvfs(existing.c_str(), &fs) == 0) {
        if (fs.f_flag & ST_RDONLY) return "read-only file system";
        // The superuser may write into the blocks reserved for it.
        if ((geteuid() == 0 ? fs.f_bfree : fs.f_bavail) == 0) return "no space left on device";
        if (fs.f_files != 0 && fs.f_ffree == 0 && !S_ISREG(st.st_mode)) return "no free inodes";
    }
    // A database also needs its directory writable for its journal.
    const std::string dir = S_ISDIR(st.st_mode) ? existing : Parent(existing);
    for (const std::string& p : {existing, dir})
        if (::access(p.c_str(), W_OK) != 0) return std::strerror(errno);
    return std::string();
}

} // namespace TarnPlatform
