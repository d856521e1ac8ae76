// Restore speed: RestoreConfigStore of a 100 MB configuration-store backup
// against the work it cannot leave out: removing the stale live store, the
// integrity check of the backup and a copy of it; a plain copy alone for
// scale. Everything happens under a temporary host root (TARN_ROOT).
#include <benchmark/benchmark.h>

#include "private_root.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sqlite3.h>
#include <string>

#include "boot/restore_config_store.h"
#include "ratio_reporter.h"
#include "sqlite_file.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRows = 100000;
constexpr size_t kValueBytes = 900;  // about 1 KiB per row: a 100 MB store

std::string Backup() { return TarnPlatform::HostPath("/var/lib/halden/configstore/backup/current-store-1"); }
std::string Live() { return TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH); }

void CreateBackup() {
    static bool done = false;
    if (done) return;
    fs::create_directories(fs::path(Backup()).parent_path());
    fs::create_directories(fs::path(Live()).parent_path());
    const TarnBench::Database db = TarnBench::Open(Backup());
    using namespace TarnConfigStore;
    for (const char* sql : {"PRAGMA journal_mode=DELETE;", CREATE_KVTABLE, CREATE_CONFIG_TABLE,
                            CREATE_UPDATE_REVISION_TRIGGER, CREATE_UPDATE_MODIFIED_TIME_TRIGGER,
                            CREATE_DEFAULT_CONFIG_TABLE, CREATE_DESIRED_USER_CONFIG_TABLE,
                            CREATE_UPGRADE_STATUS_TABLE, "BEGIN;"})
        TarnBench::Exec(db.get(), sql);
    const TarnBench::Statement insert = TarnBench::Prepare(
        db.get(), "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, UserValue) VALUES('component', ?, ?, ?, ?);");
    for (int i = 0; i < kRows; ++i) {
        const std::string group = "group_" + std::to_string(i % 100), name = "object_" + std::to_string(i % 1000);
        const std::string id = std::to_string(i);
        std::string value = "{\"n\": " + id + ", \"text\": \"";
        value += std::string(kValueBytes, static_cast<char>('a' + i % 26)) + "\"}";
        sqlite3_bind_text(insert.get(), 1, group.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 2, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 3, id.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 4, value.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(insert.get()) != SQLITE_DONE) TarnBench::Die(db.get(), "insert");
        sqlite3_reset(insert.get());
    }
    TarnBench::Exec(db.get(), "COMMIT;");
    done = true;
}

void BM_RestoreConfigStore(benchmark::State& state) {
    CreateBackup();
    for (auto _ : state) {
        // The live store of the previous iteration is the stale file the restore removes first.
        if (TarnConfigStore::RestoreConfigStore(true) != 0) state.SkipWithError("the backup was not restored");
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(Backup()));
}

void BM_PlainCopy(benchmark::State& state) {
    CreateBackup();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(Live());
        state.ResumeTiming();
        fs::copy_file(Backup(), Live());
    }
}

// The restore's own steps without its child processes and logging.
void BM_CheckThenCopy(benchmark::State& state) {
    CreateBackup();
    for (auto _ : state) {
        fs::remove(Live());
        if (!DBStore::Check(Backup())) state.SkipWithError("check failed");
        fs::copy_file(Backup(), Live());
    }
}

BENCHMARK(BM_RestoreConfigStore)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CheckThenCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    return TarnBench::RunAndReport(argc, argv, [](const TarnBench::RatioReporter& reporter) {
        if (fs::exists(Backup())) std::printf("backup: %ju bytes\n", static_cast<uintmax_t>(fs::file_size(Backup())));
        reporter.PrintRatio("BM_RestoreConfigStore", "BM_CheckThenCopy", "RestoreConfigStore / check then copy");
    });
}
