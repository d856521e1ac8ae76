// Keeping generations: `backup` as the CLI runs it by default (the live store
// copied into a new generation that then becomes the backup, five kept)
// against the plain copy of the live store to its backup alone, on a configuration
// store of 100,000 Config rows. Everything happens under a temporary host
// root (TARN_ROOT); set TMPDIR to measure on another file system.
#include <benchmark/benchmark.h>

#include "private_root.h"
#include "ratio_reporter.h"
#include "sample_store.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "tarn/generations.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"
#include "tarn/utilities.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRows = 100000;

void Run(benchmark::State& state, bool keepGeneration) {
    const std::string src = TarnBench::LiveStore(kRows), dst = TarnBench::BackupStore();
    fs::create_directories(fs::path(dst).parent_path());
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(dst);
        state.ResumeTiming();
        int generation = 0;
        const int rc = keepGeneration ? TarnConfigStore::BackupWithGeneration(
                                            src, TarnConfigStore::DEFAULT_GENERATIONS_KEPT, &generation)
                                      : TarnConfigStore::backup(src, dst);
        if (rc != 0) state.SkipWithError("backup failed");
    }
}

void BM_Backup(benchmark::State& state) { Run(state, false); }
void BM_BackupWithGeneration(benchmark::State& state) { Run(state, true); }

BENCHMARK(BM_Backup)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BackupWithGeneration)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    return TarnBench::RunAndReport(argc, argv, [&](const TarnBench::RatioReporter& reporter) {
        TarnBench::PrintLiveStore(kRows, ", root: " + privateRoot.Path());
        reporter.PrintRatio("BM_BackupWithGeneration", "BM_Backup", "backup with a generation / backup");
    });
}
