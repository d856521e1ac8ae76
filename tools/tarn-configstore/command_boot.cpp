// boot, setup-ramdisk: what the host's boot sequence runs.
#include <cstdio>
#include <stdexcept>

#include "commands.h"
#include "tarn/boot.h"
#include "tarn/platform/capture.h"

namespace TarnCli {
namespace {

constexpr char kFailurePrefix[] = "Generic ConfigStore Failure: ";

// The load reports why it failed as a system alert and a system-log line
// only; the line (written even when the alert cannot be raised) is the reason
// the caller gets.
std::string FailureReason(const TarnPlatform::Capture& capture) {
    for (const TarnPlatform::CapturedLine& line : capture.Syslog())
        if (line.text.rfind(kFailurePrefix, 0) == 0) return line.text;
    return "the store load failed";
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
    return 0;
}

int RunSetupRamdisk(const Args& args) {
    if (!args.empty()) return Usage(FindCommand("setup-ramdisk"));
    TarnConfigStore::SetupStoreRamDisk();
    return 0;
}

} // namespace TarnCli
