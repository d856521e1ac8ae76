// Starting the tarn-configstore program as a child on the test's host root.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "support/test_support.h"
#include "tarn/platform/host_root.h"

namespace TarnTest {

struct CliResult {
    int status;  // -1 when killed
    std::string out, err;
};

// The shell command that runs the program (on the test's host root unless onRoot is false).
inline std::string CliCommand(const std::vector<std::string>& args, bool onRoot = true) {
    std::string command = TarnPlatform::ShellQuote(TARN_CLI) + (onRoot ? " --root " + TarnPlatform::ShellQuote(Root()) : "");
    for (const std::string& a : args) command += " " + TarnPlatform::ShellQuote(a);
    return command;
}

inline CliResult RunCli(const std::vector<std::string>& args, bool onRoot = true) {
    const std::string out = Root() + "/cli.out", err = Root() + "/cli.err";
    const std::string redirected = " >" + TarnPlatform::ShellQuote(out) + " 2>" + TarnPlatform::ShellQuote(err);
    const int rc = std::system((CliCommand(args, onRoot) + redirected).c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ReadFile(out), ReadFile(err)};
}

inline void CopySampleHost() { std::filesystem::copy(TARN_EXAMPLE_HOST, Root(), std::filesystem::copy_options::recursive); }

} // namespace TarnTest
