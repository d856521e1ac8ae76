// Choosing the files of the in-memory root file system that survive a
// reboot: the tracking files, and the filter of sticky-bit files.
// docs/file-persistence.md describes the decisions.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tarn/export.h"

namespace TarnConfigStore {

enum FileType {
    BACKUP_FILES = 0,      // "/var/run/halden/files/backup-list"
    NON_SCHEMA_FILES = 1,  // "/var/run/nonSchemaFiles"
};

inline constexpr char BACKUP_FILE_LIST[] = "/var/run/halden/files/backup-list";
inline constexpr char SKIP_BACKUP_LIST[] = "/var/run/halden/files/skip-backup-list";

// Writes the paths, one per line, to the tracking file of the type (made
// anew). An empty list leaves the file alone. A path holding a line break is
// left out (it would read as two paths). Problems are logged, never thrown.
TARN_EXPORT void TrackFiles(const std::vector<std::string>& files, FileType type);

// The candidates that may be persisted, in input order: declared by a
// "files" schema (in this call or an earlier one), reached through a
// symbolic link to a declared file, or in a tardisk of a crate without
// RestrictStickyFiles. The others are logged and, when there are any,
// listed in the skip-backup list. Errors of the image database reader pass
// through before any file is examined.
TARN_EXPORT std::vector<std::string> FilterStickyBitFiles(const std::vector<std::string>& files);

// The same decision with each rejected path's reason (its log line).
struct StickyFilterResult {
    std::vector<std::string> kept;
    std::vector<std::pair<std::string, std::string>> rejected;  // path, reason
};
TARN_EXPORT StickyFilterResult FilterStickyBitFilesWithReasons(const std::vector<std::string>& files);

} // namespace TarnConfigStore
