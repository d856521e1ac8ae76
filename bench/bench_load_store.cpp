// Boot load as the host runs it: LoadStore(false) (a normal boot: no restore,
// no upgrade, boot mode 0) called by a plain program that links the library,
// with glibc's allocator left as it is, against the same statements run on
// one plain SQLite connection by a process that raised malloc's trim
// threshold. Every measured run is a fresh process (this program started
// again with --child), so each starts as a host process does and its peak
// memory is its own.
//
//   bench_load_store [--repetitions N] [ROWS...]      (default 1000 10000 100000)
//
// Each run starts from a copy of the same store (copy not timed): a quarter
// of the rows have auto-configured values, a tenth have desired values, every
// row's schema is registered. Two shapes of each size: many objects of ten
// instances or fewer, and few objects of 25,000 instances (one object below
// that). Everything happens under a temporary host root
// (TARN_ROOT); run it with TMPDIR on a memory file system to have the store on
// a RAM disk as on a host.
#include "fresh_process.h"
#include "private_root.h"
#include "sqlite_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <malloc.h>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "tarn/boot.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/kno/kno_tree.h"
#include "tarn/store_tables.h"

namespace fs = std::filesystem;

namespace {

constexpr char kUuid[] = "5f3c9a2e-77a1-4c1e-9d0b-1f6e2a4b8c3d";
const char* const kComponents[] = {"network", "storage", "system", "security",
                                   "services", "kernel", "hardware", "advanced"};

using namespace TarnBench;  // the SQLite helpers

constexpr int kFew = 25000;  // instances per object of the few-objects shape

// Row i's key in the two shapes.
struct Key {
    const char* component;
    std::string group, name, identifier;
};
Key KeyOf(int i, bool few) {
    if (few) return {kComponents[0], "group_0", "object_" + std::to_string(i / kFew), "instance-" + std::to_string(i)};
    return {kComponents[i % 8], "group_" + std::to_string((i / 8) % 25), "object_" + std::to_string((i / 200) % 50),
            "instance-" + std::to_string(i / 10000)};
}

std::string PristineStore(int rows) { return TarnPlatform::HostPath("/var/tmp/pristine-store-" + std::to_string(rows)); }
std::string LiveStore() { return TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH); }
std::string SchemaStore() { return TarnPlatform::HostPath(TarnConfigStore::SCHEMA_STORE_PATH); }

void CreateStore(const std::string& path, int rows, bool few) {
    fs::create_directories(fs::path(path).parent_path());
    fs::remove(path);
    Database db = Open(path);
    using namespace TarnConfigStore;
    for (const char* sql : {"PRAGMA journal_mode=DELETE;", CREATE_KVTABLE, CREATE_CONFIG_TABLE,
                            CREATE_UPDATE_REVISION_TRIGGER, CREATE_UPDATE_MODIFIED_TIME_TRIGGER,
                            CREATE_DEFAULT_CONFIG_TABLE, CREATE_DESIRED_USER_CONFIG_TABLE,
                            CREATE_UPGRADE_STATUS_TABLE, "BEGIN;"})
        Exec(db.get(), sql);
    Exec(db.get(), std::string("INSERT INTO KVTable(Key, Value) VALUES('BOOT_FS_UUID', '") + kUuid + "');");
    Statement insert = TarnBench::Prepare(db.get(),
                               "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, CreationTime, Version, "
                               "AutoConfValue, UserValue, VitalValue, DesiredValue) "
                               "VALUES(?, ?, ?, ?, datetime(CURRENT_TIMESTAMP), '8.0.2', ?, ?, ?, ?);");
    for (int i = 0; i < rows; ++i) {
        const Key key = KeyOf(i, few);
        const std::string user = "{\"enabled\": " + std::string(i % 3 ? "true" : "false") + ", \"name\": \"" + key.name +
                                 "-" + std::to_string(i) + "\", \"mtu\": " + std::to_string(1500 + i % 7500) +
                                 ", \"servers\": [\"10.0." + std::to_string(i % 256) +
                                 ".1\"], \"options\": {\"retries\": " + std::to_string(i % 10) + "}}";
        const std::string vital = "{\"uuid\": \"5f1c2a7e-" + std::to_string(100000 + i) + "-4a1b\"}";
        const std::string autoConf = "{\"detected\": true, \"slot\": " + std::to_string(i % 64) + "}";
        const std::string desired = "{\"enabled\": true, \"mtu\": 9000}";
        sqlite3_bind_text(insert.get(), 1, key.component, -1, SQLITE_STATIC);
        sqlite3_bind_text(insert.get(), 2, key.group.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 3, key.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 4, key.identifier.c_str(), -1, SQLITE_TRANSIENT);
        if (i % 4 == 0) sqlite3_bind_text(insert.get(), 5, autoConf.c_str(), -1, SQLITE_TRANSIENT);
        else sqlite3_bind_null(insert.get(), 5);
        sqlite3_bind_text(insert.get(), 6, user.c_str(), -1, SQLITE_TRANSIENT);
        if (i % 5 == 0) sqlite3_bind_text(insert.get(), 7, vital.c_str(), -1, SQLITE_TRANSIENT);
        else sqlite3_bind_null(insert.get(), 7);
        if (i % 10 == 0) sqlite3_bind_text(insert.get(), 8, desired.c_str(), -1, SQLITE_TRANSIENT);
        else sqlite3_bind_null(insert.get(), 8);
        if (sqlite3_step(insert.get()) != SQLITE_DONE) Die(db.get(), "insert");
        sqlite3_reset(insert.get());
    }
    Exec(db.get(), "COMMIT;");
}

// One schema per (component, group, name) of the store; every 7th noRestore.
void CreateSchemaStore(int rows, bool few) {
    const std::string path = SchemaStore();
    fs::create_directories(fs::path(path).parent_path());
    fs::remove(path);
    Database db = Open(path);
    Exec(db.get(), TarnConfigStore::CREATE_CONFIG_SCHEMA_TABLE);
    Exec(db.get(), "BEGIN;");
    Statement insert = Prepare(db.get(),
                               "INSERT OR IGNORE INTO ConfigSchema(CrateId, Component, ConfigGroup, Name, Value, "
                               "NoRestore, SchemaType) VALUES('bench', ?, ?, ?, '{}', ?, 0);");
    for (int i = 0; i < rows; ++i) {
        const Key key = KeyOf(i, few);
        sqlite3_bind_text(insert.get(), 1, key.component, -1, SQLITE_STATIC);
        sqlite3_bind_text(insert.get(), 2, key.group.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 3, key.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert.get(), 4, i % 7 == 0);
        if (sqlite3_step(insert.get()) != SQLITE_DONE) Die(db.get(), "insert schema");
        sqlite3_reset(insert.get());
    }
    Exec(db.get(), "COMMIT;");
}

void CreateBootTree() {
    const std::string tree = KNO_LiveTreePath();
    fs::create_directories(fs::path(tree).parent_path());
    FILE* out = std::fopen(tree.c_str(), "w");
    if (!out) Die(nullptr, "tree");
    std::fprintf(out, R"({"signature": {"buildDate": "2024-03-14 09:26:53"}, "types": [
      {"name": "char", "kind": "base", "size": 1, "display": "%%s"},
      {"name": "CmdLineText", "kind": "array", "element": "char", "count": 4096},
      {"name": "MacText", "kind": "array", "element": "char", "count": 24},
      {"name": "UuidText", "kind": "array", "element": "char", "count": 40}],
    "nodes": [{"id": 0, "name": "root"}, {"id": 1, "name": "system", "parent": 0},
      {"id": 2, "name": "bootCmdLine", "parent": 1, "leaf": true, "get": "CmdLineText"},
      {"id": 3, "name": "bootMAC", "parent": 1, "leaf": true, "get": "MacText"},
      {"id": 4, "name": "bootFsUUID", "parent": 1, "leaf": true, "get": "UuidText"},
      {"id": 5, "name": "sysAlert", "parent": 1, "leaf": true, "set": {"action": "alert"}}],
    "values": [{"node": 2, "value": "runweasel"}, {"node": 4, "value": "%s"}]})",
                 kUuid);
    std::fclose(out);
}

// What the load runs on the store, on one connection: the reads of the boot
// checks, the two cleanup statements, the desired-configuration transaction
// and the key/value writes.
void RunLoadStatements(sqlite3* db) {
    const std::string attach = "ATTACH DATABASE " + TarnPlatform::SqlQuote(SchemaStore()) + " AS ss;";
    Statement read = Prepare(db, "SELECT Value FROM KVTable WHERE Key = ?;");
    Statement write = Prepare(db,
                              "INSERT INTO KVTable(Key, Value, CreationTime) VALUES(?, ?, datetime(CURRENT_TIMESTAMP)) "
                              "ON CONFLICT(Key) DO UPDATE SET Value = excluded.Value, "
                              "ModifiedTime = datetime(CURRENT_TIMESTAMP);");
    auto readKey = [&](const char* key) {
        sqlite3_bind_text(read.get(), 1, key, -1, SQLITE_STATIC);
        while (sqlite3_step(read.get()) == SQLITE_ROW) {}
        sqlite3_reset(read.get());
    };
    auto writeKey = [&](const char* key, const char* value) {
        sqlite3_bind_text(write.get(), 1, key, -1, SQLITE_STATIC);
        sqlite3_bind_text(write.get(), 2, value, -1, SQLITE_STATIC);
        if (sqlite3_step(write.get()) != SQLITE_DONE) Die(db, "write key");
        sqlite3_reset(write.get());
    };
    readKey("BOOT_FS_UUID");
    Exec(db, "update config set autoconfvalue=null;");
    Exec(db, "delete from config where uservalue is null and vitalvalue is null and cachedvalue is null and "
             "DesiredValue is null;");
    readKey("POST_LIVE_INSTALL_BOOT");
    readKey("BOOT_FS_UUID");
    readKey("BOOT_MODE");
    Exec(db, attach);
    Exec(db, "BEGIN IMMEDIATE TRANSACTION;");
    Exec(db, "UPDATE Config as c SET UserValue = CASE WHEN DesiredValue IS NULL THEN UserValue ELSE DesiredValue END, "
             "DesiredValue=NULL, Success=( SELECT noRestore FROM ss.ConfigSchema as s WHERE s.name = c.name and "
             "s.configgroup = c.configgroup and s.component = c.component );");
    Exec(db, "COMMIT TRANSACTION;");
    Exec(db, "DETACH DATABASE ss;");
    writeKey("IS_BOOT", "true");
    writeKey("BOOT_MODE", "0");
    writeKey("BOOT_APPLY_RESULT", "{\"isBootComplete\":false}");
}

// One measured run in this fresh process.
int RunChild(const std::string& what) {
    if (what == "raw") {
        mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);  // the tuned baseline
        return TarnBench::TimeInChild([] {
            Database db = Open(LiveStore());
            RunLoadStatements(db.get());
            return true;
        });
    }
    return TarnBench::TimeInChild([] { return TarnConfigStore::LoadStore(false) == 0; });
}

// A run on a fresh copy of the store.
TarnBench::Sample Measure(const char* what, int rows) {
    fs::copy_file(PristineStore(rows), LiveStore(), fs::copy_options::overwrite_existing);
    return TarnBench::RunFresh(what);
}

struct Result {
    int rows = 0;
    bool few = false;
    TarnBench::Runs load, raw;
    uintmax_t fileBytes = 0;
};

Result Run(int rows, bool few, int repetitions) {
    CreateStore(PristineStore(rows), rows, few);
    CreateSchemaStore(rows, few);
    TarnBench::Runs load, raw;
    for (int i = 0; i < repetitions; ++i) {  // interleaved, so that load falls on both alike
        load.Add(Measure("load", rows));
        raw.Add(Measure("raw", rows));
    }
    Result r{rows, few, load, raw, fs::file_size(PristineStore(rows))};
    fs::remove(PristineStore(rows));
    return r;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && !std::strcmp(argv[1], "--child")) return RunChild(argv[2]);

    int repetitions = 5;
    std::vector<int> rowCounts;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--repetitions") && i + 1 < argc) repetitions = std::max(1, std::atoi(argv[++i]));
        else if (std::atoi(argv[i]) > 0) rowCounts.push_back(std::atoi(argv[i]));
        else {
            std::fprintf(stderr, "usage: %s [--repetitions N] [ROWS...]\n", argv[0]);
            return 2;
        }
    }
    if (rowCounts.empty()) rowCounts = {1000, 10000, 100000};

    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    fs::create_directories(fs::path(LiveStore()).parent_path());
    CreateBootTree();

    std::printf("medians of %d runs, each in a fresh process; LoadStore untuned, same statements with the trim "
                "threshold raised\n\n",
                repetitions);
    std::printf("%5s %8s %10s | %13s %13s | %13s %13s | %7s %7s | %9s %9s\n", "shape", "rows", "file MB", "LoadStore s",
                "CPU s", "statements s", "CPU s", "ratio", "CPU", "peak MB", "/ file");
    std::vector<Result> results;
    for (bool few : {false, true}) {
        for (int rows : rowCounts) {
            const Result r = Run(rows, few, repetitions);
            results.push_back(r);
            std::printf("%5s %8d %10.1f | %13.3f %13.3f | %13.3f %13.3f | %7.2f %7.2f | %9.1f %9.2f\n", few ? "few" : "many", r.rows,
                        static_cast<double>(r.fileBytes) / 1e6, r.load.Real(), r.load.Cpu(), r.raw.Real(), r.raw.Cpu(),
                        r.load.Real() / r.raw.Real(), r.load.Cpu() / r.raw.Cpu(), static_cast<double>(r.load.peakKiB) / 1024,
                        static_cast<double>(r.load.peakKiB) * 1024 / static_cast<double>(r.fileBytes));
            std::fflush(stdout);
        }
    }
    // Growth: CPU cost per row of each size against the size before it.
    for (size_t i = 1; i < results.size(); ++i) {
        const Result &a = results[i - 1], &b = results[i];
        if (a.few != b.few) continue;
        std::printf("%s: per-row CPU cost, %d against %d rows: LoadStore %.2f, statements %.2f\n",
                    b.few ? "few" : "many", b.rows, a.rows, (b.load.Cpu() / b.rows) / (a.load.Cpu() / a.rows),
                    (b.raw.Cpu() / b.rows) / (a.raw.Cpu() / a.rows));
    }
    return 0;
}
