#include <cerrno>
#include <cstdarg>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "store/host_file_view.h"
#include "persist/inode_payload.h"
#include "tarn/crate_files.h"
#include "tarn/file_persistence.h"
#include "tarn/image.h"
#include "tarn/platform/kno/kno.h"
#include "tarn/platform/syslog.h"

namespace TarnConfigStore {
namespace {

constexpr int kLogError = 3;

// Declared files by category; every call adds to them, nothing is removed.
std::unordered_set<std::string> vitalFiles, cachedFiles, configFiles;

bool InSets(const std::string& path) {
    return vitalFiles.count(path) || cachedFiles.count(path) || configFiles.count(path);
}

void AddDeclaredFiles() {
    CrateFileMap declared = GetCrateFiles();
    for (const auto& path : declared["vital"]) vitalFiles.insert(path);
    for (const auto& path : declared["cached"]) cachedFiles.insert(path);
    for (const auto& path : declared["config"]) configFiles.insert(path);
}

std::unordered_set<std::string> AllowedTardisks() {
    std::unordered_set<std::string> allowed;
    for (const auto& [id, crate] : TarnImage::GetTarnImage())
        if (!crate.restrictStickyFiles) allowed.insert(crate.payloads.begin(), crate.payloads.end());
    return allowed;
}

// A path as it goes into a log line: a line break would start a forged line.
std::string Shown(const std::string& path) {
    std::string shown;
    for (char c : path) {
        if (c == '\n') shown += "\\n";
        else shown += c;
    }
    return shown;
}

// Logs the line and keeps its text as the reason.
std::string Logged(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Logged(const char* format, ...) {
    char text[8192];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    TarnPlatform::SysLog(kLogError, "%s", text);
    return text;
}

class StickyFilter {
public:
    explicit StickyFilter(std::unordered_set<std::string> allowed) : m_allowed(std::move(allowed)) {}

    // Empty when the path stays; otherwise why it is rejected.
    std::string Decide(const std::string& path) const {
        if (path.find('\n') != std::string::npos)
            return Logged("File %s has a line break in its name, hence it should not be persisted.",
                          Shown(path).c_str());
        if (path.empty() || path[0] != '/')
            return Logged("File %s is not an absolute path, hence it should not be persisted.", path.c_str());
        if (path.compare(0, 4, "/opt") == 0 && path.find("vital") != std::string::npos)
            return vitalFiles.count(path) ? "" : TardiskTest(path);
        if (InSets(path)) return "";
        if (!LinkOnTheWay(path)) return TardiskTest(path);
        std::string resolved;
        return m_view.Realpath(path, &resolved) && InSets(resolved) ? "" : TardiskTest(path);
    }

private:
    // The path itself or a directory above it is a symbolic link.
    bool LinkOnTheWay(const std::string& path) const {
        return IsLink(path) || LinkAbove(path.substr(0, path.rfind('/')));
    }

    // The directory or one above it is a symbolic link ("" is none).
    // Candidates share their directories: each answer is kept for the call
    // (which takes the file system as it stands), and a directory is
    // examined only when none above it is a link.
    bool LinkAbove(const std::string& directory) const {
        std::vector<std::string> unknown;  // the directory and those above it without an answer yet
        bool linked = false;
        for (std::string d = directory; !d.empty(); d.resize(d.rfind('/'))) {
            if (auto found = m_linkAbove.find(d); found != m_linkAbove.end()) {
                linked = found->second;
                break;
            }
            unknown.push_back(d);
        }
        for (auto d = unknown.rbegin(); d != unknown.rend(); ++d) {
            linked = linked || IsLink(*d);
            m_linkAbove.emplace(std::move(*d), linked);
        }
        return linked;
    }

    bool IsLink(const std::string& path) const {
        struct stat st;
        return m_view.Lstat(path, &st) && S_ISLNK(st.st_mode);
    }

    // The tardisk of the file's backing file ".#<name>" decides.
    std::string TardiskTest(const std::string& path) const {
        const size_t slash = path.rfind('/') + 1;
        m_backing.assign(path, 0, slash).append(".#").append(path, slash, std::string::npos);
        struct stat st;
        if (!m_view.Stat(m_backing, &st)) {
            const int error = errno;
            return Logged("File stat(%s) failed with error %d", path.c_str(), error);
        }
        char buildDate[21];
        int mismatch = 0;
        if (KNO_CheckSig(buildDate, sizeof buildDate, &mismatch) != KES_OK) Logged("Failed to init kno");
        const std::string payload = m_payloads.Of(st.st_ino);
        if (payload.empty())
            return Logged("File %s cannot be mapped to tardisk, hence it should not be persisted.", path.c_str());
        if (m_allowed.count(payload)) return "";
        return Logged("File %s in tardisk %s does not belong to crate which allows persistence of sticky bit files",
                      path.c_str(), payload.c_str());
    }

    std::unordered_set<std::string> m_allowed;
    HostFileView m_view{true};
    mutable std::unordered_map<std::string, bool> m_linkAbove;
    mutable std::string m_backing;  // the backing file's path, its storage kept
    mutable InodePayloads m_payloads;
};

void WriteSkipBackupList(const std::vector<std::pair<std::string, std::string>>& rejected) {
    const FilePtr out = HostFileView().OpenForWriting(SKIP_BACKUP_LIST);
    if (!out) return;
    for (const auto& entry : rejected) {
        if (entry.first.find('\n') != std::string::npos) continue;  // one line cannot name it
        std::fputs(entry.first.c_str(), out.get());
        std::fputc('\n', out.get());
        std::fflush(out.get());
    }
}

} // namespace

StickyFilterResult FilterStickyBitFilesWithReasons(const std::vector<std::string>& files) {
    AddDeclaredFiles();
    const StickyFilter filter(AllowedTardisks());
    StickyFilterResult result;
    result.kept.reserve(files.size());
    for (const std::string& path : files) {
        std::string reason = filter.Decide(path);
        if (reason.empty()) {
            result.kept.push_back(path);
            continue;
        }
        Logged("File %s will not be persisted.", Shown(path).c_str());
        result.rejected.emplace_back(path, std::move(reason));
    }
    if (!result.rejected.empty()) WriteSkipBackupList(result.rejected);
    return result;
}

std::vector<std::string> FilterStickyBitFiles(const std::vector<std::string>& files) {
    return FilterStickyBitFilesWithReasons(files).kept;
}

} // namespace TarnConfigStore
