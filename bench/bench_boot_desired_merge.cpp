// The work of the load's desired-configuration transaction in boot mode 1
// (the mode's statements, then the promotion) on its own, inside the
// transaction the load gives it: a store whose desired rows restate nine in
// ten instances, drop one in ten and add as many new ones. Two shapes of the
// same number of instances: objects of 25,000 instances (one object below
// that), or objects of five. Each iteration starts from a fresh copy of the
// store (not timed) and rolls back. The store is under a private host root (TARN_ROOT); run with TMPDIR
// on a memory file system to have it on a RAM disk as on a host.
#include "private_root.h"
#include "sqlite_file.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <vector>

#include "boot/generate_desired_configuration.h"
#include "tarn/db_connection.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/schema_store.h"
#include "tarn/store_tables.h"

namespace fs = std::filesystem;

namespace {

using namespace TarnBench;

const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root

constexpr int kFew = 25000, kMany = 5;  // instances per object of the two shapes

std::string LiveStore() { return TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH); }

// The objects' schemas: the first registered as a crate registers it, the
// rest written straight into the schema store's table, which is all the
// marking reads, rather than registering 20,000 objects one by one.
void RegisterObjects(const std::vector<std::string>& names) {
    const std::string entry = R"({"component": "net", "group": "sw", "key": ")" + names[0] +
                              R"(", "version": "1.0", "idField": "id", "dspIntegrated": true,
                              "schema": {"type": "object", "properties": {"id": {"type": "string"}}}})";
    TarnSchemaStore::SetSchema("bench", "net", "sw", names[0], entry, TarnSchemaStore::SchemaStore::GetStore(), false);
    Database db = Open(TarnPlatform::HostPath(TarnConfigStore::SCHEMA_STORE_PATH));
    Exec(db.get(), "BEGIN;");
    Statement insert = TarnBench::Prepare(db.get(), "INSERT OR IGNORE INTO ConfigSchema(CrateId, Component, "
                                                    "ConfigGroup, Name, Value, Singleton, DSPIntegrated) "
                                                    "VALUES('bench', 'net', 'sw', ?, '{}', 0, 1);");
    for (const std::string& name : names) {
        sqlite3_bind_text(insert.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(insert.get()) != SQLITE_DONE) Die(db.get(), "insert schema");
        sqlite3_reset(insert.get());
    }
    Exec(db.get(), "COMMIT;");
}

// The pristine store of one shape and size, made once.
const std::string& Pristine(int instances, int perObject) {
    static std::map<std::pair<int, int>, std::string> made;
    std::string& path = made[{instances, perObject}];
    if (!path.empty()) return path;
    path = TarnPlatform::HostPath("/var/tmp/merge-" + std::to_string(instances) + "-" + std::to_string(perObject));
    const int objects = std::max(1, instances / perObject);
    for (const std::string& file : {path, LiveStore()}) fs::create_directories(fs::path(file).parent_path());
    {
        Database db = Open(path);
        using namespace TarnConfigStore;
        for (const char* sql : {CREATE_KVTABLE, CREATE_CONFIG_TABLE, CREATE_UPDATE_REVISION_TRIGGER,
                                CREATE_UPDATE_MODIFIED_TIME_TRIGGER, CREATE_DEFAULT_CONFIG_TABLE,
                                CREATE_DESIRED_USER_CONFIG_TABLE, "BEGIN;"})
            Exec(db.get(), sql);
        Statement config = TarnBench::Prepare(db.get(), "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, "
                                                        "UserValue, VitalValue) "
                                                        "VALUES('net', 'sw', ?1, ?2, ?3, '{\"uuid\": \"v\"}');");
        Statement desired = TarnBench::Prepare(db.get(), "INSERT INTO DesiredUserConfig(Component, ConfigGroup, Name, "
                                                         "Identifier, Value, BootAction) "
                                                         "VALUES('net', 'sw', ?1, ?2, ?3, 'SET');");
        const int shift = instances / 10;
        for (int i = 0; i < instances + shift; ++i) {
            const std::string name = "object_" + std::to_string(i % objects);
            const std::string id = "instance-" + std::to_string(i);
            const std::string value = "{\"id\": \"" + id + "\", \"mtu\": " + std::to_string(1500 + i % 7500) + "}";
            for (Statement* insert : {&config, &desired}) {
                if ((insert == &config && i >= instances) || (insert == &desired && i < shift)) continue;
                sqlite3_bind_text(insert->get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(insert->get(), 2, id.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(insert->get(), 3, value.c_str(), -1, SQLITE_TRANSIENT);
                if (sqlite3_step(insert->get()) != SQLITE_DONE) Die(db.get(), "insert");
                sqlite3_reset(insert->get());
            }
        }
        Exec(db.get(), "COMMIT;");
    }
    std::vector<std::string> names;
    for (int i = 0; i < objects; ++i) names.push_back("object_" + std::to_string(i));
    RegisterObjects(names);
    return path;
}

void Run(const std::shared_ptr<DBStore::StoreConnection>& conn, const std::string& sql) {
    if (DBStore::ExecuteV2(conn, sql, nullptr, nullptr, 3000) != 0) Die(sql);
}

void ApplyDesired(benchmark::State& state, int perObject) {
    const int instances = static_cast<int>(state.range(0));
    const std::string& pristine = Pristine(instances, perObject);
    for (auto _ : state) {
        state.PauseTiming();
        fs::copy_file(pristine, LiveStore(), fs::copy_options::overwrite_existing);
        const auto conn = TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true);
        Run(conn, TarnConfigStore::AttachSchemaStoreStatement());
        Run(conn, "BEGIN;");
        state.ResumeTiming();
        TarnConfigStore::RunDesiredConfigurationWork(TarnConfigStore::BOOTMODE_NEW_DESIRED_CONFIG, conn);
        state.PauseTiming();
        Run(conn, "ROLLBACK;");
        Run(conn, TarnConfigStore::DETACH_SCHEMA_STORE);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * instances);
    state.SetComplexityN(instances);
}

void BM_FewObjects(benchmark::State& state) { ApplyDesired(state, kFew); }
void BM_ManyObjects(benchmark::State& state) { ApplyDesired(state, kMany); }

BENCHMARK(BM_FewObjects)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(BM_ManyObjects)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
