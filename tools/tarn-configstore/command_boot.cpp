// boot, setup-ramdisk: what the host's boot sequence runs.
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "commands.h"
#include "explained_error.h"
#include "tarn/boot.h"
#include "tarn/events.h"
#include "tarn/generations.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/kno/kno_tree.h"

namespace TarnCli {
namespace {

constexpr char kFailurePrefix[] = "Generic ConfigStore Failure: ";
constexpr char kTreeFailurePrefix[] = "Kernel-info tree: ";
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

// The load's failure texts are fixed and name the step that failed; the cause,
// when the program can name it, is in the lines logged before. The kernel-info
// tree's loader logs the file and what is wrong with it.
std::string Causes(const TarnPlatform::Capture& capture) {
    std::string causes;
    for (const TarnPlatform::CapturedLine& line : capture.Logs())
        if (line.priority == 0 && line.text.rfind(kTreeFailurePrefix, 0) == 0) causes += "cause: " + line.text + "\n";
    struct stat st;
    if (!causes.empty() && ::stat(KNO_LiveTreePath(), &st) != 0)
        causes += std::string("the host's kernel provides the kernel-info tree; on a host root made by hand, put one at ") +
                  KNO_LiveTreePath() + " (the sample host has one: examples/host/var/run/kno/tree.json)\n";
    return causes;
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
    const ParsedArgs parsed = ParseArgs(args, {{"--no-restore"}});
    AtMost(parsed.operands, 0);
    const bool restore = !parsed.Has("--no-restore");
    // The boot waits for a writer already at work, however long it takes,
    // and holds the store until its last step.
    auto lock = LockStore(std::chrono::milliseconds(-1));
    TarnPlatform::Capture capture;
    // Explained even when no cause is found: the advice for a missing store
    // is to run this command.
    if (TarnConfigStore::LoadStore(restore) != 0) throw ExplainedError(FailureReason(capture), Causes(capture));
    return ReportDiscardedBackup(capture);
}

int RunSetupRamdisk(const Args& args) {
    AtMost(ParseArgs(args).operands, 0);
    TarnConfigStore::SetupStoreRamDisk();
    return 0;
}

} // namespace TarnCli
