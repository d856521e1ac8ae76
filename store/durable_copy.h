// A file copy that is either whole under its final name or not there at all,
// even across a kill or a power cut: written under a temporary name beside
// the destination, synced, renamed over it, and the directory synced.
#pragma once

#include <string>

namespace TarnConfigStore {

// Empty on success, else the reason.
std::string DurableCopy(const std::string& from, const std::string& temporary, const std::string& to);

// Syncs a file's data to its storage.
bool SyncFile(const std::string& path);

// Syncs a directory, so that renames and removals in it are on disk.
bool SyncDirectory(const std::string& dir);

} // namespace TarnConfigStore
