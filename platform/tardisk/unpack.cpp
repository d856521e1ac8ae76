// Unpacking a payload archive into the host root, as the host's in-memory
// file system shows a mounted tardisk, with the inode records it keeps.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "tarn/platform/host_root.h"
#include "tarn/platform/kno/kes_status.h"
#include "tarn/platform/kno/kno_tree.h"
#include "tarn/platform/tardisk.h"
#include "tarn/platform/unique_fd.h"

namespace TarnPlatform {
namespace {

constexpr size_t kTardiskNameOffset = 36;  // where the inode record holds the tardisk name

struct ParamListFree {
    void operator()(KNOParamList* list) const { KNO_ParamListDestroy(list); }
};
struct NodeInfoFree {
    void operator()(KNONodeInfo* info) const { KNO_NodeInfoRelease(info); }
};

bool ReadArchive(const std::string& file, std::string* bytes, std::string* error) {
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0) return *error = file + ": " + std::strerror(errno), false;
    if (!S_ISREG(st.st_mode)) return *error = file + ": not a regular file", false;
    if (static_cast<uint64_t>(st.st_size) > kUstarMaxArchiveBytes) return *error = file + ": larger than 64 MiB", false;
    bytes->resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes->size()) {
        ssize_t n = ::read(fd.Get(), &(*bytes)[done], bytes->size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return *error = file + ": read failed", false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Moves dir down to the directory of every component of name (all) or of
// all but the last, which goes to *last; missing ones are created, and a
// symbolic link on the way refuses the name.
bool OpenDirectories(UniqueFd& dir, const std::string& name, bool all, std::string* last, std::string* error) {
    size_t start = 0;
    for (;;) {
        size_t end = name.find('/', start);
        const std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos && !all) {
            *last = part;
            return true;
        }
        if (::mkdirat(dir.Get(), part.c_str(), 0755) != 0 && errno != EEXIST)
            return *error = name + ": cannot create directory: " + std::strerror(errno), false;
        UniqueFd next(::openat(dir.Get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.Get() < 0) return *error = name + ": a component on the way is not a directory", false;
        dir = std::move(next);
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

// Writes the file and its backing file; *st receives the file's status.
bool WriteEntry(const UniqueFd& root, const UstarEntry& entry, struct stat* st, std::string* error) {
    UniqueFd dir(::openat(root.Get(), ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::string base;
    if (!OpenDirectories(dir, entry.name, entry.directory, &base, error)) return false;
    if (entry.directory) return true;
    UniqueFd out(::openat(dir.Get(), base.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.Get() < 0) return *error = entry.name + ": cannot create: " + std::strerror(errno), false;
    for (size_t done = 0; done < entry.data.size();) {
        ssize_t n = ::write(out.Get(), entry.data.data() + done, entry.data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return *error = entry.name + ": write failed", false;
        done += static_cast<size_t>(n);
    }
    if (::fchmod(out.Get(), entry.mode) != 0 || ::fstat(out.Get(), st) != 0)
        return *error = entry.name + ": " + std::strerror(errno), false;
    const std::string backing = ".#" + base;
    if ((::unlinkat(dir.Get(), backing.c_str(), 0) != 0 && errno != ENOENT) ||
        ::linkat(dir.Get(), base.c_str(), dir.Get(), backing.c_str(), 0) != 0)
        return *error = entry.name + ": cannot create its backing file: " + std::strerror(errno), false;
    return true;
}

// The inode statistics record: inode number and size as the sample tree's
// InodeStats lays them out, the tardisk name at byte 36, the rest zero.
std::string InodeRecord(uint32_t recordSize, const struct stat& st, const std::string& tardisk) {
    std::string record(recordSize, '\0');
    const uint64_t inode = st.st_ino, size = static_cast<uint64_t>(st.st_size);
    std::memcpy(&record[0], &inode, sizeof inode);
    std::memcpy(&record[8], &size, sizeof size);
    record.replace(kTardiskNameOffset, tardisk.size(), tardisk);
    return record;
}

} // namespace

bool UnpackTardisk(const std::string& archiveFile, const std::string& tardiskName, std::string* error) {
    if (tardiskName.empty() || tardiskName.size() > kTardiskNameMax || tardiskName.find('/') != std::string::npos)
        return *error = "bad tardisk name '" + tardiskName + "'", false;
    std::string bytes;
    std::vector<UstarEntry> entries;
    if (!ReadArchive(archiveFile, &bytes, error)) return false;
    if (!ParseUstar(bytes, &entries, error)) return *error = archiveFile + ": " + *error, false;

    KNONodeInfo* rawInfo = nullptr;
    if (KNO_NodeInfoLookup(KNO_NODE_system_lumenfs_inodes_stats, 0, &rawInfo) != KES_OK)
        return *error = "the live kernel-info tree has no inode statistics node", false;
    const std::unique_ptr<KNONodeInfo, NodeInfoFree> info(rawInfo);
    const uint32_t recordSize = info->getOutputSize;
    if (recordSize < kTardiskNameOffset + kTardiskNameMax + 1)
        return *error = "the inode statistics record is too small for a tardisk name", false;

    const std::string rootPath = HostRoot().empty() ? "/" : HostRoot();
    UniqueFd root(::open(rootPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (root.Get() < 0) return *error = rootPath + ": " + std::strerror(errno), false;

    std::vector<std::unique_ptr<KNOParamList, ParamListFree>> keys;
    std::vector<std::string> records;
    bool ok = true;
    for (const UstarEntry& entry : entries) {
        struct stat st;
        if (!WriteEntry(root, entry, &st, error)) {
            ok = false;
            break;
        }
        if (entry.directory) continue;
        keys.emplace_back(KNO_ParamListCreate(0, 1));
        if (!keys.back() || KNO_ParamListAddInt(keys.back().get(), st.st_ino) != KES_OK)
            return *error = "out of memory", false;
        records.push_back(InodeRecord(recordSize, st, tardiskName));
    }
    std::vector<KNOTreeValue> values;
    for (size_t i = 0; i < records.size(); ++i)
        values.push_back({KNO_NODE_system_lumenfs_inodes_stats, keys[i].get(), records[i].data(), recordSize});
    const KES_ReturnStatus status =
        KNOTree_PutValues(KNO_LiveTreePath(), values.data(), static_cast<uint32_t>(values.size()));
    if (status != KES_OK)
        return *error = std::string("cannot record inodes: ") + KES_ReturnStatusToString(status), false;
    return ok;
}

} // namespace TarnPlatform
