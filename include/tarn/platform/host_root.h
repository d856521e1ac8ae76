// Every fixed host path (databases, /etc, /var, /tmp, directories, paths in
// SQL and shell command texts) goes through HostPath. The host root is read
// once from TARN_ROOT; unset or empty means the real root, and then every
// path is returned unchanged.
#pragma once

#include <string>

#include "tarn/export.h"

namespace TarnPlatform {

// The host root without a trailing slash; empty for the real root.
TARN_PLATFORM_EXPORT const std::string& HostRoot();

// The fixed host path (absolute, starting with '/') under the host root.
TARN_PLATFORM_EXPORT std::string HostPath(const std::string& fixedPath);

// Creates the directory and its missing parents (like mkdir -p). The path is
// taken as given: pass a HostPath. Returns false when it cannot be made.
TARN_PLATFORM_EXPORT bool MakeDirectories(const std::string& path);

// The text in single quotes for an SQL statement, with every apostrophe
// doubled so no text can end the quoted literal early.
TARN_PLATFORM_EXPORT std::string SqlQuote(const std::string& text);

// A path for a shell command text: unchanged when every character is one the
// shell takes literally (letters, digits, "/._-+,:@%="), so the commands on
// the real root read as written; otherwise between single quotes, with each
// apostrophe as '\''. A host root with blanks or shell syntax then names
// exactly its own paths.
TARN_PLATFORM_EXPORT std::string ShellQuote(const std::string& path);

} // namespace TarnPlatform
