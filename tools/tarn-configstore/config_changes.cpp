#include "config_changes.h"

#include <cstdio>
#include <string>

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

} // namespace

void PrintChanges(const std::vector<ConfigRowChange>& changes) {
    size_t counts[3] = {};
    for (const ConfigRowChange& c : changes) {
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

void WriteChanges(JsonOutput& w, const std::vector<ConfigRowChange>& changes) {
    w.StartArray();
    for (const ConfigRowChange& c : changes) {
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
            w.Layer(c.before[layer]);
            w.Key("after");
            w.Layer(c.after[layer]);
            w.EndObject();
        }
        w.EndObject();
        w.EndObject();
    }
    w.EndArray();
}

} // namespace TarnCli
