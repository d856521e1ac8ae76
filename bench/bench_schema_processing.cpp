// Schema registration and default configuration as a host process runs them
// (a plain program on the library's public interface, allocator untuned),
// against inserting the same rows on plain SQLite with one prepared statement
// per row (prepared, bound, stepped and finalized per row):
//
//   ProcessSchemas of 1,000 schema files of 20 entries (realistic nested
//   schemas), against the rows it leaves in the schema store, inserted one
//   transaction per file as the registration commits them;
//   ProcessDefaultConfiguration of 100,000 default values over 1,000 schema
//   objects (100 instances each, in 100 default files), against the
//   DefaultConfig rows it writes, inserted in one transaction.
//
//   bench_schema_processing [--repetitions N]
//
// Every run is a fresh process (this program started again with --child), on
// stores made afresh, under a temporary host root; run it with TMPDIR on a
// memory file system to have the stores on a RAM disk as on a host.
#include "fresh_process.h"
#include "private_root.h"
#include "sqlite_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "tarn/platform/db_store.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/schema_store.h"
#include "tarn/schema_processing.h"
#include "tarn/store_tables.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 1000, kEntriesPerFile = 20;        // registration
constexpr int kObjects = 1000, kInstances = 100;          // defaults
constexpr int kObjectsPerDefaultFile = 10;
constexpr char kCrateId[] = "Halden_bench_benchcrate_1.0-1";
constexpr char kSchemaDir[] = "/usr/lib/halden/configmanager/schemas";
constexpr char kDefaultDir[] = "/etc/halden/default-config";

using namespace TarnBench;  // the SQLite helpers

std::string SchemaStore() { return TarnPlatform::HostPath(TarnConfigStore::SCHEMA_STORE_PATH); }
std::string ConfigStore() { return TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH); }
std::string Reference(const char* name) { return TarnPlatform::HostPath(std::string("/var/tmp/reference-") + name); }
std::string PlainStore() { return TarnPlatform::HostPath("/var/tmp/plain-store"); }

void WriteFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}

// A realistic entry: nested objects, an array of objects with identifiers of
// their own, bounds, an enum, a pattern, members in all three layers.
std::string Entry(const std::string& component, const std::string& group, const std::string& key) {
    return R"({"component": ")" + component + R"(", "group": ")" + group + R"(", "key": ")" + key +
           R"(", "version": "1.0", "idField": "name", "dspIntegrated": true,
  "schema": {"type": "object", "properties": {
    "name": {"type": "string", "minLength": 1, "maxLength": 64},
    "vlan": {"type": "integer", "minimum": 0, "maximum": 4095},
    "mtu": {"type": "integer", "enum": [1500, 9000]},
    "mac": {"type": "string", "pattern": "^[0-9a-f]{2}(:[0-9a-f]{2}){5}$", "vital": true},
    "security": {"type": "object", "properties": {
      "promiscuous": {"type": "boolean"}, "forgedTransmits": {"type": "boolean"}}},
    "teaming": {"type": "object", "properties": {
      "policy": {"enum": ["loadbalance_srcid", "loadbalance_ip", "failover_explicit"]},
      "uplinks": {"type": "array", "maxItems": 8, "items": {"type": "object", "properties": {
        "nic": {"type": "string", "instanceId": true},
        "active": {"type": "boolean"},
        "speed": {"type": "integer", "cached": true}}, "required": ["nic"]}}}},
    "stats": {"type": "object", "cached": true, "properties": {
      "rxPackets": {"type": "integer"}, "txPackets": {"type": "integer"}}}},
  "required": ["vlan"]}})";
}

std::string Value(int object, int instance) {
    const int i = object * kInstances + instance;
    char text[640];
    std::snprintf(text, sizeof text,
                  R"({"name": "pg-%03d", "vlan": %d, "mtu": %d, "mac": "02:00:00:%02x:%02x:%02x",)"
                  R"( "security": {"promiscuous": false, "forgedTransmits": %s},)"
                  R"( "teaming": {"policy": "loadbalance_srcid", "uplinks": [{"nic": "vnic0", "active": true,)"
                  R"( "speed": 10000}, {"nic": "vnic1", "active": %s, "speed": 25000}]},)"
                  R"( "stats": {"rxPackets": %d, "txPackets": %d}})",
                  instance, i % 4096, i % 2 ? 1500 : 9000, (i >> 16) & 0xff, (i >> 8) & 0xff, i & 0xff,
                  i % 3 ? "false" : "true", i % 2 ? "true" : "false", i * 7, i * 5);
    return text;
}

// Schema files: file f holds entries of component "comp<f / 10>", group "group<f>".
void WriteSchemaFiles(int files) {
    const std::string dir = TarnPlatform::HostPath(kSchemaDir);
    fs::remove_all(dir);
    for (int f = 0; f < files; ++f) {
        std::string text = R"({"metadata": {"cratename": "benchcrate", "crateversion": "1.0_1"}, "data": [)";
        for (int e = 0; e < kEntriesPerFile; ++e)
            text += (e ? ",\n" : "") + Entry("comp" + std::to_string(f / 10), "group" + std::to_string(f),
                                             "object" + std::to_string(e));
        WriteFile(dir + "/bench-" + std::to_string(f) + ".json", text + "]}");
    }
}

// Defaults of the first kObjects objects of the schema files, kInstances each.
void WriteDefaultFiles() {
    const std::string dir = TarnPlatform::HostPath(kDefaultDir);
    fs::remove_all(dir);
    for (int first = 0; first < kObjects; first += kObjectsPerDefaultFile) {
        std::string text = R"({"data": [)";
        for (int o = first; o < first + kObjectsPerDefaultFile; ++o) {
            const int f = o / kEntriesPerFile, e = o % kEntriesPerFile;
            text += (o > first ? ",\n" : "") + std::string(R"({"component": "comp)") + std::to_string(f / 10) +
                    R"(", "group": "group)" + std::to_string(f) + R"(", "key": "object)" + std::to_string(e) +
                    R"(", "config": [)";
            for (int i = 0; i < kInstances; ++i) text += (i ? ", " : "") + Value(o, i);
            text += "]}";
        }
        WriteFile(dir + "/defaults-" + std::to_string(first) + ".json", text + "]}");
    }
}

void FreshStores() {
    fs::remove(SchemaStore());
    fs::remove(ConfigStore());
    if (DBStore::CreateDatabases() != 0) Die("cannot create the stores");
}

// Every row of every table of a database, as texts (NULL kept).
struct Table {
    std::string name, create;
    int columns = 0;
    std::vector<std::vector<std::optional<std::string>>> rows;
};

std::vector<Table> ReadTables(const std::string& path) {
    Database db = Open(path);
    std::vector<Table> tables;
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db.get(), "SELECT name, sql FROM sqlite_master WHERE type = 'table';", -1, &raw, nullptr);
    while (sqlite3_step(raw) == SQLITE_ROW)
        tables.push_back({reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)),
                          reinterpret_cast<const char*>(sqlite3_column_text(raw, 1)), 0, {}});
    sqlite3_finalize(raw);
    for (Table& table : tables) {
        sqlite3_prepare_v2(db.get(), ("SELECT * FROM " + table.name + ";").c_str(), -1, &raw, nullptr);
        table.columns = sqlite3_column_count(raw);
        while (sqlite3_step(raw) == SQLITE_ROW) {
            auto& row = table.rows.emplace_back();
            for (int c = 0; c < table.columns; ++c) {
                const unsigned char* text = sqlite3_column_text(raw, c);
                row.push_back(text ? std::optional<std::string>(reinterpret_cast<const char*>(text)) : std::nullopt);
            }
        }
        sqlite3_finalize(raw);
    }
    return tables;
}

// Inserts the rows with one prepared statement per row, rowsPerTransaction
// rows to a transaction.
void InsertPlain(sqlite3* db, const std::vector<Table>& tables, size_t rowsPerTransaction) {
    for (const Table& table : tables) {
        std::string sql = "INSERT INTO " + table.name + " VALUES(";
        for (int c = 0; c < table.columns; ++c) sql += c ? ", ?" : "?";
        sql += ");";
        for (size_t first = 0; first < table.rows.size(); first += rowsPerTransaction) {
            Exec(db, "BEGIN IMMEDIATE TRANSACTION;");
            for (size_t r = first; r < table.rows.size() && r < first + rowsPerTransaction; ++r) {
                sqlite3_stmt* insert = nullptr;
                if (sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr) != SQLITE_OK) Die(sqlite3_errmsg(db));
                for (int c = 0; c < table.columns; ++c) {
                    const auto& value = table.rows[r][c];
                    if (value) sqlite3_bind_text(insert, c + 1, value->data(), static_cast<int>(value->size()),
                                                 SQLITE_STATIC);
                    else sqlite3_bind_null(insert, c + 1);
                }
                if (sqlite3_step(insert) != SQLITE_DONE) Die(sqlite3_errmsg(db));
                sqlite3_finalize(insert);
            }
            Exec(db, "COMMIT TRANSACTION;");
        }
    }
}

// The plain inserts of a reference database's rows into empty tables.
bool PlainInserts(const char* reference, size_t rowsPerTransaction, const char* onlyTable) {
    std::vector<Table> tables = ReadTables(Reference(reference));
    fs::remove(PlainStore());
    Database db = Open(PlainStore());
    std::vector<Table> timed;
    for (Table& table : tables) {
        Exec(db.get(), table.create);
        if (!onlyTable || table.name == onlyTable) timed.push_back(std::move(table));
    }
    return TarnBench::TimeInChild([&] {
        InsertPlain(db.get(), timed, rowsPerTransaction);
        return true;
    });
}

int RunChild(const std::string& what) {
    if (what == "schemas")
        return TarnBench::TimeInChild([] { return TarnConfigStore::ProcessSchemas({kCrateId}); });
    if (what == "defaults")
        return TarnBench::TimeInChild([] {
            TarnConfigStore::ProcessDefaultConfiguration(false, {});
            return true;
        });
    if (what == "plain-schemas") return PlainInserts("schemas", kEntriesPerFile, nullptr);
    if (what == "plain-defaults") return PlainInserts("defaults", SIZE_MAX, "DefaultConfig");
    return 2;
}

struct Pair {
    Runs ours, plain;
};

// One measured run, then the plain inserts of the rows it left in store.
void MeasurePair(Pair& pair, const char* what, const std::string& store) {
    pair.ours.Add(RunFresh(what));
    fs::copy_file(store, Reference(what), fs::copy_options::overwrite_existing);
    pair.plain.Add(RunFresh((std::string("plain-") + what).c_str()));
}

void Report(const char* label, const Pair& p, double items, const char* unit) {
    const double ours = p.ours.Real(), plain = p.plain.Real();
    std::printf("%-28s %9.3f s %12.0f %s/s | plain inserts %7.3f s | ratio %5.2f | peak %6.1f MB\n", label, ours,
                items / ours, unit, plain, ours / plain, static_cast<double>(p.ours.peakKiB) / 1024);
}

int Measure(int repetitions) {

    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    Pair schemas, defaults;
    fs::create_directories(TarnPlatform::HostPath("/var/tmp"));

    // Registration: every file new, no defaults.
    WriteSchemaFiles(kFiles);
    fs::create_directories(TarnPlatform::HostPath(kDefaultDir));
    for (int r = 0; r < repetitions; ++r) {
        FreshStores();
        MeasurePair(schemas, "schemas", SchemaStore());
    }
    const size_t entries = CountRows(Reference("schemas"), "ConfigSchema");

    // Defaults: 1,000 objects registered (not timed), then the default files.
    WriteSchemaFiles(kObjects / kEntriesPerFile);
    WriteDefaultFiles();
    for (int r = 0; r < repetitions; ++r) {
        FreshStores();
        fs::path defaultDir = TarnPlatform::HostPath(kDefaultDir), aside = defaultDir.string() + ".aside";
        fs::rename(defaultDir, aside);  // register without writing the defaults
        fs::create_directories(defaultDir);
        if (!TarnConfigStore::ProcessSchemas({kCrateId})) Die("registration failed");
        fs::remove_all(defaultDir);
        fs::rename(aside, defaultDir);
        MeasurePair(defaults, "defaults", ConfigStore());
    }
    const size_t values = CountRows(Reference("defaults"), "DefaultConfig");

    std::printf("medians of %d runs, each in a fresh process; real time\n", repetitions);
    std::printf("schema entries registered: %zu of %d; default rows written: %zu of %d\n", entries,
                kFiles * kEntriesPerFile, values, kObjects * kInstances);
    Report("ProcessSchemas", schemas, static_cast<double>(entries), "entries");
    Report("ProcessDefaultConfiguration", defaults, static_cast<double>(values), "values");
    return 0;
}

} // namespace

int main(int argc, char** argv) { return TarnBench::FreshProcessMain(argc, argv, RunChild, Measure); }
