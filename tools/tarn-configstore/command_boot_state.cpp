// boot-mode, autoconf, warden, boot-state: the boot-state records.
#include <cstdio>

#include "commands.h"
#include "tarn/boot_state.h"

namespace TarnCli {
namespace {

// One operand that must be one of two words; returns 0 or 1, -1 otherwise.
int Choice(const Args& args, const char* first, const char* second) {
    Operands ops = SplitOperands(args);
    if (ops.sawOption || ops.words.size() != 1) return -1;
    if (ops.words[0] == first) return 0;
    if (ops.words[0] == second) return 1;
    return -1;
}

} // namespace

int RunBootMode(const Args& args) {
    Operands ops = SplitOperands(args);
    if (ops.sawOption || ops.words.size() > 1) return Usage(FindCommand("boot-mode"));
    if (ops.words.empty()) {
        std::printf("%d\n", static_cast<int>(TarnConfigStore::GetBootMode()));
        return 0;
    }
    const std::string& n = ops.words[0];
    if (n.size() != 1 || n[0] < '0' || n[0] > '3') return Usage(FindCommand("boot-mode"));
    TarnConfigStore::SetBootMode(static_cast<TarnConfigStore::BOOTMODE>(n[0] - '0'));
    return 0;
}

int RunAutoconf(const Args& args) {
    switch (Choice(args, "start", "end")) {
        case 0: TarnConfigStore::StartAutoConf(); return 0;
        case 1: TarnConfigStore::EndAutoConf(); return 0;
        default: return Usage(FindCommand("autoconf"));
    }
}

int RunWarden(const Args& args) {
    int choice = Choice(args, "on", "off");
    if (choice < 0) return Usage(FindCommand("warden"));
    TarnConfigStore::EnableWardenNotification(choice == 0);
    return 0;
}

int RunBootState(const Args& args) {
    Operands ops = SplitOperands(args);
    if (ops.sawOption || ops.words.size() != 1 || ops.words[0] != "cleanup") return Usage(FindCommand("boot-state"));
    TarnConfigStore::CleanupBootState();
    return 0;
}

} // namespace TarnCli
