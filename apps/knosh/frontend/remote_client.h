// knosh --connect: a client of the knosh daemon's text protocol.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace KnoshFrontend {

// Connects to the daemon on port of host, checks the definitions signature
// (a refusal ends the client with 1 when options.sigMismatchFatal), then
// runs the lines (or, when lines is empty, standard input or a prompt) and
// prints what the local shell would print, in the value style of options.
// Exit status as for the local shell: 0, or 1 (command not found) or 2 (a
// failing line) for the last line that failed; 2 when the connection fails.
int RunRemote(const std::string& host, uint16_t port, const std::vector<std::string>& lines);

} // namespace KnoshFrontend
