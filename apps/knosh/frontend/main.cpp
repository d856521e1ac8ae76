// knosh: a shell over the kernel-info tree. Fills the shell core's options
// from the command line, starts it and feeds it command lines.
#include <getopt.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "line_sources.h"
#include "option_values.h"
#include "remote_client.h"
#include "tarn/knosh.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/kno/kes_status.h"
#include "tarn/platform/kno/kno.h"

namespace {

const char* const kUsage =
    "Usage: knosh [options]\n"
    "       knosh -d [options]            run the daemon\n"
    "       knosh --connect HOST [options]  a client of the daemon on HOST\n"
    "A shell over the kernel-info tree.\n"
    "\n"
    "  -c FILE   read the tree from FILE instead of the live kernel\n"
    "  -r PATH   use the node at PATH as the root\n"
    "  -l N      diagnostic log level (negative: silent)\n"
    "  -R        raw output\n"
    "  -p        python-literal output\n"
    "  -n        take instance keys as typed (no check against the instance lists)\n"
    "  -s CODE   a command succeeds when its status code name is CODE (e.g. KES_BAD_PARAM)\n"
    "  -w        a definitions signature mismatch only warns\n"
    "  -e LINE   run LINE and exit; repeatable, run in order\n"
    "  --root DIR  the host whose root is DIR: its live tree (default: $TARN_ROOT, else /)\n"
    "  -h, --help  this help\n"
    "  --version   print the version\n"
    "  -d        detach and serve remote clients on TCP port 56303 of every address,\n"
    "            WITHOUT AUTHENTICATION: whoever reaches the port reads and writes every node;\n"
    "            the exit status says whether the daemon listens\n"
    "  --listen ADDR  with -d: listen on the IPv4 address ADDR only (e.g. 127.0.0.1)\n"
    "  --port N  with -d or --connect: TCP port N instead of 56303\n"
    "  --connect HOST\n"
    "            send the lines to the daemon on HOST (port 56303) and print its replies\n"
    "            as the local shell prints them; -c FILE gives the local definitions, whose\n"
    "            signature is checked and with which values are printed\n"
    "\n"
    "Without -e, command lines are read from a prompt on a terminal, else one per\n"
    "line from standard input. Exit status: 0, or 1 (command not found) or 2 (a\n"
    "failing command) for the last line that failed. Type 'help' for the commands.\n";

// A status code name; "KES_UNKNOWN" is the name every status outside the
// table gets, so it may be expected too.
bool IsStatusCodeName(const char* text) {
    return KES_CodeStrToReturnStatus(text, nullptr) || std::string(text) == "KES_UNKNOWN";
}

int UsageError(const char* format, const char* value) {
    fputs("knosh: ", stderr);
    fprintf(stderr, format, value);
    fputc('\n', stderr);
    fputs(kUsage, stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> lines;
    const char* connectHost = nullptr;
    const char* listenAddress = nullptr;
    uint16_t port = 0;
    bool daemon = false;
    static const option longOptions[] = {{"connect", required_argument, nullptr, 'C'},
                                         {"listen", required_argument, nullptr, 'L'},
                                         {"port", required_argument, nullptr, 'P'},
                                         {"root", required_argument, nullptr, 'o'},
                                         {"help", no_argument, nullptr, 'h'},
                                         {"version", no_argument, nullptr, 'V'},
                                         {nullptr, 0, nullptr, 0}};
    int opt;
    while ((opt = getopt_long(argc, argv, "c:r:l:Rpns:we:hd", longOptions, nullptr)) != -1) {
        switch (opt) {
        case 'c': options.cacheFile = optarg; break;
        case 'r': options.rootPath = optarg; break;
        case 'l':
            if (!KnoshFrontend::ReadLogLevel(optarg, options.logLevel))
                return UsageError("invalid log level '%s'", optarg);
            break;
        case 'R': options.rawOutput = 1; break;
        case 'p': options.pythonOutput = 1; break;
        case 'n': options.noInstanceCheck = 1; break;
        case 's':
            if (!IsStatusCodeName(optarg)) return UsageError("invalid status code name '%s'", optarg);
            options.expectStatus = 1;
            options.expectedStatusCode = optarg;
            break;
        case 'w': options.sigMismatchFatal = 0; break;
        case 'e': lines.emplace_back(optarg); break;
        case 'h': fputs(kUsage, stdout); return 0;
        case 'V': printf("knosh %s\n", TARN_VERSION); return 0;
        case 'd': daemon = true; break;
        case 'C': connectHost = optarg; break;
        case 'L':
            if (!KnoshFrontend::IsIPv4Address(optarg)) return UsageError("invalid listen address '%s'", optarg);
            listenAddress = optarg;
            break;
        case 'P':
            if (!KnoshFrontend::ReadPort(optarg, port)) return UsageError("invalid port '%s'", optarg);
            break;
        case 'o':
            if (!TarnPlatform::SetHostRoot(optarg)) return UsageError("host root '%s' is not a directory", optarg);
            break;
        default: fputs(kUsage, stderr); return 2;
        }
    }
    if (optind < argc) {
        fprintf(stderr, "knosh: unexpected argument '%s'\n", argv[optind]);
        fputs(kUsage, stderr);
        return 2;
    }

    if (daemon && (connectHost || !lines.empty())) return UsageError("%s", "-d takes no --connect or -e");
    if (listenAddress && !daemon) return UsageError("%s", "--listen goes with -d");
    if (port && !daemon && !connectHost) return UsageError("%s", "--port goes with -d or --connect");
    if (!port) port = KNOSH_DAEMON_PORT;
    if (connectHost) {
        // Only the local definitions are needed here, for their signature.
        if (options.cacheFile && KNO_UseCache(options.cacheFile, options.logLevel) != KES_OK) return 1;
        return KnoshFrontend::RunRemote(connectHost, port, lines);
    }
    KNOSH_Init();
    if (daemon) {
        options.daemonMode = 1;
        KNOSHDaemonAt(listenAddress, port);
    }
    if (!lines.empty()) return KnoshFrontend::RunLines(lines);
    if (isatty(STDIN_FILENO)) return KnoshFrontend::RunInteractive();
    return KnoshFrontend::RunStandardInput();
}
