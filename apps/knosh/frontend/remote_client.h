// knosh --connect: a client of the knosh daemon's text protocol.
#pragma once

#include <string>
#include <vector>

namespace KnoshFrontend {

// Connects to the daemon on host, checks the definitions signature, then
// runs the lines (or, when lines is empty, standard input or a prompt).
// sigMismatchFatal: a signature the daemon refuses ends the client with 1.
// Exit status as for the local shell: 0, or 1 (command not found) or 2 (a
// failing line) for the last line that failed; 2 when the connection fails.
int RunRemote(const std::string& host, const std::vector<std::string>& lines, bool sigMismatchFatal);

} // namespace KnoshFrontend
