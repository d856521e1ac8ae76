// plan: what the next boot's desired-configuration step would change in the
// layers of the configuration, per object and instance; changes nothing.
#include <cstdio>
#include <string>

#include "commands.h"
#include "config_changes.h"
#include "tarn/boot_plan.h"

namespace TarnCli {
namespace {

void PrintTable(const TarnConfigStore::BootPlan& plan) {
    std::printf("next boot mode: %d\n", static_cast<int>(plan.bootMode));
    PrintChanges(plan.changes);
}

void PrintJson(const TarnConfigStore::BootPlan& plan) {
    JsonOutput w;
    w.StartObject();
    w.Key("bootMode");
    w.Int(static_cast<int>(plan.bootMode));
    w.Key("changes");
    WriteChanges(w, plan.changes);
    w.EndObject();
    w.Print();
}

} // namespace

int RunPlan(const Args& args) {
    bool json = false;
    if (!OnlyJsonOption(args, json)) return Usage(FindCommand("plan"));
    // The preview writes in a transaction it rolls back: a writer like any other.
    auto lock = LockStore();
    const TarnConfigStore::BootPlan plan = TarnConfigStore::PlanNextBoot();
    if (json) PrintJson(plan); else PrintTable(plan);
    return 0;
}

} // namespace TarnCli
