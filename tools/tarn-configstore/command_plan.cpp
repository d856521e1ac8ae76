// plan: what the next boot's desired-configuration step would change in the
// layers of the configuration, per object and instance; changes nothing.
#include <cstdio>
#include <string>

#include "commands.h"
#include "tarn/boot_plan.h"
#include "tarn/rapidjson.h"

namespace TarnCli {
namespace {

using TarnConfigStore::ConfigChangeKind;
using TarnConfigStore::ConfigRowChange;

constexpr const char* kKindNames[] = {"added", "changed", "removed"};
constexpr char kKindSigns[] = {'+', '~', '-'};

const char* KindName(ConfigChangeKind kind) { return kKindNames[static_cast<int>(kind)]; }

// The layers a change shows: each that differs (for an added or removed
// row, each that it holds).
bool Shows(const ConfigRowChange& c, size_t layer) { return c.before[layer] != c.after[layer]; }

std::string Object(const ConfigRowChange& c) {
    std::string key = c.component + "/" + c.group + "/" + c.name;
    return c.identifier.empty() ? key : key + "[" + c.identifier + "]";
}

std::string Shown(const std::optional<std::string>& value) {
    return !value ? "(none)" : value->empty() ? "(empty)" : *value;
}

void PrintTable(const TarnConfigStore::BootPlan& plan) {
    std::printf("next boot mode: %d\n", static_cast<int>(plan.bootMode));
    size_t counts[3] = {};
    for (const ConfigRowChange& c : plan.changes) {
        ++counts[static_cast<int>(c.kind)];
        std::printf("%c %s\n", kKindSigns[static_cast<int>(c.kind)], Object(c).c_str());
        for (size_t layer = 0; layer < c.before.size(); ++layer) {
            if (!Shows(c, layer)) continue;
            const char* name = TarnConfigStore::CONFIG_LAYER_NAMES[layer];
            if (c.kind == ConfigChangeKind::Changed)
                std::printf("    %-7s %s -> %s\n", name, Shown(c.before[layer]).c_str(), Shown(c.after[layer]).c_str());
            else
                std::printf("    %-7s %s\n", name, Shown(c.before[layer] ? c.before[layer] : c.after[layer]).c_str());
        }
    }
    std::printf("%zu added, %zu changed, %zu removed\n", counts[0], counts[1], counts[2]);
}

// A layer value as JSON when it is JSON, else as its text; null when absent.
void WriteLayer(rapidjson::Writer<rapidjson::StringBuffer>& w, const std::optional<std::string>& value) {
    rapidjson::Document parsed;
    if (!value) w.Null();
    else if (!TarnJson::Parse(parsed, *value)) w.String(*value);
    else parsed.Accept(w);
}

void PrintJson(const TarnConfigStore::BootPlan& plan) {
    rapidjson::StringBuffer out;
    rapidjson::Writer<rapidjson::StringBuffer> w(out);
    w.StartObject();
    w.Key("bootMode");
    w.Int(static_cast<int>(plan.bootMode));
    w.Key("changes");
    w.StartArray();
    for (const ConfigRowChange& c : plan.changes) {
        w.StartObject();
        const std::pair<const char*, const std::string*> fields[] = {
            {"component", &c.component}, {"group", &c.group}, {"name", &c.name}, {"identifier", &c.identifier}};
        for (const auto& [key, value] : fields) {
            w.Key(key);
            w.String(*value);
        }
        w.Key("change");
        w.String(KindName(c.kind));
        w.Key("layers");
        w.StartObject();
        for (size_t layer = 0; layer < c.before.size(); ++layer) {
            if (!Shows(c, layer)) continue;
            w.Key(TarnConfigStore::CONFIG_LAYER_NAMES[layer]);
            w.StartObject();
            w.Key("before");
            WriteLayer(w, c.before[layer]);
            w.Key("after");
            WriteLayer(w, c.after[layer]);
            w.EndObject();
        }
        w.EndObject();
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    std::printf("%s\n", out.GetString());
}

} // namespace

int RunPlan(const Args& args) {
    if (args.size() > 1 || (args.size() == 1 && args[0] != "--json")) return Usage(FindCommand("plan"));
    const TarnConfigStore::BootPlan plan = TarnConfigStore::PlanNextBoot();
    if (args.empty()) PrintTable(plan); else PrintJson(plan);
    return 0;
}

} // namespace TarnCli
