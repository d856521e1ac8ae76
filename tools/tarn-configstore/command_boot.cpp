// boot, setup-ramdisk: what the host's boot sequence runs.
#include <cstdio>
#include <stdexcept>

#include "commands.h"
#include "tarn/boot.h"
#include "tarn/events.h"
#include "tarn/generations.h"
#include "tarn/platform/capture.h"

namespace TarnCli {
namespace {

constexpr char kFailurePrefix[] = "Generic ConfigStore Failure: ";
// The boot ran, but on a new store instead of the backup it was to restore.
constexpr int kExitNewStore = 3;

// The load reports why it failed as a system alert and a system-log line
// only; the line (written even when the alert cannot be raised) is the reason
// the caller gets.
std::string FailureReason(const TarnPlatform::Capture& capture) {
    for (const TarnPlatform::CapturedLine& line : capture.Syslog())
        if (line.text.rfind(kFailurePrefix, 0) == 0) return line.text;
    return "the store load failed";
}

// The restore logs and raises an event when it could not use the backup and
// made a new store; an operator must hear it where the boot was started,
// with the way back when a good generation is kept. Returns the exit status.
int ReportDiscardedBackup(const TarnPlatform::Capture& capture) {
    for (const TarnPlatform::CapturedEvent& event : capture.Events()) {
        if (event.id != TarnConfigStore::EVT_COPY_BACKUP_ERROR || event.args.empty()) continue;
        std::fprintf(stderr,
                     "tarn-configstore: the backup %s could not be restored (see the boot log); this boot made a new "
                     "store and applied the boot configuration document\n",
                     event.args[0].c_str());
        const auto generations = TarnConfigStore::ListGenerations();
        if (!generations.empty())
            std::fprintf(stderr,
                         "tarn-configstore: generation %d is whole: 'tarn-configstore rollback %d' and another boot "
                         "bring it back\n",
                         generations.back().number, generations.back().number);
        return kExitNewStore;
    }
    return 0;
}

} // namespace

int RunBoot(const Args& args) {
    bool restore = true;
    for (const std::string& a : args) {
        if (a == "--no-restore") restore = false;
        else return Usage(FindCommand("boot"));
    }
    // The boot waits for a writer already at work, however long it takes,
    // and holds the store until its last step.
    auto lock = LockStore(std::chrono::milliseconds(-1));
    TarnPlatform::Capture capture;
    if (TarnConfigStore::LoadStore(restore) != 0) throw std::runtime_error(FailureReason(capture));
    return ReportDiscardedBackup(capture);
}

int RunSetupRamdisk(const Args& args) {
    if (!args.empty()) return Usage(FindCommand("setup-ramdisk"));
    TarnConfigStore::SetupStoreRamDisk();
    return 0;
}

} // namespace TarnCli
