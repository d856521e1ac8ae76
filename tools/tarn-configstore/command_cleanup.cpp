// cleanup: removing what no installed schema describes any more.
#include <cstdio>

#include "commands.h"
#include "tarn/cleanup.h"
#include "tarn/platform/capture.h"

namespace TarnCli {

// The cleanup operations report a failure (no connection, a failed
// statement or removal) by a log line at priority 0 rather than by a result:
// those lines decide the exit status and are repeated on standard error.
int RunCleanup(const Args& args) {
    Operands ops = SplitOperands(args);
    if (ops.sawOption || ops.words.size() != 1) return Usage(FindCommand("cleanup"));
    const std::string& what = ops.words[0];
    auto lock = LockStore();
    TarnPlatform::Capture capture;
    if (what == "store") TarnConfigStore::CleanupStore(true);
    else if (what == "live-store") TarnConfigStore::CleanupStore(false);
    else if (what == "autoconf") TarnConfigStore::CleanupAutoConfig();
    else if (what == "datafiles") TarnConfigStore::CleanupDataFiles();
    else return Usage(FindCommand("cleanup"));
    int status = 0;
    for (const TarnPlatform::CapturedLine& line : capture.Logs()) {
        if (line.priority != 0) continue;
        std::fprintf(stderr, "tarn-configstore: %s\n", line.text.c_str());
        status = 1;
    }
    return status;
}

} // namespace TarnCli
