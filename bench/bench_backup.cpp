// Store backup speed: TarnConfigStore::backup of a configuration store with
// 100,000 Config rows against the sqlite3 shell's ".backup" of the same file.
// Everything happens under a temporary host root (TARN_ROOT).
#include <benchmark/benchmark.h>

#include "private_root.h"
#include "ratio_reporter.h"
#include "sample_store.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <spawn.h>
#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"
#include "tarn/utilities.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kRows = 100000;

void BM_StoreBackup(benchmark::State& state) {
    const std::string src = TarnBench::LiveStore(kRows), dst = TarnBench::BackupStore();
    fs::create_directories(fs::path(dst).parent_path());
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(dst);
        state.ResumeTiming();
        if (TarnConfigStore::backup(src, dst) != 0) state.SkipWithError("backup failed");
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(src));
}

void BM_Sqlite3ShellBackup(benchmark::State& state) {
    const std::string src = TarnBench::LiveStore(kRows), dst = TarnBench::BackupStore();
    fs::create_directories(fs::path(dst).parent_path());
    const std::string command = ".backup " + dst;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(dst);
        state.ResumeTiming();
        char* argv[] = {const_cast<char*>("sqlite3"), const_cast<char*>(src.c_str()),
                        const_cast<char*>(command.c_str()), nullptr};
        pid_t pid = -1;
        int status = 0;
        if (posix_spawnp(&pid, "sqlite3", nullptr, nullptr, argv, environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("sqlite3 .backup failed");
    }
}

BENCHMARK(BM_StoreBackup)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Sqlite3ShellBackup)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    return TarnBench::RunAndReport(argc, argv, [](const TarnBench::RatioReporter& reporter) {
        TarnBench::PrintLiveStore(kRows);
        reporter.PrintRatio("BM_StoreBackup", "BM_Sqlite3ShellBackup", "backup / sqlite3 .backup");
    });
}
