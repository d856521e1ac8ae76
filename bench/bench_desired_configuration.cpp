// Desired configuration as a host process runs it (a plain program on the
// library, allocator untuned), over two shapes of realistic objects (many
// objects of 10 instances, few objects of 25,000 instances) at three sizes
// (25,000, 50,000 and 100,000 values):
//
//   set   reading, validating and storing a desired document for the next
//         boot: ValidateDesiredDocument then SetDesiredUserConfig, against
//         its per-row statement alone on plain SQLite (what storing costs)
//         and one reused prepared insert of the same rows, in CPU time;
//   step  the boot's desired-configuration step in mode 1 on a store whose
//         Config holds a first document's values and whose desired rows are
//         a second's (a tenth of each object's instances new, a tenth gone),
//         against the same statements, as the step ran them, on one plain
//         SQLite connection;
//   plan  PlanNextBoot(false) on the same store, against the step: the whole
//         boot without restore, rehearsed on copies in a child process.
//
//   bench_desired_configuration [--repetitions N]
//
// Every run is a fresh process (this program started again with --child) on
// a copy of the same store (copy not timed), each case under a temporary
// host root of its own; run it with TMPDIR on a memory file system to have
// the store on a RAM disk as on a host.
#include "fresh_process.h"
#include "private_root.h"
#include "sample_store.h"
#include "sqlite_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "boot/generate_desired_configuration.h"
#include "tarn/boot_plan.h"
#include "tarn/desired_config.h"
#include "tarn/json_doc.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/host_root.h"
#include "tarn/schema_processing.h"
#include "tarn/store_tables.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMaxEntriesPerFile = 20;
constexpr char kCrateId[] = "Halden_bench_benchcrate_1.0-1";

using namespace TarnBench;  // the SQLite helpers

// A case's schema objects, registered in files of up to kMaxEntriesPerFile
// entries, and the instances each document names per object.
struct Case {
    Shape shape;
    int instances, objects;

    Case(Shape s, int values) : shape(s), instances(InstancesPerObject(s)), objects(values / instances) {}
    int Files() const { return (objects + kMaxEntriesPerFile - 1) / kMaxEntriesPerFile; }
    int EntriesPerFile() const { return std::min(objects, kMaxEntriesPerFile); }
    int Values() const { return objects * instances; }
};

std::string ConfigStore() { return TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH); }
std::string Scratch(const char* name) { return TarnPlatform::HostPath(std::string("/var/tmp/") + name); }

void WriteFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}

// A realistic entry: nested objects, an array of objects with identifiers of
// their own, bounds, an enum, a pattern, members in all three layers.
std::string Entry(int file, int entry) {
    return R"({"component": "comp)" + std::to_string(file / 10) + R"(", "group": "group)" + std::to_string(file) +
           R"(", "key": "object)" + std::to_string(entry) + R"(", "version": "1.0", "idField": "name",
  "dspIntegrated": true, "schema": {"type": "object", "properties": {
    "name": {"type": "string", "minLength": 1, "maxLength": 64},
    "vlan": {"type": "integer", "minimum": 0, "maximum": 4095},
    "mtu": {"type": "integer", "enum": [1500, 9000]},
    "mac": {"type": "string", "pattern": "^[0-9a-f]{2}(:[0-9a-f]{2}){5}$", "vital": true},
    "security": {"type": "object", "properties": {
      "promiscuous": {"type": "boolean"}, "forgedTransmits": {"type": "boolean"}}},
    "teaming": {"type": "object", "properties": {
      "policy": {"enum": ["loadbalance_srcid", "loadbalance_ip", "failover_explicit"]},
      "uplinks": {"type": "array", "maxItems": 8, "items": {"type": "object", "properties": {
        "nic": {"type": "string"}, "active": {"type": "boolean"},
        "speed": {"type": "integer", "cached": true}}, "required": ["nic"]}}}},
    "stats": {"type": "object", "cached": true, "properties": {
      "rxPackets": {"type": "integer"}, "txPackets": {"type": "integer"}}}},
  "required": ["vlan"]}})";
}

// Instance n of an object, its user members only (the vital and cached ones
// are the host's); generation 1 differs from 0 in its values.
std::string Value(int object, int n, int generation) {
    const int i = object * 7 + n + generation;
    char text[512];
    std::snprintf(text, sizeof text,
                  R"({"name": "pg-%05d", "vlan": %d, "mtu": %d,)"
                  R"( "security": {"promiscuous": false, "forgedTransmits": %s},)"
                  R"( "teaming": {"policy": "loadbalance_srcid", "uplinks": [{"nic": "vnic0", "active": true},)"
                  R"( {"nic": "vnic1", "active": %s}]}})",
                  n, i % 4096, i % 2 ? 1500 : 9000, i % 3 ? "false" : "true", i % 2 ? "true" : "false");
    return text;
}

// Generation 1 names instances from a tenth of them on where generation 0
// named them from 0 on (10 to 109 where 0 named 0 to 99).
std::string Document(const Case& c, int generation) {
    std::string text = R"({"profile": {)";
    for (int f = 0; f < c.Files(); ++f) {
        if (f % 10 == 0) text += (f ? "}, " : "") + std::string("\"comp") + std::to_string(f / 10) + "\": {";
        text += (f % 10 ? ", \"group" : "\"group") + std::to_string(f) + "\": {";
        for (int e = 0; e < c.EntriesPerFile(); ++e) {
            text += (e ? ", \"object" : "\"object") + std::to_string(e) + "\": [";
            for (int n = 0; n < c.instances; ++n)
                text += (n ? ", " : "") +
                        Value(f * c.EntriesPerFile() + e, n + c.instances / 10 * generation, generation);
            text += "]";
        }
        text += "}";
    }
    return text + "}}}";
}

bool SetDocument(const std::string& path) {
    auto doc = TarnConfigStore::CreateDocumentFromFile(path);
    const auto cache = TarnSchemaStore::SchemaStore::GetCache();
    if (!TarnConfigStore::ValidateDesiredDocument(*doc->document, cache)) return false;
    TarnConfigStore::SetDesiredUserConfig(*doc->document, cache);
    return true;
}

// The statements the step ran, one per line (none holds a line break).
bool PlainStep() {
    std::vector<std::string> statements;
    std::ifstream in(Scratch("step-statements"));
    for (std::string line; std::getline(in, line);) statements.push_back(line);
    Database db = Open(ConfigStore());
    return TarnBench::TimeInChild([&] {
        for (const std::string& sql : statements) Exec(db.get(), sql);
        return true;
    });
}

// The rows SetDesiredUserConfig writes, written on plain SQLite in one
// transaction by its statement (its text made anew and prepared for every
// row, the value bound), or with `reused` by one prepared statement with
// every column bound: what storing costs without reading or validating.
bool PlainSet(bool reused) {
    Database db = Open(ConfigStore());
    std::vector<std::array<std::string, 6>> rows;
    Statement select = Prepare(db.get(), "SELECT Identifier, Name, ConfigGroup, Component, Version, Value FROM "
                                         "DesiredUserConfig WHERE BootAction = 'SET';");
    while (sqlite3_step(select.get()) == SQLITE_ROW) {
        auto& row = rows.emplace_back();
        for (int c = 0; c < 6; ++c) row[c] = reinterpret_cast<const char*>(sqlite3_column_text(select.get(), c));
    }
    select.reset();
    using TarnPlatform::SqlQuote;
    return TarnBench::TimeInChild([&] {
        Exec(db.get(), "BEGIN IMMEDIATE TRANSACTION; Delete from DesiredUserConfig;");
        const char* reusedText = "insert or replace into DesiredUserConfig(identifier, name, configgroup, component, "
                                 "version, Value, BootAction) values (?, ?, ?, ?, ?, ?, 'SET')";
        Statement once = reused ? Prepare(db.get(), reusedText) : Statement();
        for (const auto& r : rows) {
            if (reused) {
                for (int c = 0; c < 6; ++c)
                    sqlite3_bind_text(once.get(), c + 1, r[c].data(), static_cast<int>(r[c].size()), SQLITE_STATIC);
                if (sqlite3_step(once.get()) != SQLITE_DONE) Die("reused insert");
                sqlite3_reset(once.get());
                continue;
            }
            const std::string sql =
                "insert or replace into DesiredUserConfig(identifier, name, configgroup, component, version, Value, "
                "BootAction) values (" + SqlQuote(r[0]) + ", " + SqlQuote(r[1]) + ", " + SqlQuote(r[2]) + ", " +
                SqlQuote(r[3]) + ", " + SqlQuote(r[4]) + ", ?, ?)";
            Statement insert = Prepare(db.get(), sql.c_str());
            sqlite3_bind_text(insert.get(), 1, r[5].data(), static_cast<int>(r[5].size()), SQLITE_STATIC);
            sqlite3_bind_text(insert.get(), 2, "SET", 3, SQLITE_STATIC);
            if (sqlite3_step(insert.get()) != SQLITE_DONE) Die(sql);
        }
        Exec(db.get(), "COMMIT TRANSACTION;");
        return true;
    });
}

int RunChild(const std::string& what) {
    if (what == "set") return TarnBench::TimeInChild([] { return SetDocument(Scratch("desired.json")); });
    if (what == "step")
        return TarnBench::TimeInChild([] {
            TarnConfigStore::GenerateDesiredConfiguration();
            return true;
        });
    // The store is the live one, without a backup: the boot that keeps it.
    if (what == "plan")
        return TarnBench::TimeInChild([] {
            const TarnConfigStore::BootPlan plan = TarnConfigStore::PlanNextBoot(false);
            if (!plan.failure.empty()) std::fprintf(stderr, "%s\n", plan.failure.c_str());
            return plan.failure.empty() && !plan.changes.empty();
        });
    if (what == "plain-step") return PlainStep();
    if (what == "plain-set") return PlainSet(false);
    if (what == "reused-insert") return PlainSet(true);
    return 2;
}

// Registers the schemas and builds the measured store: Config from
// generation 0 applied, generation 1 stored as desired.
void BuildStore(const Case& c) {
    const std::string schemaDir = TarnPlatform::HostPath("/usr/lib/halden/configmanager/schemas");
    for (int f = 0; f < c.Files(); ++f) {
        std::string text = R"({"metadata": {"cratename": "benchcrate", "crateversion": "1.0_1"}, "data": [)";
        for (int e = 0; e < c.EntriesPerFile(); ++e) text += (e ? ",\n" : "") + Entry(f, e);
        WriteFile(schemaDir + "/bench-" + std::to_string(f) + ".json", text + "]}");
    }
    fs::create_directories(TarnPlatform::HostPath("/etc/halden/default-config"));
    // The kernel-info tree a whole boot reads (plan rehearses one).
    fs::create_directories(TarnPlatform::HostPath("/var/run/kno"));
    fs::copy_file(TARN_SAMPLE_TREE, TarnPlatform::HostPath("/var/run/kno/tree.json"));
    if (DBStore::CreateDatabases() != 0 || !TarnConfigStore::ProcessSchemas({kCrateId})) Die("registration failed");
    TarnConfigStore::CleanupBootState();  // this boot file system is the recorded one: no schema step at boot
    WriteFile(Scratch("desired.json"), Document(c, 0));
    if (!SetDocument(Scratch("desired.json"))) Die("generation 0 refused");
    TarnConfigStore::GenerateDesiredConfiguration();
    WriteFile(Scratch("desired.json"), Document(c, 1));
    if (!SetDocument(Scratch("desired.json"))) Die("generation 1 refused");
    fs::copy_file(ConfigStore(), Scratch("pristine"));

    // The step's statements, recorded on a scratch copy, for the plain run.
    TarnPlatform::Capture capture;
    TarnConfigStore::GenerateDesiredConfiguration();
    std::string lines;
    for (const TarnPlatform::CapturedSql& s : capture.Sql()) lines += s.text + "\n";
    WriteFile(Scratch("step-statements"), lines);
}

TarnBench::Sample OnPristine(const char* what) {
    fs::copy_file(Scratch("pristine"), ConfigStore(), fs::copy_options::overwrite_existing);
    return TarnBench::RunFresh(what);
}

// One line of figures for the case, measured under a host root of its own.
void MeasureCase(const Case& c, int repetitions) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    BuildStore(c);
    Runs set, plainSet, reused, step, plainStep, plan;
    for (int r = 0; r < repetitions; ++r) {
        set.Add(OnPristine("set"));
        plainSet.Add(OnPristine("plain-set"));
        reused.Add(OnPristine("reused-insert"));
        step.Add(OnPristine("step"));
        plainStep.Add(OnPristine("plain-step"));
        plan.Add(OnPristine("plan"));
    }
    if (CountRows(Scratch("pristine"), "DesiredUserConfig") != static_cast<size_t>(c.Values()))
        Die("the desired rows are not the document's");
    std::printf("%-22s %6d %6d %7d | %6.3f %6.3f %6.3f %5.2f %5.2f %7.0f | %6.3f %6.3f %5.2f | %6.3f %5.2f %5.2f | "
                "%4ld\n",
                ShapeName(c.shape), c.objects, c.instances, c.Values(), set.Cpu(), plainSet.Cpu(), reused.Cpu(),
                set.Cpu() / reused.Cpu(), plainSet.Cpu() / reused.Cpu(), c.Values() / set.Real(), step.Real(),
                plainStep.Real(), step.Real() / plainStep.Real(), plan.Real(), plan.Real() / step.Real(),
                plan.Cpu() / step.Cpu(), set.peakKiB / 1024);
    std::fflush(stdout);
}

int Measure(int repetitions) {
    std::printf("medians of %d runs, each in a fresh process; times in s\n", repetitions);
    std::printf("%-22s %6s %6s %7s | %6s %6s %6s %5s %5s %7s | %6s %6s %5s | %6s %5s %5s | %4s\n", "shape", "objs",
                "inst", "values", "setCPU", "rowCPU", "reuCPU", "set/r", "row/r", "vals/s", "step", "plain", "ratio",
                "plan", "/step", "CPU", "MiB");
    std::printf("(set/r, row/r: CPU time of set and of its per-row statement alone over one reused insert;\n"
                " vals/s: set's values per real second; step: real time against its statements on plain SQLite;\n"
                " plan: real time over the step's, then CPU time over the step's; MiB: set's peak memory)\n");
    std::fflush(stdout);
    for (const int values : {25000, 50000, 100000})
        for (const Shape shape : {Shape::kManyObjects, Shape::kFewObjects})
            if (!TarnBench::InChild([&] { MeasureCase(Case(shape, values), repetitions); })) return 1;
    return 0;
}

} // namespace

int main(int argc, char** argv) { return TarnBench::FreshProcessMain(argc, argv, RunChild, Measure); }
