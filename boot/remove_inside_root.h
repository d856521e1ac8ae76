// Removal of a file named by a fixed host path without ever leaving the host
// root, whatever symbolic links the root holds.
#pragma once

#include <string>

namespace TarnConfigStore {

// Removes the file (or empty directory) at the fixed host path, with
// RemoveFile's log lines. Under a private host root the path is resolved
// inside the root as the host would resolve it on its own: an absolute link
// names a path below the root and ".." stops at it. A final component that
// is a link is removed as a link. A path that does not exist is skipped
// without a line.
void RemoveInsideHostRoot(const std::string& fixedPath);

} // namespace TarnConfigStore
