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
    const Args crates = ParseArgs(args).operands;
    auto lock = LockStore();
    TarnPlatform::Capture capture;
    return Report(TarnConfigStore::ProcessSchemas(crates), capture);
}

int RunRefresh(const Args& args) {
    const ParsedArgs parsed = ParseArgs(args, {{"--crate", "ID"}, {"--module", "PATH"}});
    AtMost(parsed.operands, 0);
    auto lock = LockStore();
    TarnPlatform::Capture capture;
    return Report(TarnConfigStore::RefreshConfigStore(parsed.Values("--crate"), parsed.Values("--module")), capture);
}

} // namespace TarnCli
