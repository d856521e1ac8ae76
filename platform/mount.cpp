#include "tarn/platform/mount.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/mount.h>
#include <vector>

#include "tarn/platform/host_root.h"

namespace TarnPlatform {
namespace {

constexpr size_t kLumenfsFields = 7;
constexpr size_t kMaxDigits = 18;  // keeps every number inside unsigned long long
constexpr unsigned long long kMaxMode = 07777;

std::vector<std::string> SplitFields(const std::string& text) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

// A non-empty run of digits of the base, nothing else.
bool ParseNumber(const std::string& field, unsigned base, unsigned long long* value) {
    if (field.empty() || field.size() > kMaxDigits) return false;
    unsigned long long n = 0;
    for (char c : field) {
        if (c < '0' || c > '9' || static_cast<unsigned>(c - '0') >= base) return false;
        n = n * base + static_cast<unsigned>(c - '0');
    }
    *value = n;
    return true;
}

} // namespace

bool TranslateLumenfsOptions(const std::string& lumenfsOptions, std::string* tmpfsOptions) {
    std::vector<std::string> fields = SplitFields(lumenfsOptions);
    if (fields.size() != kLumenfsFields) return false;
    unsigned long long numbers[5];
    for (size_t i = 0; i < 5; ++i)
        if (!ParseNumber(fields[i], 10, &numbers[i])) return false;
    unsigned long long minMiB = numbers[0], maxMiB = numbers[1], mode = 0;
    if (!ParseNumber(fields[5], 8, &mode) || mode > kMaxMode) return false;
    // The name only identifies the RAM disk on the host; tmpfs has no use for
    // it, but a disk without one is a malformed request.
    if (maxMiB == 0 || minMiB > maxMiB || fields[6].empty()) return false;

    char text[64];
    std::snprintf(text, sizeof text, "size=%llum,mode=0%llo", maxMiB, mode);
    *tmpfsOptions = text;
    return true;
}

int Mount(const char* source, const char* target, const char* fileSystemType, unsigned long flags,
          const void* data) {
    if (!fileSystemType || std::strcmp(fileSystemType, LUMENFS_TYPE) != 0)
        return ::mount(source, target, fileSystemType, flags, data);

    std::string options;
    if (!target || !data || !TranslateLumenfsOptions(static_cast<const char*>(data), &options)) {
        errno = EINVAL;
        return -1;
    }
    // When the directory cannot be made, mount(2) names the reason.
    MakeDirectories(target);
    return ::mount(source, target, "tmpfs", flags, options.c_str());
}

} // namespace TarnPlatform
