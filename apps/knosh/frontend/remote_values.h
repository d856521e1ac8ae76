// The value commands through the daemon. The daemon sends what get and cat
// read, and what set of a data node gives back, as the node's raw bytes;
// the client prints them with its local definitions (whose signature the
// daemon checked against its own) and its value style, as the local shell
// would.
#pragma once

#include <string>
#include <vector>

#include "remote_connection.h"

namespace KnoshFrontend {

// Runs line, split into words as the shell splits it, when it is a
// value command with raw replies: get or cat of each path in turn, stopping
// at the first that fails, or set of a data node. Returns false for any
// other line, which the caller sends as it is; else status is the line's
// status, or -1 when the connection was lost.
bool RunValueCommand(Connection& connection, const std::string& line, const std::vector<std::string>& words,
                     int& status);

} // namespace KnoshFrontend
