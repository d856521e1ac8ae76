// image: the crate map of the host's image database, and its dump file.
#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "json_output.h"
#include "tarn/image.h"
#include "tarn/platform/host_root.h"
#include "tarn/rapidjson.h"

namespace TarnCli {
namespace {

using Crate = std::pair<std::string, TarnImage::CrateInfo>;

// By id: the map's own order changes with its size.
std::vector<Crate> SortedCrates() {
    const auto map = TarnImage::GetTarnImage();
    std::vector<Crate> crates(map.begin(), map.end());
    std::sort(crates.begin(), crates.end(), [](const Crate& a, const Crate& b) { return a.first < b.first; });
    return crates;
}

void PrintTable(const std::vector<Crate>& crates) {
    for (const auto& [id, crate] : crates) {
        std::string payloads;
        for (const std::string& p : crate.payloads) payloads += (payloads.empty() ? "" : ",") + p;
        std::printf("%s\t%s\t%s\t%s\t%d\t%s\n", id.c_str(), crate.name.c_str(), crate.version.c_str(),
                    crate.vendor.c_str(), crate.restrictStickyFiles ? 1 : 0, payloads.c_str());
    }
}

void PrintJson(const std::vector<Crate>& crates) {
    JsonOutput w;
    w.StartArray();
    for (const auto& [id, crate] : crates) {
        w.StartObject();
        const std::pair<const char*, const std::string*> texts[] = {
            {"id", &id}, {"name", &crate.name}, {"version", &crate.version}, {"vendor", &crate.vendor}};
        for (const auto& [key, value] : texts) {
            w.Key(key);
            w.String(*value);
        }
        w.Key("restrictStickyFiles");
        w.Bool(crate.restrictStickyFiles);
        w.Key("payloads");
        w.StartArray();
        for (const std::string& p : crate.payloads) w.String(p);
        w.EndArray();
        w.EndObject();
    }
    w.EndArray();
    w.Print();
}

} // namespace

int RunImage(const Args& args) {
    const ParsedArgs parsed = ParseArgs(args, {{"--json"}});
    const bool json = parsed.Has("--json");
    const bool crates = Choose(parsed.operands, {"crates", "dump"}) == 0;
    AtMost(parsed.operands, 1);
    if (crates) {
        const std::vector<Crate> list = SortedCrates();
        if (json) PrintJson(list); else PrintTable(list);
        return 0;
    }
    if (json) throw UsageError("dump takes no --json");
    TarnImage::Dump();
    std::printf("%s\n", TarnPlatform::HostPath(TarnImage::IMAGE_DUMP_FILE).c_str());
    return 0;
}

} // namespace TarnCli
