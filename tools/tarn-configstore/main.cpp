// tarn-configstore: management CLI of the configuration store.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "commands.h"

namespace TarnCli {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"create", "create", "create the store databases that are missing", &RunCreate},
        {"backup", "backup [SRC DST]",
         "copy a store database online (default: the live configuration store to its backup)", &RunBackup},
        {"show", "show [--json]", "list the configuration objects with their layers", &RunShow},
    };
    return commands;
}

const Command& FindCommand(const std::string& name) {
    for (const Command& c : Commands())
        if (name == c.name) return c;
    std::abort();  // only called with names from the table
}

int Usage(const Command& command) {
    std::fprintf(stderr, "usage: tarn-configstore [--root DIR] %s\n", command.synopsis);
    return 2;
}

bool WantsHelp(const Command& command, const Args& args) {
    if (args.size() != 1 || (args[0] != "--help" && args[0] != "-h")) return false;
    std::printf("usage: tarn-configstore [--root DIR] %s\n\n%s\n", command.synopsis, command.summary);
    return true;
}

} // namespace TarnCli

namespace {

void PrintHelp(FILE* out) {
    std::fprintf(out,
                 "usage: tarn-configstore [--root DIR] COMMAND [ARGS]\n\n"
                 "Manage a host's configuration store.\n\n"
                 "options:\n"
                 "  --root DIR   work on the host whose root is DIR (default: $TARN_ROOT, else /)\n"
                 "  -h, --help   show this help\n\n"
                 "commands:\n");
    for (const TarnCli::Command& c : TarnCli::Commands()) std::fprintf(out, "  %-18s %s\n", c.synopsis, c.summary);
    std::fprintf(out, "\nRun 'tarn-configstore COMMAND --help' for a command's help.\n");
}

} // namespace

int main(int argc, char** argv) {
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            PrintHelp(stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--root") && i + 1 < argc) {
            // Before anything reads the host root: it is taken once per process.
            setenv("TARN_ROOT", argv[++i], 1);
        } else if (!std::strncmp(argv[i], "--root=", 7)) {
            setenv("TARN_ROOT", argv[i] + 7, 1);
        } else {
            std::fprintf(stderr, "tarn-configstore: unknown option '%s'\n", argv[i]);
            PrintHelp(stderr);
            return 2;
        }
    }
    if (i == argc) {
        PrintHelp(stderr);
        return 2;
    }
    const std::string name = argv[i];
    for (const TarnCli::Command& command : TarnCli::Commands()) {
        if (name != command.name) continue;
        TarnCli::Args args(argv + i + 1, argv + argc);
        if (TarnCli::WantsHelp(command, args)) return 0;
        try {
            return command.run(args);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tarn-configstore: %s\n", e.what());
            return 1;
        }
    }
    std::fprintf(stderr, "tarn-configstore: unknown command '%s'\n", name.c_str());
    PrintHelp(stderr);
    return 2;
}
