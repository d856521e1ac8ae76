// track-files, filter-sticky and unpack-payload: choosing the files of the
// in-memory root file system that survive a reboot.
#include <cstdio>
#include <iostream>
#include <string>

#include "commands.h"
#include "json_output.h"
#include "tarn/file_persistence.h"
#include "tarn/platform/tardisk.h"
#include "tarn/rapidjson.h"

namespace TarnCli {
namespace {

// The operands, or with none the lines of standard input.
Args PathsFrom(const Args& operands) {
    if (!operands.empty()) return operands;
    Args paths;
    for (std::string line; std::getline(std::cin, line);) paths.push_back(line);
    return paths;
}

void PrintJson(const TarnConfigStore::StickyFilterResult& result) {
    JsonOutput w;
    w.StartObject();
    w.Key("kept");
    w.StartArray();
    for (const std::string& path : result.kept) w.String(path);
    w.EndArray();
    w.Key("rejected");
    w.StartArray();
    for (const auto& [path, reason] : result.rejected) {
        w.StartObject();
        w.Key("path");
        w.String(path);
        w.Key("reason");
        w.String(reason);
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    w.Print();
}

} // namespace

int RunTrackFiles(const Args& args) {
    const Args words = ParseArgs(args).operands;
    const auto type =
        Choose(words, {"backup", "non-schema"}) == 0 ? TarnConfigStore::BACKUP_FILES : TarnConfigStore::NON_SCHEMA_FILES;
    const auto paths = PathsFrom(Args(words.begin() + 1, words.end()));
    auto lock = LockStore();  // the boot reads the non-schema list
    TarnConfigStore::TrackFiles(paths, type);
    return 0;
}

int RunFilterSticky(const Args& args) {
    const ParsedArgs parsed = ParseArgs(args, {{"--json"}});
    const auto result = TarnConfigStore::FilterStickyBitFilesWithReasons(PathsFrom(parsed.operands));
    if (parsed.Has("--json")) PrintJson(result);
    else for (const std::string& path : result.kept) std::printf("%s\n", path.c_str());
    return 0;
}

int RunUnpackPayload(const Args& args) {
    const Args words = ParseArgs(args).operands;
    if (words.size() < 2) throw UsageError("missing argument: expected ARCHIVE and TARDISK");
    AtMost(words, 2);
    std::string error;
    if (TarnPlatform::UnpackTardisk(words[0], words[1], &error)) return 0;
    std::fprintf(stderr, "tarn-configstore: unpack-payload: %s\n", error.c_str());
    return 1;
}

} // namespace TarnCli
