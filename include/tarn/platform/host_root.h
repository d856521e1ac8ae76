// Every fixed host path (databases, /etc, /var, /tmp, directories, paths in
// SQL and shell command texts) goes through HostPath. The host root is read
// once from TARN_ROOT; unset or empty means the real root, and then every
// path is returned unchanged. Under another root the path comes back with
// every symbolic link resolved inside that root, so an image root prepared
// by someone else cannot send what the tools write to places outside it.
#pragma once

#include <string>
#include <vector>

#include "tarn/export.h"

namespace TarnPlatform {

// The host root without a trailing slash; empty for the real root.
TARN_PLATFORM_EXPORT const std::string& HostRoot();

// A program's --root DIR: makes DIR (absolute and normalised, so that paths
// do not depend on the working directory) the host root by setting
// TARN_ROOT. False when DIR is empty or not a directory. Call it before
// anything reads the host root.
TARN_PLATFORM_EXPORT bool SetHostRoot(const char* dir);

// The fixed host path (absolute, starting with '/') under the host root, or
// under the scratch directory when RedirectHostPaths redirects it, resolved
// there by ResolveInRoot.
TARN_PLATFORM_EXPORT std::string HostPath(const std::string& fixedPath);

// Redirects the host paths at or below any of entries (fixed paths: files,
// or directories without a trailing slash) to the same paths under scratch,
// for the rest of the process; the others keep the host root. A preview of
// the next boot runs the boot this way in a child process, so that what it
// changes lands in scratch. Empty entries end the redirection.
TARN_PLATFORM_EXPORT void RedirectHostPaths(const std::string& scratch, const std::vector<std::string>& entries);

// Whether RedirectHostPaths is in force: the process rehearses work that
// must not change the host outside the scratch directory.
TARN_PLATFORM_EXPORT bool HostPathsRedirected();

// Whether every host path comes back as written: the real root and nothing
// redirected. Only then may the fixed texts (SQL, shell commands) and the
// host's own services (the system log) be used as they are.
TARN_PLATFORM_EXPORT bool HostPathsAsWritten();

// path taken below root (a directory, no trailing slash) as if root were
// "/": every symbolic link is resolved, an absolute target from root, and
// ".." stops at root. Components below the first missing one are taken as
// written (the writer makes them, as real directories); a trailing slash
// stays. A path that cannot be resolved (more than 40 links, a loop) comes
// back as a name below root that no file system accepts, so opening it fails.
// The answer holds only at the moment of the call: a root changed meanwhile
// is not guarded against.
TARN_PLATFORM_EXPORT std::string ResolveInRoot(const std::string& root, const std::string& path);

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
