// Restore speed: RestoreConfigStore of a configuration-store backup against
// the work it cannot leave out: removing the stale live store, the integrity
// check of the backup and a copy of it; a plain copy alone for scale. Over
// the sizes and both shapes of bench/shape_cases.h. Everything happens under
// a temporary host root (TARN_ROOT).
#include <benchmark/benchmark.h>

#include "private_root.h"
#include "shape_cases.h"

#include <filesystem>
#include <string>

#include "boot/restore_config_store.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"

namespace fs = std::filesystem;

namespace {

std::string Live() { return TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH); }

// The backup holds the case's store (copied, not timed).
const std::string& Backup(const benchmark::State& state) {
    static const std::string backup = TarnBench::BackupStore();
    static std::string copied;
    const std::string sample = TarnBench::SampleStore(TarnBench::SizeOf(state), TarnBench::ShapeOf(state));
    if (copied != sample) {
        fs::create_directories(fs::path(backup).parent_path());
        fs::create_directories(fs::path(Live()).parent_path());
        fs::copy_file(sample, backup, fs::copy_options::overwrite_existing);
        copied = sample;
    }
    return backup;
}

void BM_RestoreConfigStore(benchmark::State& state) {
    const std::string& backup = Backup(state);
    for (auto _ : state) {
        // The live store of the previous iteration is the stale file the restore removes first.
        if (TarnConfigStore::RestoreConfigStore(true) != 0) state.SkipWithError("the backup was not restored");
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(backup));
}

void BM_PlainCopy(benchmark::State& state) {
    const std::string& backup = Backup(state);
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(Live());
        state.ResumeTiming();
        fs::copy_file(backup, Live());
    }
}

// The restore's own steps without its child processes and logging.
void BM_CheckThenCopy(benchmark::State& state) {
    const std::string& backup = Backup(state);
    for (auto _ : state) {
        fs::remove(Live());
        if (!DBStore::Check(backup)) state.SkipWithError("check failed");
        fs::copy_file(backup, Live());
    }
}

} // namespace

int main(int argc, char** argv) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    TarnBench::RegisterCases(TarnBench::kStoreSizes, {{"BM_RestoreConfigStore", BM_RestoreConfigStore},
                                                      {"BM_PlainCopy", BM_PlainCopy},
                                                      {"BM_CheckThenCopy", BM_CheckThenCopy}});
    return TarnBench::RunAndReport(argc, argv, [](const TarnBench::RatioReporter& reporter) {
        TarnBench::PrintCaseRatios(reporter, TarnBench::kStoreSizes, "rows", "BM_RestoreConfigStore",
                                   "BM_CheckThenCopy", "RestoreConfigStore / check then copy");
    });
}
