// Feeding command lines to the shell core: from -e arguments, from
// standard input, or from a readline prompt.
#include "line_sources.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include <readline/history.h>
#include <readline/readline.h>

#include "completion_prefix.h"
#include "tarn/knosh.h"

namespace KnoshFrontend {

namespace {

// With an expected status code the line runs as an argument vector, which
// is where that code decides success.
int RunExpectingStatus(const std::string& line) {
    if (line.empty() || line[0] == '#') return 0;
    std::vector<std::string> words;
    const char* start = nullptr;
    const char* end = nullptr;
    for (const char* p = line.c_str(); (p = KNOSHParseArgument(p, &start, &end));) {
        if (!end) return KNOSH_ParseAndExecCmd(line.c_str());  // reports the open quote
        words.emplace_back(start, end);
    }
    if (words.empty()) return 0;
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    return KNOSH_ExecCmd(static_cast<int>(argv.size()), argv.data());
}

char* GenerateCompletion(const char* text, int state) {
    static int looked = 0;  // candidates looked at for this text
    if (state == 0) looked = 0;
    return KNOSH_CommandGenerator(text, &looked);
}

char** Complete(const char* text, int, int) {
    rl_attempted_completion_over = 1;     // never fall back to file names
    rl_completion_append_character = '\0';  // a path goes on after its "/"
    char** matches = rl_completion_matches(text, GenerateCompletion);
    if (matches && matches[1]) {  // matches[0] is the shared beginning of several
        std::string common = CommonCompletion(text, matches[0]);
        if (common != matches[0]) {
            char* replaced = strdup(common.c_str());
            if (replaced) {
                free(matches[0]);
                matches[0] = replaced;
            }
        }
    }
    return matches;
}

} // namespace

int RunLine(const std::string& line) {
    fflush(stdout);
    int rc = options.expectStatus ? RunExpectingStatus(line) : KNOSH_ParseAndExecCmd(line.c_str());
    fflush(stdout);
    return rc;
}

int RunLines(const std::vector<std::string>& lines) {
    int result = 0;
    for (const std::string& line : lines) {
        if (int rc = RunLine(line)) result = rc;
        if (shellTerminate) break;
    }
    return result;
}

int RunStandardInput() {
    int result = 0;
    std::string line;
    while (!shellTerminate && std::getline(std::cin, line)) {
        if (int rc = RunLine(line)) result = rc;
    }
    return result;
}

int RunInteractive() {
    static char wordBreaks[] = " \t\n";  // paths may hold quotes and "/"
    rl_completer_word_break_characters = wordBreaks;
    rl_attempted_completion_function = Complete;
    while (!shellTerminate) {
        std::unique_ptr<char, decltype(&free)> line(readline(knoshPrompt), &free);
        if (!line) {
            fputc('\n', stdout);
            break;
        }
        if (*line) add_history(line.get());
        RunLine(line.get());
    }
    return 0;
}

} // namespace KnoshFrontend
