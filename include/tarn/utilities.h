// Process and file utilities shared with the host's tools. They report by
// result and log line; none of them throws.
#pragma once

#include <string>

#include "tarn/export.h"

namespace TarnConfigStore {

// True when the path can be examined with stat.
TARN_EXPORT bool FileExists(const char* path);

// Removes the file, retrying on EINTR; true when it was removed.
TARN_EXPORT bool RemoveFile(const char* path);

// Runs argv[0] with argv (null-terminated) and the caller's standard
// descriptors, waits for it; true when it exited with status 0. The child's
// environment is empty on the real root and holds only TARN_ROOT under a
// private host root.
TARN_EXPORT bool ExecCommand(const char** argv);

// The same file by device and inode, or, for a file that does not exist yet,
// the same path once links, "." and ".." are resolved. SQLite would open such
// a pair twice and a copy would wait on its own lock until it gave up.
TARN_EXPORT bool SameFile(const std::string& a, const std::string& b);

// Copies the main database of src into dst with SQLite's online backup.
// 0 on success, else a SQLite result code or 1. A copy of a file onto itself
// (the same device and inode, or the same resolved path for a file that does
// not exist yet) is refused with 1 before anything is opened.
TARN_EXPORT int backup(const std::string& src, const std::string& dst);

} // namespace TarnConfigStore
