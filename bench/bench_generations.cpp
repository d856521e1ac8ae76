// Keeping generations: `backup` as the CLI runs it by default (the live store
// copied into a new generation that then becomes the backup, five kept)
// against the plain copy of the live store to its backup alone, over the
// sizes and both shapes of bench/shape_cases.h. Everything happens under a
// temporary host root (TARN_ROOT); set TMPDIR to measure on another file
// system.
#include <benchmark/benchmark.h>

#include "private_root.h"
#include "shape_cases.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "tarn/generations.h"
#include "tarn/utilities.h"

namespace fs = std::filesystem;

namespace {

void Run(benchmark::State& state, bool keepGeneration) {
    const std::string src = TarnBench::SampleStore(TarnBench::SizeOf(state), TarnBench::ShapeOf(state));
    const std::string dst = TarnBench::BackupStore();
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
    state.counters["bytes"] = static_cast<double>(fs::file_size(src));
}

void BM_Backup(benchmark::State& state) { Run(state, false); }
void BM_BackupWithGeneration(benchmark::State& state) { Run(state, true); }

} // namespace

int main(int argc, char** argv) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    TarnBench::RegisterCases(TarnBench::kStoreSizes,
                             {{"BM_Backup", BM_Backup}, {"BM_BackupWithGeneration", BM_BackupWithGeneration}});
    return TarnBench::RunAndReport(argc, argv, [&](const TarnBench::RatioReporter& reporter) {
        std::printf("root: %s\n", privateRoot.Path().c_str());
        TarnBench::PrintCaseRatios(reporter, TarnBench::kStoreSizes, "rows", "BM_BackupWithGeneration", "BM_Backup",
                                   "backup with a generation / backup");
    });
}
