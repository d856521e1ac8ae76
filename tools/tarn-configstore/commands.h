// Subcommands of the management CLI. Each takes the arguments after its name
// and returns the program's exit status.
#pragma once

#include <string>
#include <vector>

namespace TarnCli {

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* synopsis;  // arguments, for usage lines
    const char* summary;
    int (*run)(const Args& args);
};

const std::vector<Command>& Commands();

int RunCreate(const Args& args);
int RunBackup(const Args& args);
int RunShow(const Args& args);

// Prints "usage: tarn-configstore <synopsis>" for the command to stderr; returns 2.
int Usage(const Command& command);
const Command& FindCommand(const std::string& name);

// True when args is exactly {"--help"} or {"-h"}; prints the command's help.
bool WantsHelp(const Command& command, const Args& args);

} // namespace TarnCli
