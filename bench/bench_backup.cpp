// Store backup speed: TarnConfigStore::backup of a configuration store
// against the sqlite3 shell's ".backup" of the same file, over the sizes and
// both shapes of bench/shape_cases.h. The shell's CPU time, which its
// process spends, is the counter shell_cpu_ms. Everything happens under a
// temporary host root (TARN_ROOT).
#include <benchmark/benchmark.h>

#include "private_root.h"
#include "shape_cases.h"

#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>

#include "tarn/utilities.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

void BM_StoreBackup(benchmark::State& state) {
    const std::string src = TarnBench::SampleStore(TarnBench::SizeOf(state), TarnBench::ShapeOf(state));
    const std::string dst = TarnBench::BackupStore();
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
    const std::string src = TarnBench::SampleStore(TarnBench::SizeOf(state), TarnBench::ShapeOf(state));
    const std::string dst = TarnBench::BackupStore();
    fs::create_directories(fs::path(dst).parent_path());
    const std::string command = ".backup " + dst;
    double shellCpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(dst);
        state.ResumeTiming();
        char* argv[] = {const_cast<char*>("sqlite3"), const_cast<char*>(src.c_str()),
                        const_cast<char*>(command.c_str()), nullptr};
        pid_t pid = -1;
        int status = 0;
        rusage usage{};
        if (posix_spawnp(&pid, "sqlite3", nullptr, nullptr, argv, environ) != 0 ||
            wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("sqlite3 .backup failed");
        shellCpu += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-3;
    }
    state.counters["shell_cpu_ms"] = benchmark::Counter(shellCpu, benchmark::Counter::kAvgIterations);
}

} // namespace

int main(int argc, char** argv) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    TarnBench::RegisterCases(TarnBench::kStoreSizes,
                             {{"BM_StoreBackup", BM_StoreBackup}, {"BM_Sqlite3ShellBackup", BM_Sqlite3ShellBackup}});
    return TarnBench::RunAndReport(argc, argv, [](const TarnBench::RatioReporter& reporter) {
        TarnBench::PrintCaseRatios(reporter, TarnBench::kStoreSizes, "rows", "BM_StoreBackup", "BM_Sqlite3ShellBackup",
                                   "backup / sqlite3 .backup");
    });
}
