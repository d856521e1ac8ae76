// rollback: the next boot restores an earlier generation.
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "commands.h"
#include "tarn/generations.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"

namespace TarnCli {
namespace {

void PrintNextBootChanges(const std::string& generation) {
    const std::string live = TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH);
    struct stat st;
    if (::stat(live.c_str(), &st) != 0) {
        std::printf("There is no live store; the next boot starts from this generation.\n");
        return;
    }
    bool any = false;
    for (const auto& c : TarnConfigStore::CompareStores(live, generation)) {
        if (!c.added && !c.changed && !c.removed) continue;
        if (!any) std::printf("Against the live store the next boot changes:\n");
        any = true;
        std::printf("  %s: %lld -> %lld rows (%lld added, %lld changed, %lld removed)\n", c.table.c_str(),
                    static_cast<long long>(c.rowsBefore), static_cast<long long>(c.rowsAfter),
                    static_cast<long long>(c.added), static_cast<long long>(c.changed),
                    static_cast<long long>(c.removed));
    }
    if (!any) std::printf("It holds the same rows as the live store.\n");
}

} // namespace

int RunRollback(const Args& args) {
    const ParsedArgs parsed = ParseArgs(args, {{"--changes"}});
    const Args& words = parsed.operands;
    AtMost(words, 1);
    int wanted = 0;
    if (words.size() == 1 && (!ParseCount(words[0], 999999999, &wanted) || wanted == 0))
        throw UsageError("a generation is a number from 1 on, not '" + words[0] + "'");
    auto lock = LockStore();
    // Only the generation rolled back to is checked: a damaged one is
    // refused when named, and passed over when the choice is ours.
    auto generations = TarnConfigStore::ListGenerations(nullptr, false);
    for (;;) {
        auto chosen = words.empty() ? TarnConfigStore::UndoTarget(generations) : nullptr;
        for (const auto& g : generations)
            if (g.number == wanted) chosen = &g;
        if (!chosen && words.empty()) {
            std::fprintf(stderr, "tarn-configstore: no generation before the one the next boot restores that holds "
                                 "no pending desired configuration\n");
            return 1;
        }
        if (!chosen) {
            std::fprintf(stderr, "tarn-configstore: no generation %d\n", wanted);
            return 1;
        }
        if (TarnConfigStore::RollBackTo(*chosen)) {
            std::printf("The next boot restores generation %d%s. Nothing changes in the live store until then; a\n"
                        "backup before it replaces this one.\n",
                        chosen->number, chosen->pendingDesired ? " and applies the desired configuration it holds" : "");
            // Comparing every row of two stores costs more than the check
            // itself: only on request.
            if (parsed.Has("--changes")) PrintNextBootChanges(chosen->path);
            return 0;
        }
        if (!words.empty()) {
            std::fprintf(stderr, "tarn-configstore: generation %d fails the integrity check; not rolled back\n",
                         wanted);
            return 1;
        }
        generations.erase(generations.begin() + (chosen - generations.data()));
    }
}

} // namespace TarnCli
