// plan: what the next boot will do, found by running it on copies of what it
// changes; changes nothing on the host.
#include <cstdio>
#include <string>

#include "commands.h"
#include "config_changes.h"
#include "tarn/boot_plan.h"
#include "tarn/generations.h"

namespace TarnCli {
namespace {

using TarnConfigStore::BootPlan;
using TarnConfigStore::RestoredFrom;

const char* RestoreName(RestoredFrom from) {
    switch (from) {
        case RestoredFrom::Nothing: return "none";
        case RestoredFrom::Backup: return "backup";
        case RestoredFrom::FirstBootBackup: return "first-boot backup";
        case RestoredFrom::NewStore: return "new store";
    }
    return "";
}

// The kept generation that the restored backup is; 0 when none is. The
// backup passed its integrity check in the rehearsal, so the generations
// need not be checked to find it.
int RestoredGeneration(const BootPlan& plan) {
    if (plan.restoredFrom != RestoredFrom::Backup) return 0;
    for (const TarnConfigStore::Generation& g : TarnConfigStore::ListGenerations(nullptr, false))
        if (g.restoredNext) return g.number;
    return 0;
}

std::string RestoreLine(const BootPlan& plan, int generation) {
    switch (plan.restoredFrom) {
        case RestoredFrom::Nothing: return "the live store as it is (no restore)";
        case RestoredFrom::Backup:
        case RestoredFrom::FirstBootBackup:
            return std::string("the ") + RestoreName(plan.restoredFrom) + " " + plan.backup +
                   (generation ? " (generation " + std::to_string(generation) + ")" : "");
        case RestoredFrom::NewStore:
            return plan.backup.empty() ? "a new store: no backup was found"
                                       : "a new store: the backup " + plan.backup + " cannot be restored";
    }
    return "";
}

void PrintLines(const char* heading, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    std::printf("%s\n", heading);
    for (const std::string& line : lines) std::printf("    %s\n", line.c_str());
}

void PrintTable(const BootPlan& plan, int generation) {
    std::printf("next boot restores: %s\n", RestoreLine(plan, generation).c_str());
    if (!plan.failure.empty()) std::printf("next boot fails: %s\n", plan.failure.c_str());
    else std::printf("next boot mode: %d\n", static_cast<int>(plan.bootMode));
    PrintChanges(plan.changes);
    PrintLines("system alerts it raises:", plan.alerts);
    PrintLines("events it raises:", plan.events);
}

void WriteTexts(JsonOutput& w, const char* key, const std::vector<std::string>& texts) {
    w.Key(key);
    w.StartArray();
    for (const std::string& text : texts) w.String(text);
    w.EndArray();
}

void PrintJson(const BootPlan& plan, int generation) {
    JsonOutput w;
    w.StartObject();
    w.Key("restore");
    w.StartObject();
    w.Key("from");
    w.String(RestoreName(plan.restoredFrom));
    w.Key("backup");
    if (plan.backup.empty()) w.Null(); else w.String(plan.backup);
    w.Key("generation");
    if (generation) w.Int(generation); else w.Null();
    w.EndObject();
    w.Key("bootMode");
    w.Int(static_cast<int>(plan.bootMode));
    w.Key("failure");
    if (plan.failure.empty()) w.Null(); else w.String(plan.failure);
    w.Key("changes");
    WriteChanges(w, plan.changes);
    WriteTexts(w, "alerts", plan.alerts);
    WriteTexts(w, "events", plan.events);
    w.EndObject();
    w.Print();
}

} // namespace

int RunPlan(const Args& args) {
    const ParsedArgs parsed = ParseArgs(args, {{"--json"}, {"--no-restore"}});
    AtMost(parsed.operands, 0);
    const bool json = parsed.Has("--json"), restore = !parsed.Has("--no-restore");
    // Nothing may change between the copies the rehearsal takes.
    auto lock = LockStore();
    const BootPlan plan = TarnConfigStore::PlanNextBoot(restore);
    const int generation = RestoredGeneration(plan);
    if (json) PrintJson(plan, generation); else PrintTable(plan, generation);
    return 0;
}

} // namespace TarnCli
