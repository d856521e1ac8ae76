// boot, setup-ramdisk: what the host's boot sequence runs.
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "commands.h"
#include "explained_error.h"
#include "tarn/boot.h"
#include "tarn/generations.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/kno/kno_tree.h"

namespace TarnCli {
namespace {

constexpr char kTreeFailurePrefix[] = "Kernel-info tree: ";
// The boot ran, but on a new store instead of the backup it was to restore.
constexpr int kExitNewStore = 3;

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

// A boot that could not use the backup and made a new store must say so where
// it was started, with the way back when a good generation is kept. Returns
// the exit status.
int ReportDiscardedBackup(const TarnConfigStore::RestoreReport& restore) {
    if (restore.from != TarnConfigStore::RestoredFrom::NewStore || restore.backup.empty()) return 0;
    std::fprintf(stderr,
                 "tarn-configstore: the backup %s could not be restored (see the boot log); this boot made a new "
                 "store and applied the boot configuration document\n",
                 TarnPlatform::HostPath(restore.backup).c_str());
    const auto generations = TarnConfigStore::ListGenerations();
    if (!generations.empty())
        std::fprintf(stderr,
                     "tarn-configstore: generation %d is whole: 'tarn-configstore rollback %d' and another boot "
                     "bring it back\n",
                     generations.back().number, generations.back().number);
    return kExitNewStore;
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
    TarnConfigStore::LoadOutcome outcome;
    if (TarnConfigStore::LoadStore(restore, &outcome) != 0) throw ExplainedError(outcome.failure, Causes(capture));
    return ReportDiscardedBackup(outcome.restore);
}

int RunSetupRamdisk(const Args& args) {
    AtMost(ParseArgs(args).operands, 0);
    TarnConfigStore::SetupStoreRamDisk();
    return 0;
}

} // namespace TarnCli
