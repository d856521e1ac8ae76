// Appending timestamped lines to the platform's log files under the host root.
#pragma once

#include <string_view>

namespace TarnPlatform {

// Appends "<UTC time> <tag> <text>\n" to the file at the host path, creating
// it and its directory when missing. One write per line, so lines of
// concurrent writers never interleave. Failures are ignored: logging must
// never stop the caller. Views, so that a caller's literals and C texts are
// not copied for each line.
void AppendLogLine(std::string_view fixedPath, std::string_view tag, std::string_view text);

} // namespace TarnPlatform
