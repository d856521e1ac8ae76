// boot-mode, autoconf, warden, boot-state: the boot-state records.
#include <cstdio>

#include "commands.h"
#include "tarn/boot_state.h"
#include "tarn/store_tables.h"
#include "tarn/upgrade_detection.h"
#include "write_check.h"

namespace TarnCli {
namespace {

// The one operand, one of two words: 0 for the first, 1 for the second.
size_t Choice(const Args& args, const char* first, const char* second) {
    const Args words = ParseArgs(args).operands;
    const size_t choice = Choose(words, {first, second});
    AtMost(words, 1);
    return choice;
}

} // namespace

int RunBootMode(const Args& args) {
    const Args words = ParseArgs(args).operands;
    AtMost(words, 1);
    if (words.empty()) {
        std::printf("%d\n", static_cast<int>(TarnConfigStore::GetBootMode()));
        return 0;
    }
    const std::string& n = words[0];
    if (n.size() != 1 || n[0] < '0' || n[0] > '3') throw UsageError("boot mode must be 0 to 3, not '" + n + "'");
    auto lock = LockStore();
    const WriteCheck check;
    TarnConfigStore::SetBootMode(static_cast<TarnConfigStore::BOOTMODE>(n[0] - '0'));
    check.ExpectStored(TarnConfigStore::KEY_BOOT_MODE, n, "boot mode " + n);
    return 0;
}

int RunAutoconf(const Args& args) {
    const size_t choice = Choice(args, "start", "end");
    auto lock = LockStore();
    const WriteCheck check;
    if (choice == 0) TarnConfigStore::StartAutoConf();
    else TarnConfigStore::EndAutoConf();
    check.ExpectStored(TarnConfigStore::KEY_IS_BOOT, choice == 0 ? "true" : "", "the auto-configuration marker");
    return 0;
}

int RunWarden(const Args& args) {
    const size_t choice = Choice(args, "on", "off");
    auto lock = LockStore();
    const WriteCheck check;
    TarnConfigStore::EnableWardenNotification(choice == 0);
    check.ExpectStored(TarnConfigStore::KEY_NOTIFY_WARDEN, choice == 0 ? "true" : "false", "the notification switch");
    return 0;
}

int RunBootState(const Args& args) {
    const Args words = ParseArgs(args).operands;
    Choose(words, {"cleanup"});
    AtMost(words, 1);
    auto lock = LockStore();
    const WriteCheck check;
    TarnConfigStore::CleanupBootState();
    check.ExpectStored(TarnConfigStore::BOOT_FS_UUID, TarnConfigStore::GetBootFsUUID(true),
                 "the boot file system's identity");
    return 0;
}

} // namespace TarnCli
