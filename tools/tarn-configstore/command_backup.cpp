#include <cstdio>

#include "commands.h"
#include "tarn/generations.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"
#include "tarn/utilities.h"
#include "write_check.h"

namespace TarnCli {
namespace {
constexpr char kBackupDir[] = "/var/lib/halden/configstore/backup";
constexpr int kMostKept = 1000;
}

int RunBackup(const Args& args) {
    const ParsedArgs parsed = ParseArgs(args, {{"--keep", "N"}});
    const Args& operands = parsed.operands;
    int keep = TarnConfigStore::DEFAULT_GENERATIONS_KEPT;
    for (const std::string& n : parsed.Values("--keep"))
        if (!ParseCount(n, kMostKept, &keep) || keep < 1)
            throw UsageError("--keep needs a count from 1 to " + std::to_string(kMostKept) + ", not '" + n +
                             "': the backup itself is a generation, and at least one is kept");
    if (operands.size() == 1) throw UsageError("missing argument: expected DST after SRC");
    AtMost(operands, 2);
    if (!operands.empty() && parsed.Has("--keep"))
        throw UsageError("--keep counts the generations of the live store's backup; a copy SRC DST has none");
    std::string src, dst;
    if (operands.empty()) {
        // The live store to the backup that the next boot restores.
        src = TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH);
        dst = TarnPlatform::HostPath(std::string(kBackupDir) + "/current-store-1");
        TarnPlatform::MakeDirectories(TarnPlatform::HostPath(kBackupDir));
    } else {
        src = operands[0];
        dst = operands[1];
    }
    if (!operands.empty() && TarnConfigStore::SameFile(src, dst)) {
        std::fprintf(stderr, "tarn-configstore: %s and %s are the same file: a database cannot be copied onto "
                             "itself; nothing was copied (name another DST)\n", src.c_str(), dst.c_str());
        return 1;
    }
    auto lock = LockStore();
    // A missing, empty or damaged source would replace a good copy with a worse
    // one; BackupWithGeneration refuses it itself.
    const std::string problem = operands.empty() ? "" : TarnConfigStore::BackupSourceProblem(src);
    if (!problem.empty()) {
        std::fprintf(stderr, "tarn-configstore: %s %s; nothing was backed up\n", src.c_str(), problem.c_str());
        return 1;
    }
    int generation = 0, rc;
    std::vector<int> removed;
    if (operands.empty()) {
        rc = TarnConfigStore::BackupWithGeneration(src, keep, &generation, &removed);
    } else {
        TarnConfigStore::DetachFromGenerations(dst);  // written in place below
        rc = TarnConfigStore::backup(src, dst);
    }
    if (rc != 0) {
        std::fprintf(stderr, "tarn-configstore: backup of %s to %s failed (%d); see the system log\n", src.c_str(),
                     dst.c_str(), rc);
        PrintWriteProblems();
        return 1;
    }
    std::printf("%s -> %s\n", src.c_str(), dst.c_str());
    if (generation > 0) std::printf("generation %d\n", generation);
    if (!removed.empty()) {
        std::string numbers;
        for (int n : removed) numbers += (numbers.empty() ? "" : ", ") + std::to_string(n);
        std::printf("removed generation%s %s (keeping the newest %d)\n", removed.size() > 1 ? "s" : "",
                    numbers.c_str(), keep);
    }
    return 0;
}

} // namespace TarnCli
