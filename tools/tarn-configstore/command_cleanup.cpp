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
    const Args words = ParseArgs(args).operands;
    const size_t what = Choose(words, {"store", "live-store", "autoconf", "datafiles"});
    AtMost(words, 1);
    auto lock = LockStore();
    TarnPlatform::Capture capture;
    if (what == 0) TarnConfigStore::CleanupStore(true);
    else if (what == 1) TarnConfigStore::CleanupStore(false);
    else if (what == 2) TarnConfigStore::CleanupAutoConfig();
    else TarnConfigStore::CleanupDataFiles();
    int status = 0;
    for (const TarnPlatform::CapturedLine& line : capture.Logs()) {
        if (line.priority != 0) continue;
        std::fprintf(stderr, "tarn-configstore: %s\n", line.text.c_str());
        status = 1;
    }
    return status;
}

} // namespace TarnCli
