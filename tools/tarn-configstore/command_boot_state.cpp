// boot-mode, autoconf, warden, boot-state: the boot-state records.
#include <cstdio>

#include "commands.h"
#include "tarn/boot_state.h"
#include "tarn/store_tables.h"
#include "tarn/upgrade_detection.h"
#include "write_check.h"

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
    auto lock = LockStore();
    const WriteCheck check;
    TarnConfigStore::SetBootMode(static_cast<TarnConfigStore::BOOTMODE>(n[0] - '0'));
    check.ExpectStored(TarnConfigStore::KEY_BOOT_MODE, n, "boot mode " + n);
    return 0;
}

int RunAutoconf(const Args& args) {
    const int choice = Choice(args, "start", "end");
    if (choice < 0) return Usage(FindCommand("autoconf"));
    auto lock = LockStore();
    const WriteCheck check;
    if (choice == 0) TarnConfigStore::StartAutoConf();
    else TarnConfigStore::EndAutoConf();
    check.ExpectStored(TarnConfigStore::KEY_IS_BOOT, choice == 0 ? "true" : "", "the auto-configuration marker");
    return 0;
}

int RunWarden(const Args& args) {
    const int choice = Choice(args, "on", "off");
    if (choice < 0) return Usage(FindCommand("warden"));
    auto lock = LockStore();
    const WriteCheck check;
    TarnConfigStore::EnableWardenNotification(choice == 0);
    check.ExpectStored(TarnConfigStore::KEY_NOTIFY_WARDEN, choice == 0 ? "true" : "false", "the notification switch");
    return 0;
}

int RunBootState(const Args& args) {
    Operands ops = SplitOperands(args);
    if (ops.sawOption || ops.words.size() != 1 || ops.words[0] != "cleanup") return Usage(FindCommand("boot-state"));
    auto lock = LockStore();
    const WriteCheck check;
    TarnConfigStore::CleanupBootState();
    check.ExpectStored(TarnConfigStore::BOOT_FS_UUID, TarnConfigStore::GetBootFsUUID(true),
                 "the boot file system's identity");
    return 0;
}

} // namespace TarnCli
