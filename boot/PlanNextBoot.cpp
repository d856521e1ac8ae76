#include "tarn/boot_plan.h"

#include <exception>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "boot/boot_rehearsal.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"

namespace TarnConfigStore {
namespace {

std::vector<ConfigLayerRow> LiveLayers() {
    const std::string live = TarnPlatform::HostPath(CONFIG_STORE_PATH);
    struct stat st;
    if (::stat(live.c_str(), &st) != 0) return {};
    try {
        return ReadConfigLayers(live);
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace

BootPlan PlanNextBoot(bool restore) {
    const std::vector<ConfigLayerRow> before = LiveLayers();
    RehearsedBoot boot = RehearseBoot(restore);
    BootPlan plan;
    plan.restoredFrom = boot.outcome.restore.from;
    plan.backup = boot.outcome.restore.backup;
    plan.bootMode = boot.outcome.bootMode;
    plan.failure = boot.outcome.failure;
    plan.changes = DiffConfigLayers(before, boot.layers);
    plan.alerts = std::move(boot.alerts);
    plan.events = std::move(boot.events);
    return plan;
}

} // namespace TarnConfigStore
