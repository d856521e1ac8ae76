// Payloads of the host's in-memory root file system. A payload is
// a POSIX ustar archive; unpacking it into the host root stands in for
// mounting it: every regular file gets a backing file ".#<name>" beside it
// (a hard link, same inode), and the live kernel-info tree records the
// file's inode with the payload's name, as the host's in-memory file system
// does. docs/kno-tree-format.md describes the record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tarn/export.h"

namespace TarnPlatform {

// Limits for archives, which are outside bytes.
inline constexpr uint64_t kUstarMaxArchiveBytes = 64ull << 20;
inline constexpr size_t kUstarMaxEntries = 100000;
inline constexpr size_t kTardiskNameMax = 31;  // the record holds 32 bytes with the NUL

struct UstarEntry {
    std::string name;   // relative, normalized: no "", ".", ".." components, no leading or trailing "/"
    bool directory = false;
    uint32_t mode = 0;  // permission bits and the sticky bit (07777 & ~06000)
    std::string data;   // a regular file's contents
};

// Reads a whole ustar archive held in memory. Only regular files and
// directories are taken; any other entry (links, devices, extended headers),
// an absolute name, a ".." component, a bad checksum, a size beyond the data
// or more than kUstarMaxEntries entries refuses the whole archive: false
// with the reason in *error.
TARN_PLATFORM_EXPORT bool ParseUstar(const std::string& archive, std::vector<UstarEntry>* entries,
                                     std::string* error);

// Unpacks the archive file into the host root under the tardisk name and
// records its files' inodes in the live kernel-info tree. Directories on the
// way are created; one that is a symbolic link refuses the entry, so nothing
// is written outside the host root. False with the reason in *error;
// entries unpacked before a failure stay.
TARN_PLATFORM_EXPORT bool UnpackTardisk(const std::string& archiveFile, const std::string& tardiskName,
                                        std::string* error);

} // namespace TarnPlatform
