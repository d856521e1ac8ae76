// generations: the kept backups an operator can roll back to.
#include <cstdio>
#include <ctime>
#include <string>

#include "commands.h"
#include "config_changes.h"
#include "tarn/generations.h"
#include "tarn/rapidjson.h"

namespace TarnCli {
namespace {

std::string Utc(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    char text[32] = "";
    if (gmtime_r(&t, &tm)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

// "Config +3 ~10 -2, KVTable ~1" (added, changed, removed rows of each table
// that differs), or "no change".
std::string ChangeSummary(const std::vector<TarnConfigStore::TableChange>& changes) {
    std::string out;
    for (const auto& c : changes) {
        if (!c.added && !c.changed && !c.removed) continue;
        out += out.empty() ? "" : ", ";
        out += c.table;
        if (c.added) out += " +" + std::to_string(c.added);
        if (c.changed) out += " ~" + std::to_string(c.changed);
        if (c.removed) out += " -" + std::to_string(c.removed);
    }
    return out.empty() ? "no change" : out;
}

struct Listed {
    TarnConfigStore::Generation generation;
    std::vector<TarnConfigStore::TableChange> changes;
    bool first;  // nothing kept before it to compare with
};

void PrintJson(const std::vector<Listed>& list) {
    JsonOutput w;
    w.StartArray();
    for (const Listed& l : list) {
        w.StartObject();
        w.Key("generation");
        w.Int(l.generation.number);
        w.Key("time");
        w.String(Utc(l.generation.time));
        w.Key("bootFsUuid");
        w.String(l.generation.bootFsUuid);
        w.Key("restoredNext");
        w.Bool(l.generation.restoredNext);
        w.Key("changes");
        if (l.first) {
            w.Null();
        } else {
            w.StartArray();
            for (const auto& c : l.changes) {
                if (!c.added && !c.changed && !c.removed) continue;
                w.StartObject();
                w.Key("table");
                w.String(c.table);
                w.Key("added");
                w.Int64(c.added);
                w.Key("changed");
                w.Int64(c.changed);
                w.Key("removed");
                w.Int64(c.removed);
                w.EndObject();
            }
            w.EndArray();
        }
        w.EndObject();
    }
    w.EndArray();
    w.Print();
}

// The generation of a number given on the command line, among those that
// pass the integrity check.
const TarnConfigStore::Generation* Find(const std::vector<TarnConfigStore::Generation>& list, const std::string& word) {
    for (const auto& g : list)
        if (std::to_string(g.number) == word) return &g;
    return nullptr;
}

// generations diff A B [--json]: what differs in the layers of Config from
// generation A to generation B, as plan shows the next boot's changes.
int RunDiff(const Args& args, bool json) {
    if (args.size() < 2) throw UsageError("diff needs two generations, A and B");
    AtMost(args, 2);
    const auto list = TarnConfigStore::ListGenerations();
    const TarnConfigStore::Generation* from = Find(list, args[0]);
    const TarnConfigStore::Generation* to = Find(list, args[1]);
    for (const auto& [word, found] : {std::pair{args[0], from}, std::pair{args[1], to}})
        if (!found) {
            std::fprintf(stderr, "tarn-configstore: no generation %s that passes the integrity check\n", word.c_str());
            return 1;
        }
    const auto changes = TarnConfigStore::DiffConfigLayers(TarnConfigStore::ReadConfigLayers(from->path),
                                                           TarnConfigStore::ReadConfigLayers(to->path));
    if (!json) {
        PrintChanges(changes);
        return 0;
    }
    JsonOutput w;
    WriteChanges(w, changes);
    w.Print();
    return 0;
}

} // namespace

int RunGenerations(const Args& args) {
    const ParsedArgs parsed = ParseArgs(args, {{"--json"}});
    const bool json = parsed.Has("--json");
    if (!parsed.operands.empty()) {
        Choose(parsed.operands, {"diff"});
        return RunDiff(Args(parsed.operands.begin() + 1, parsed.operands.end()), json);
    }
    std::vector<int> damaged;
    std::vector<Listed> list;
    const auto generations = TarnConfigStore::ListGenerations(&damaged);
    for (std::size_t i = 0; i < generations.size(); ++i) {
        // What changed is worked out here rather than at backup time, which
        // then costs no more than the copy.
        Listed l{generations[i], {}, i == 0};
        if (i > 0) l.changes = TarnConfigStore::CompareStores(generations[i - 1].path, generations[i].path);
        list.push_back(l);
    }
    for (int n : damaged)
        std::fprintf(stderr, "tarn-configstore: generation %d fails the integrity check; not offered\n", n);
    if (json) {
        PrintJson(list);
    } else if (list.empty()) {
        std::printf("(no generations)\n");
    } else {
        for (const Listed& l : list)
            std::printf("%d\t%s\t%s\t%s%s\n", l.generation.number, Utc(l.generation.time).c_str(),
                        l.generation.bootFsUuid.empty() ? "-" : l.generation.bootFsUuid.c_str(),
                        l.first ? "(oldest kept)" : ChangeSummary(l.changes).c_str(),
                        l.generation.restoredNext ? "\t(the next boot restores it)" : "");
    }
    return 0;
}

} // namespace TarnCli
