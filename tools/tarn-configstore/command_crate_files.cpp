// crate-files: the files that installed crates declare, by category.
#include <cstdio>

#include "commands.h"
#include "tarn/crate_files.h"

namespace TarnCli {

int RunCrateFiles(const Args& args) {
    AtMost(ParseArgs(args).operands, 0);
    const TarnConfigStore::CrateFileMap files = TarnConfigStore::GetCrateFiles();
    for (const char* category : {"vital", "cached", "config"}) {
        auto found = files.find(category);
        if (found == files.end()) continue;
        for (const std::string& path : found->second) std::printf("%s\t%s\n", category, path.c_str());
    }
    return 0;
}

} // namespace TarnCli
