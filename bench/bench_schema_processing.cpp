// Schema registration with its default configuration as a host boot runs it:
// ProcessSchemas (every schema file new, then ProcessDefaultConfiguration)
// called by a plain program on the library's public interface, allocator
// untuned, against plain inserts of the same rows in the same process: every
// row the run left in the schema store and the configuration store, inserted
// into empty tables with one statement prepared per row (prepared, bound,
// stepped, finalized), one transaction per schema file for the schema
// store's rows and one for DefaultConfig and Config, as the run commits them.
//
// Two shapes, three sizes each, to show growth:
//   objects    many objects, 20 to a schema file, with one default value each
//              (1,000 / 3,000 / 10,000 objects), and 1,000 objects with 10
//   instances  few objects with 25,000 default instances each (1 / 2 / 4)
// A third of the objects have mutable defaults, which the run copies into
// Config. Schemas are realistic: nested objects, an array of objects, bounds,
// an enum, a pattern, members of all three layers.
//
//   bench_schema_processing [--repetitions N] [--case OBJECTS/INSTANCES]
//
// --case runs the one case given (for a profiler), e.g. --case 10000/1.
//
// Every run is a fresh process (this program started again with --child)
// under a temporary host root, so its peak memory (max RSS, taken right
// after ProcessSchemas) is its own; times are CPU times, the ratios those of
// the two parts of one run. Run it with TMPDIR on a memory file system to
// have the stores on a RAM disk as on a host.
#include "fresh_process.h"
#include "private_root.h"
#include "sqlite_file.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "tarn/platform/db_store.h"
#include "tarn/platform/host_root.h"
#include "tarn/schema_processing.h"
#include "tarn/store_tables.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEntriesPerFile = 20, kObjectsPerDefaultFile = 10;
constexpr char kCrateId[] = "Halden_bench_benchcrate_1.0-1";
constexpr char kSchemaDir[] = "/usr/lib/halden/configmanager/schemas";
constexpr char kDefaultDir[] = "/etc/halden/default-config";

using namespace TarnBench;  // the SQLite helpers

struct Case {
    const char* shape;
    int objects, instances;
};
const Case kCases[] = {{"objects", 1000, 1},   {"objects", 3000, 1},      {"objects", 10000, 1},
                       {"objects", 1000, 10},  {"instances", 1, 25000},   {"instances", 2, 25000},
                       {"instances", 4, 25000}};

std::string Scratch(const char* name) { return TarnPlatform::HostPath(std::string("/var/tmp/plain-") + name); }

void WriteFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}

std::string Component(int object) { return "comp" + std::to_string(object / kEntriesPerFile / 10); }
std::string Group(int object) { return "group" + std::to_string(object / kEntriesPerFile); }
std::string Key(int object) { return "object" + std::to_string(object % kEntriesPerFile); }

std::string Entry(int object) {
    return R"({"component": ")" + Component(object) + R"(", "group": ")" + Group(object) + R"(", "key": ")" +
           Key(object) + R"(", "version": "1.0", "idField": "name", "dspIntegrated": true,)" +
           (object % 3 == 0 ? R"( "mutableDefaultConfig": true,)" : "") + R"(
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
    const int i = object * 7919 + instance;
    char text[640];
    std::snprintf(text, sizeof text,
                  R"({"name": "pg-%d", "vlan": %d, "mtu": %d, "mac": "02:00:00:%02x:%02x:%02x",)"
                  R"( "security": {"promiscuous": false, "forgedTransmits": %s},)"
                  R"( "teaming": {"policy": "loadbalance_srcid", "uplinks": [{"nic": "vnic0", "active": true,)"
                  R"( "speed": 10000}, {"nic": "vnic1", "active": %s, "speed": 25000}]},)"
                  R"( "stats": {"rxPackets": %d, "txPackets": %d}})",
                  instance, i % 4096, i % 2 ? 1500 : 9000, (i >> 16) & 0xff, (i >> 8) & 0xff, i & 0xff,
                  i % 3 ? "false" : "true", i % 2 ? "true" : "false", i * 7, i * 5);
    return text;
}

// The schema files and default files of a case, in place of any before.
void WriteCase(const Case& c) {
    const std::string schemas = TarnPlatform::HostPath(kSchemaDir), defaults = TarnPlatform::HostPath(kDefaultDir);
    fs::remove_all(schemas);
    fs::remove_all(defaults);
    for (int first = 0; first < c.objects; first += kEntriesPerFile) {
        std::string text = R"({"metadata": {"cratename": "benchcrate", "crateversion": "1.0_1"}, "data": [)";
        for (int o = first; o < c.objects && o < first + kEntriesPerFile; ++o) text += (o > first ? ",\n" : "") + Entry(o);
        WriteFile(schemas + "/bench-" + std::to_string(first) + ".json", text + "]}");
    }
    const int perFile = c.instances > 1000 ? 1 : kObjectsPerDefaultFile;
    for (int first = 0; first < c.objects; first += perFile) {
        std::string text = R"({"data": [)";
        for (int o = first; o < c.objects && o < first + perFile; ++o) {
            text += (o > first ? ",\n" : "") + (R"({"component": ")" + Component(o) + R"(", "group": ")" + Group(o) +
                                                R"(", "key": ")" + Key(o) + R"(", "config": [)");
            for (int i = 0; i < c.instances; ++i) text += (i ? ", " : "") + Value(o, i);
            text += "]}";
        }
        WriteFile(defaults + "/defaults-" + std::to_string(first) + ".json", text + "]}");
    }
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
    {
        Statement list = Prepare(db.get(), "SELECT name, sql FROM sqlite_master WHERE type = 'table';");
        while (sqlite3_step(list.get()) == SQLITE_ROW)
            tables.push_back({reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0)),
                              reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 1)), 0, {}});
    }
    for (Table& table : tables) {
        Statement read = Prepare(db.get(), "SELECT * FROM " + table.name + ";");
        table.columns = sqlite3_column_count(read.get());
        while (sqlite3_step(read.get()) == SQLITE_ROW) {
            auto& row = table.rows.emplace_back();
            for (int c = 0; c < table.columns; ++c) {
                const unsigned char* text = sqlite3_column_text(read.get(), c);
                row.push_back(text ? std::optional<std::string>(reinterpret_cast<const char*>(text)) : std::nullopt);
            }
        }
    }
    return tables;
}

size_t RowCount(const std::vector<Table>& tables) {
    size_t rows = 0;
    for (const Table& t : tables) rows += t.rows.size();
    return rows;
}

// Inserts the rows of the tables into the empty tables of db, one statement
// prepared per row, in `transactions` transactions of equal size.
void InsertPlain(sqlite3* db, const std::vector<Table>& tables, size_t transactions) {
    const size_t perTransaction = (RowCount(tables) + transactions - 1) / transactions;
    size_t inTransaction = 0;
    for (const Table& table : tables) {
        std::string sql = "INSERT INTO " + table.name + " VALUES(";
        for (int c = 0; c < table.columns; ++c) sql += c ? ", ?" : "?";
        sql += ");";
        for (const auto& row : table.rows) {
            if (inTransaction++ == 0) Exec(db, "BEGIN IMMEDIATE TRANSACTION;");
            sqlite3_stmt* insert = nullptr;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr) != SQLITE_OK) Die(db, sql);
            for (int c = 0; c < table.columns; ++c) {
                if (row[c]) sqlite3_bind_text(insert, c + 1, row[c]->data(), static_cast<int>(row[c]->size()), SQLITE_STATIC);
                else sqlite3_bind_null(insert, c + 1);
            }
            if (sqlite3_step(insert) != SQLITE_DONE) Die(db, sql);
            sqlite3_finalize(insert);
            if (inTransaction == perTransaction) {
                Exec(db, "COMMIT TRANSACTION;");
                inTransaction = 0;
            }
        }
    }
    if (inTransaction) Exec(db, "COMMIT TRANSACTION;");
}

// A database with the tables of `tables`, empty.
Database EmptyCopy(const char* name, const std::vector<Table>& tables) {
    fs::remove(Scratch(name));
    Database db = Open(Scratch(name));
    Exec(db.get(), "PRAGMA journal_mode=DELETE;");
    for (const Table& table : tables) Exec(db.get(), table.create);
    return db;
}

// One run: "<objects>/<instances>". Prints CPU seconds of the run and of its
// plain inserts, the run's peak RSS in KiB, and its rows.
int RunChild(const std::string& what) {
    const int objects = std::atoi(what.c_str()), instances = std::atoi(what.c_str() + what.find('/') + 1);
    fs::remove(TarnPlatform::HostPath(TarnConfigStore::SCHEMA_STORE_PATH));
    fs::remove(TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH));
    if (DBStore::CreateDatabases() != 0) Die("cannot create the stores");

    const double start = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    if (!TarnConfigStore::ProcessSchemas({kCrateId})) Die("registration failed");
    const double ours = Seconds(CLOCK_PROCESS_CPUTIME_ID) - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);

    const std::vector<Table> schemaRows = ReadTables(TarnPlatform::HostPath(TarnConfigStore::SCHEMA_STORE_PATH));
    std::vector<Table> configRows = ReadTables(TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH));
    Database schemaDb = EmptyCopy("schema", schemaRows), configDb = EmptyCopy("config", configRows);
    const size_t files = (static_cast<size_t>(objects) + kEntriesPerFile - 1) / kEntriesPerFile;
    const double plainStart = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    InsertPlain(schemaDb.get(), schemaRows, files);
    InsertPlain(configDb.get(), configRows, 1);
    const double plain = Seconds(CLOCK_PROCESS_CPUTIME_ID) - plainStart;

    size_t defaults = 0;
    for (const Table& t : configRows)
        if (t.name == "DefaultConfig") defaults = t.rows.size();
    if (defaults != static_cast<size_t>(objects) * instances) Die("not every default was written");
    std::printf("%.6f %.6f %ld %zu\n", ours, plain, usage.ru_maxrss, RowCount(schemaRows) + RowCount(configRows));
    return 0;
}

// The child's figures of repeated runs (medians; the highest peak, taken
// by the child right after the run, before its plain inserts).
struct Figures {
    std::vector<double> ours, plain;
    long peakKiB = 0;
    size_t rows = 0;
};

void RunCase(const Case& c, Figures& f) {
    const std::string what = std::to_string(c.objects) + "/" + std::to_string(c.instances);
    long unused = 0;
    const std::string text = TarnBench::ChildOutput(what.c_str(), &unused);
    double ours = 0, plain = 0;
    long peak = 0;
    if (std::sscanf(text.c_str(), "%lf %lf %ld %zu", &ours, &plain, &peak, &f.rows) != 4)
        Die("the run of " + what + " failed");
    f.ours.push_back(ours);
    f.plain.push_back(plain);
    f.peakKiB = std::max(f.peakKiB, peak);
}

const char* gOnlyCase = nullptr;  // --case

int Measure(int repetitions) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    fs::create_directories(TarnPlatform::HostPath("/var/tmp"));
    std::printf("ProcessSchemas (registration and defaults) against plain inserts of its rows in the same process;\n"
                "CPU time, medians of %d fresh-process runs; peak = max RSS of the process after the run\n\n",
                repetitions);
    std::printf("%-9s %7s %9s %8s | %9s %11s %9s | %6s | %8s\n", "shape", "objects", "instances", "rows", "ours s",
                "per value", "plain s", "ratio", "peak MB");
    for (const Case& c : kCases) {
        if (gOnlyCase && std::to_string(c.objects) + "/" + std::to_string(c.instances) != gOnlyCase) continue;
        WriteCase(c);
        Figures f;
        for (int r = 0; r < repetitions; ++r) RunCase(c, f);
        const double ours = Median(f.ours), plain = Median(f.plain);
        const double values = static_cast<double>(c.objects) * c.instances;
        std::printf("%-9s %7d %9d %8zu | %9.3f %8.1f us %9.3f | %6.2f | %8.1f\n", c.shape, c.objects, c.instances,
                    f.rows, ours, ours / values * 1e6, plain, ours / plain, static_cast<double>(f.peakKiB) / 1024);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && !std::strcmp(argv[argc - 2], "--case")) {
        gOnlyCase = argv[argc - 1];
        argc -= 2;
    }
    return TarnBench::FreshProcessMain(argc, argv, RunChild, Measure);
}
