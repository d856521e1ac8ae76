#include <fcntl.h>
#include <libxml/parser.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "image/handles.h"
#include "tarn/platform/unique_fd.h"

namespace TarnImage {
namespace {

// No XML_PARSE_NOENT (entities stay references, so no external entity is
// loaded), no XML_PARSE_DTDLOAD, no XML_PARSE_HUGE (libxml2 keeps its limits
// on depth, text size and entity amplification), no network even where a
// document asks for it. Parse errors are not printed: the caller reports
// the failure. Options are given per parse, so settings other code makes in
// libxml2's globals do not change them.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

} // namespace

std::string TakeText(xmlChar* text) {
    XmlString owned(text);
    return owned ? reinterpret_cast<const char*>(owned.get()) : "";
}

XmlDoc ParseXmlFile(const std::string& path) {
    [[maybe_unused]] static const bool initialised = (xmlInitParser(), true);  // libxml2's setup, once
    // Non-blocking so that opening a FIFO does not wait for a writer; the
    // type is checked on the open descriptor, so it cannot change under us.
    TarnPlatform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (fd.Get() < 0 || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxXmlFileBytes)
        return nullptr;
    // Read into memory rather than let libxml2 open the path: it would
    // inflate a compressed file of any size.
    std::string bytes(static_cast<size_t>(st.st_size) + 1, '\0');
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = ::read(fd.Get(), &bytes[got], bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return nullptr;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    if (got == bytes.size()) return nullptr;  // grew past its size while read
    return XmlDoc(xmlReadMemory(bytes.data(), static_cast<int>(got), path.c_str(), nullptr, kParseOptions));
}

File OpenForWriting(const std::string& path, const char* mode) {
    const int access = mode[1] == '+' ? O_RDWR : O_WRONLY;
    TarnPlatform::UniqueFd fd(::open(path.c_str(), access | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.Get() < 0) return nullptr;
    File file(fdopen(fd.Get(), mode));
    if (file) fd.Release();
    return file;
}

bool IsRegularFile(const std::string& dir, const dirent& entry) {
    if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_REG;
    struct stat st;  // file systems that do not fill in the type
    return lstat((dir + "/" + entry.d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace TarnImage
