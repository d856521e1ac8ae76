// Removal of a file named by a fixed host path without ever leaving the host
// root, whatever symbolic links the root holds.
#pragma once

#include <string>

namespace TarnConfigStore {

// Removes the file (or empty directory) at the fixed host path, as
// RemoveFile does, with its log lines. Under a private host root the path is
// walked from the root one directory at a time; a ".." component or a
// directory on the way that is a symbolic link is refused with a warning and
// nothing is removed. A final component that is a link is removed as a link.
// A path that does not exist is skipped without a line.
void RemoveInsideHostRoot(const std::string& fixedPath);

} // namespace TarnConfigStore
