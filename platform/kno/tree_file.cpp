#include "kno/tree_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tarn/platform/unique_fd.h"
#include "tarn/rapidjson.h"

namespace TarnPlatform::Kno {
namespace {

FileStamp StampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.links = st.st_nlink;
    stamp.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.ctimeNs = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

bool StatAt(int directory, const char* name, int flags, FileStamp& stamp) {
    struct stat st;
    if (fstatat(directory, name, &st, flags) != 0) return false;
    stamp = StampOf(st);
    return true;
}

// Only a regular file of bounded size is read: a device or a pipe could
// go on without end. The limit holds for what is read too, so a file that
// grows meanwhile is refused as well.
KES_ReturnStatus ReadAll(int fd, std::string& text, FileStamp& stamp, std::string& problem) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
        problem = "cannot read the tree file";
        return KES_IO_ERROR;
    }
    if (!S_ISREG(st.st_mode)) {
        problem = "not a regular file";
        return KES_BAD_TREE;
    }
    const std::string tooLarge = "larger than " + std::to_string(TREE_FILE_MAX_SIZE >> 20) + " MiB";
    if (static_cast<uint64_t>(st.st_size) > TREE_FILE_MAX_SIZE) {
        problem = tooLarge;
        return KES_BAD_TREE;
    }
    text.clear();
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            problem = "cannot read the tree file";
            return KES_IO_ERROR;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > TREE_FILE_MAX_SIZE) {
            problem = tooLarge;
            return KES_BAD_TREE;
        }
    }
    stamp = StampOf(st);
    return KES_OK;
}

// The descriptor, or -1 with status and problem set. O_NONBLOCK: opening
// a FIFO must not wait for a writer; a regular file reads the same with it.
int OpenForReading(const std::string& path, KES_ReturnStatus& status, std::string& problem) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const bool missing = errno == ENOENT || errno == ENOTDIR;
        status = missing ? KES_NO_TREE : KES_IO_ERROR;
        problem = missing ? "no such tree file" : "cannot read the tree file";
    }
    return fd;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

using Fd = TarnPlatform::UniqueFd;

// Scalars through rapidjson (for its escaping); containers laid out here.
std::string Scalar(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

bool IsFlat(const rapidjson::Value& value) {
    if (value.IsArray()) {
        for (const auto& e : value.GetArray()) {
            if (e.IsObject() || e.IsArray()) return false;
        }
        return true;
    }
    if (value.IsObject()) {
        for (auto it = value.MemberBegin(); it != value.MemberEnd(); ++it) {
            if (it->value.IsObject() || (it->value.IsArray() && !IsFlat(it->value))) return false;
        }
        return true;
    }
    return true;
}

// Flat containers go on one line; others one element per line.
void Format(const rapidjson::Value& value, const std::string& indent, std::string& out) {
    bool flat = IsFlat(value);
    std::string inner = indent + "  ";
    if (value.IsArray()) {
        if (value.Empty()) {
            out += "[]";
            return;
        }
        out += flat ? "[" : "[\n";
        bool first = true;
        for (const auto& e : value.GetArray()) {
            if (!first) out += flat ? ", " : ",\n";
            first = false;
            if (!flat) out += inner;
            Format(e, inner, out);
        }
        out += flat ? "]" : "\n" + indent + "]";
    } else if (value.IsObject()) {
        if (value.MemberCount() == 0) {
            out += "{}";
            return;
        }
        out += flat ? "{" : "{\n";
        bool first = true;
        for (auto it = value.MemberBegin(); it != value.MemberEnd(); ++it) {
            if (!first) out += flat ? ", " : ",\n";
            first = false;
            if (!flat) out += inner;
            out += Scalar(it->name) + ": ";
            Format(it->value, inner, out);
        }
        out += flat ? "}" : "\n" + indent + "}";
    } else {
        out += Scalar(value);
    }
}

} // namespace

bool StatFile(const std::string& path, FileStamp& stamp) { return StatAt(AT_FDCWD, path.c_str(), 0, stamp); }

bool StatOpenFile(int fd, FileStamp& stamp) { return StatAt(fd, "", AT_EMPTY_PATH, stamp); }

KES_ReturnStatus ReadWholeFile(const std::string& path, std::string& text, FileStamp& stamp, std::string& problem) {
    KES_ReturnStatus status = KES_OK;
    Fd fd(OpenForReading(path, status, problem));
    return fd.Get() < 0 ? status : ReadAll(fd.Get(), text, stamp, problem);
}

std::string FormatTreeJson(const rapidjson::Value& doc) {
    std::string out;
    Format(doc, "", out);
    return out + "\n";
}

LockedTreeFile::~LockedTreeFile() {
    if (fd_ >= 0) close(fd_);  // closing drops the lock
}

KES_ReturnStatus LockedTreeFile::Open(const std::string& path, std::string& problem) {
    path_ = path;
    problem = "cannot read the tree file";
    for (;;) {
        KES_ReturnStatus status = KES_OK;
        Fd fd(OpenForReading(path, status, problem));
        if (fd.Get() < 0) return status;
        while (flock(fd.Get(), LOCK_EX) != 0) {
            if (errno != EINTR) return KES_IO_ERROR;
        }
        // The lock guards this inode; a writer that held it before us may
        // have renamed a new file into place, which is the one to lock.
        struct stat locked, current;
        if (fstat(fd.Get(), &locked) != 0) return KES_IO_ERROR;
        if (stat(path.c_str(), &current) != 0) {
            if (errno != ENOENT) return KES_IO_ERROR;
            problem = "no such tree file";
            return KES_NO_TREE;
        }
        if (locked.st_dev == current.st_dev && locked.st_ino == current.st_ino) {
            fd_ = fd.Release();
            return KES_OK;
        }
    }
}

KES_ReturnStatus LockedTreeFile::Read(std::string& text, FileStamp& stamp, std::string& problem) {
    if (lseek(fd_, 0, SEEK_SET) != 0) {
        problem = "cannot read the tree file";
        return KES_IO_ERROR;
    }
    return ReadAll(fd_, text, stamp, problem);
}

KES_ReturnStatus LockedTreeFile::Replace(const std::string& text, FileStamp& stamp) {
    struct stat st;
    if (fstat(fd_, &st) != 0) return KES_IO_ERROR;
    std::string temp = path_ + ".tmp." + std::to_string(getpid());
    {
        Fd out(open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 07777));
        if (out.Get() < 0) return KES_IO_ERROR;
        if (!WriteAll(out.Get(), text) || fsync(out.Get()) != 0) {
            unlink(temp.c_str());
            return KES_IO_ERROR;
        }
    }
    if (rename(temp.c_str(), path_.c_str()) != 0) {
        unlink(temp.c_str());
        return KES_IO_ERROR;
    }
    return StatFile(path_, stamp) ? KES_OK : KES_IO_ERROR;
}

} // namespace TarnPlatform::Kno
