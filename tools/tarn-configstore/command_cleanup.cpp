// cleanup: removing what no installed schema describes any more.
#include "commands.h"
#include "tarn/cleanup.h"

namespace TarnCli {

int RunCleanup(const Args& args) {
    Operands ops = SplitOperands(args);
    if (ops.sawOption || ops.words.size() != 1) return Usage(FindCommand("cleanup"));
    const std::string& what = ops.words[0];
    if (what == "store") TarnConfigStore::CleanupStore(true);
    else if (what == "live-store") TarnConfigStore::CleanupStore(false);
    else if (what == "autoconf") TarnConfigStore::CleanupAutoConfig();
    else if (what == "datafiles") TarnConfigStore::CleanupDataFiles();
    else return Usage(FindCommand("cleanup"));
    return 0;
}

} // namespace TarnCli
