// Appending timestamped lines to the platform's log files under the host root.
#pragma once

#include <string>

namespace TarnPlatform {

// Appends "<UTC time> <tag> <text>\n" to the file at the host path, creating
// it and its directory when missing. One write per line, so lines of
// concurrent writers never interleave. Failures are ignored: logging must
// never stop the caller.
void AppendLogLine(const std::string& fixedPath, const std::string& tag, const std::string& text);

} // namespace TarnPlatform
