// Where knosh takes its command lines from, and how one line is run.
#pragma once

#include <string>
#include <vector>

namespace KnoshFrontend {

// Runs one command line; 0, 1 or 2 as the shell core reports it.
int RunLine(const std::string& line);

// Runs the lines in order until one quits the shell. The result is that of
// the last failing line, else 0.
int RunLines(const std::vector<std::string>& lines);

// One command line per line of standard input, same result rule.
int RunStandardInput();

// A prompt with history and tab completion on a terminal; 0.
int RunInteractive();

} // namespace KnoshFrontend
