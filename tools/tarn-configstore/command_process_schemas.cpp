// process-schemas and refresh: registering crates' schema files and their
// defaults, and the refresh a live installation runs.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "tarn/platform/capture.h"
#include "tarn/schema_processing.h"

namespace TarnCli {
namespace {

// The operations answer true or false; on false the failure lines they
// logged say why and are repeated on standard error.
int Report(bool ok, const TarnPlatform::Capture& capture) {
    if (ok) return 0;
    for (const TarnPlatform::CapturedLine& line : capture.Logs())
        if (line.priority == 0) std::fprintf(stderr, "tarn-configstore: %s\n", line.text.c_str());
    return 1;
}

} // namespace

int RunProcessSchemas(const Args& args) {
    Operands ops = SplitOperands(args);
    if (ops.sawOption) return Usage(FindCommand("process-schemas"));
    auto lock = LockStore();
    TarnPlatform::Capture capture;
    return Report(TarnConfigStore::ProcessSchemas(ops.words), capture);
}

int RunRefresh(const Args& args) {
    std::vector<std::string> crates, modules;
    for (size_t i = 0; i < args.size(); i += 2) {
        if (i + 1 == args.size()) return Usage(FindCommand("refresh"));
        if (args[i] == "--crate") crates.push_back(args[i + 1]);
        else if (args[i] == "--module") modules.push_back(args[i + 1]);
        else return Usage(FindCommand("refresh"));
    }
    auto lock = LockStore();
    TarnPlatform::Capture capture;
    return Report(TarnConfigStore::RefreshConfigStore(crates, modules), capture);
}

} // namespace TarnCli
