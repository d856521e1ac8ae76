// The data-file root and removal below it, shared by the cleanup operations.
#pragma once

#include <filesystem>
#include <string>

namespace TarnConfigStore {

// Fixed host path of the data-file root: each direct subdirectory is a data
// directory, each regular file directly inside one is a data file.
inline constexpr char DATAFILE_ROOT[] = "/var/cache/datafiles";

// Removes the path and everything below it; a missing path is no error.
// File-system errors are logged, not thrown, so a cleanup goes on.
void RemoveTree(const std::filesystem::path& path);

// True when the name, joined to a directory, names an entry directly inside
// it: not empty, not "." or "..", and without a "/". Names read from the
// metadata table pass this test before anything is removed by them.
bool IsDirectEntryName(const std::string& name);

} // namespace TarnConfigStore
