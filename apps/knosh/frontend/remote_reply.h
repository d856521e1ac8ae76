// A text-mode reply of the daemon taken apart into what the local shell
// would have written to standard output and the error messages that end it.
// The daemon sends an error as its message and "\n" in the stream of the
// reply; the local shell writes "Error: " and the message on standard error
// and the newline on standard output.
#pragma once

#include <string>
#include <vector>

namespace KnoshFrontend {

struct Reply {
    std::string output;               // everything before the errors
    std::vector<std::string> errors;  // in order, without the daemon's "\n"
    int status = 0;                   // of the last error: 1 command not found, 2 a failure
};

// Peels the shell's error messages off the end of text (the messages a
// failed line ends with); the rest is output.
Reply DecodeReply(const std::string& text);

// Writes the errors as the local shell does; returns the reply's status.
int PrintErrors(const Reply& reply);

} // namespace KnoshFrontend
