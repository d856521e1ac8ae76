// A bounded reader of POSIX ustar archives: 512-byte headers, octal fields,
// contents padded to 512 bytes, ended by a zero block or the end of data.
#include <cstring>

#include "tarn/platform/tardisk.h"

namespace TarnPlatform {
namespace {

constexpr size_t kBlock = 512;

// A NUL-terminated field of at most width bytes.
std::string Field(const char* header, size_t offset, size_t width) {
    const char* start = header + offset;
    return std::string(start, strnlen(start, width));
}

// An octal number field (digits, padded by blanks or NULs).
bool Octal(const char* header, size_t offset, size_t width, uint64_t* value) {
    *value = 0;
    size_t i = 0;
    while (i < width && header[offset + i] == ' ') ++i;
    size_t digits = 0;
    for (; i < width && header[offset + i] >= '0' && header[offset + i] <= '7'; ++i, ++digits) {
        if (*value >> 60) return false;
        *value = *value * 8 + static_cast<uint64_t>(header[offset + i] - '0');
    }
    for (; i < width; ++i)
        if (header[offset + i] != ' ' && header[offset + i] != '\0') return false;
    return digits > 0;
}

bool ChecksumMatches(const char* header) {
    uint64_t stored;
    if (!Octal(header, 148, 8, &stored)) return false;
    uint64_t sum = 0;
    for (size_t i = 0; i < kBlock; ++i)
        sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(header[i]);
    return sum == stored;
}

// The entry's name made relative ("" for the archive's root itself): false
// for an absolute name or a ".." component.
bool NormalizedName(const std::string& raw, std::string* name) {
    if (raw.empty() || raw[0] == '/') return false;
    name->clear();
    size_t start = 0;
    while (start <= raw.size()) {
        size_t end = raw.find('/', start);
        if (end == std::string::npos) end = raw.size();
        const std::string part = raw.substr(start, end - start);
        if (part == "..") return false;
        if (!part.empty() && part != ".") *name += (name->empty() ? "" : "/") + part;
        start = end + 1;
    }
    return true;
}

bool AllZero(const char* block) {
    for (size_t i = 0; i < kBlock; ++i)
        if (block[i]) return false;
    return true;
}

} // namespace

bool ParseUstar(const std::string& archive, std::vector<UstarEntry>* entries, std::string* error) {
    entries->clear();
    auto fail = [&](const std::string& why, size_t offset) {
        *error = why + " at byte " + std::to_string(offset);
        entries->clear();
        return false;
    };
    if (archive.size() > kUstarMaxArchiveBytes) return fail("archive larger than 64 MiB", 0);
    size_t offset = 0;
    while (offset + kBlock <= archive.size()) {
        const char* header = archive.data() + offset;
        if (AllZero(header)) return true;
        if (std::memcmp(header + 257, "ustar", 5) != 0) return fail("not a ustar header", offset);
        if (!ChecksumMatches(header)) return fail("bad header checksum", offset);
        if (entries->size() == kUstarMaxEntries) return fail("more than 100000 entries", offset);
        uint64_t size, mode;
        if (!Octal(header, 124, 12, &size) || !Octal(header, 100, 8, &mode)) return fail("bad number field", offset);
        const std::string prefix = Field(header, 345, 155);
        const std::string raw = (prefix.empty() ? "" : prefix + "/") + Field(header, 0, 100);
        UstarEntry entry;
        if (!NormalizedName(raw, &entry.name)) return fail("name leaves the archive's root", offset);
        const char type = header[156];
        if (type != '0' && type != '\0' && type != '5') return fail("unsupported entry type", offset);
        entry.directory = type == '5';
        if (entry.name.empty() && !entry.directory) return fail("file without a name", offset);
        entry.mode = static_cast<uint32_t>(mode & 01777);  // never set-user or set-group id
        offset += kBlock;
        if (size > archive.size() - offset) return fail("contents beyond the end of the archive", offset);
        if (!entry.directory) entry.data = archive.substr(offset, size);
        offset += (size + kBlock - 1) / kBlock * kBlock;
        if (!entry.name.empty()) entries->push_back(std::move(entry));  // "./" is the root itself
    }
    if (offset < archive.size()) return fail("truncated header", offset);
    return true;
}

} // namespace TarnPlatform
