// Validating and splitting configuration values of a realistic nested
// schema with members in all three layers, against only parsing the same
// values with rapidjson, over 25,000, 50,000 and 100,000 values in both
// shapes (many objects of 10 instances, few of 25,000). Every object has the
// same schema, registered in a schema store under a private host root, and
// each value is checked against its own object's, the way default
// processing uses it: the full schema with the default codes, then the
// split into layers.
#include <stdlib.h>
#include <time.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "private_root.h"
#include "shape_cases.h"

#include "tarn/config_validation.h"
#include "tarn/platform/json_validator.h"
#include "tarn/platform/schema_store.h"

namespace {

const std::vector<int> kSizes = {25000, 50000, 100000};

// The entry of object "segments<N>": the head, N, the tail.
const char kEntryHead[] = R"({
  "component": "netd", "group": "network", "key": "segments)";
const char kEntryTail[] = R"(", "version": "2.1", "idField": "name",
  "schema": {
    "type": "object",
    "properties": {
      "name": {"type": "string", "minLength": 1, "maxLength": 64},
      "vlan": {"type": "integer", "minimum": 0, "maximum": 4095},
      "mtu": {"type": "integer", "enum": [1500, 9000]},
      "mac": {"type": "string", "pattern": "^[0-9a-f]{2}(:[0-9a-f]{2}){5}$", "vital": true},
      "security": {"type": "object", "properties": {
        "promiscuous": {"type": "boolean"}, "forgedTransmits": {"type": "boolean"},
        "macChanges": {"type": "boolean"}}},
      "teaming": {"type": "object", "properties": {
        "policy": {"enum": ["loadbalance_srcid", "loadbalance_ip", "failover_explicit"]},
        "lastFailover": {"type": "string", "cached": true},
        "uplinks": {"type": "array", "maxItems": 8, "items": {"type": "object", "properties": {
          "nic": {"type": "string", "instanceId": true},
          "active": {"type": "boolean"},
          "speed": {"type": "integer", "cached": true},
          "driver": {"type": "string", "vital": true}},
          "required": ["nic"]}}}},
      "stats": {"type": "object", "cached": true, "properties": {
        "rxPackets": {"type": "integer"}, "txPackets": {"type": "integer"}, "drops": {"type": "integer"}}},
      "tags": {"type": "array", "items": {"type": "string"}, "uniqueItems": true}
    },
    "required": ["vlan"]
  }
})";

std::string ValueText(int i) {
    char text[1024];
    std::snprintf(text, sizeof text,
                  R"({"name": "pg-%05d", "vlan": %d, "mtu": %d, "mac": "02:00:00:%02x:%02x:%02x",)"
                  R"( "security": {"promiscuous": false, "forgedTransmits": %s, "macChanges": true},)"
                  R"( "teaming": {"policy": "loadbalance_srcid", "lastFailover": "2026-12-0%dT10:00:00Z",)"
                  R"( "uplinks": [{"nic": "vnic0", "active": true, "speed": 10000, "driver": "ixgben"},)"
                  R"( {"nic": "vnic1", "active": %s, "speed": 25000, "driver": "nmlx5"}]},)"
                  R"( "stats": {"rxPackets": %d, "txPackets": %d, "drops": %d}, "tags": ["prod", "zone-%d"]})",
                  i, i % 4096, i % 2 ? 1500 : 9000, (i >> 16) & 0xff, (i >> 8) & 0xff, i & 0xff,
                  i % 3 ? "false" : "true", 1 + i % 9, i % 2 ? "true" : "false", i * 7, i * 5, i % 13, i % 10);
    return text;
}

// The values of a case, parsed, each with its object's schema.
struct Fixture {
    int count;
    TarnBench::Shape shape;
    std::vector<std::string> texts;
    rapidjson::MemoryPoolAllocator<> pool;  // of the parsed values: one small pool each would take 64 KiB
    std::vector<rapidjson::Document> values;
    std::vector<std::shared_ptr<TarnSchemaStore::SchemaObject>> objects;
    std::vector<const rapidjson::Value*> schemas;  // of each value

    Fixture(int size, TarnBench::Shape s) : count(size), shape(s) {
        const int instances = TarnBench::InstancesPerObject(shape);
        auto store = TarnSchemaStore::SchemaStore::GetStore();
        for (int o = 0; o * instances < count; ++o) {
            const std::string key = "segments" + std::to_string(o);
            TarnSchemaStore::SetSchema("bench", "netd", "network", key, kEntryHead + std::to_string(o) + kEntryTail,
                                       store, false);
            objects.push_back(TarnSchemaStore::GetSchema("netd", "network", key, store));
        }
        texts.reserve(count);
        values.reserve(count);
        for (int i = 0; i < count; ++i) {
            texts.push_back(ValueText(i));
            TarnJson::Parse(values.emplace_back(&pool), texts.back());
            schemas.push_back(&objects[i / instances]->GetSchemaDocument());
        }
    }
};

// The case's fixture; the previous case's is dropped first.
Fixture& Data(const benchmark::State& state) {
    static std::unique_ptr<Fixture> fixture;
    const int count = TarnBench::SizeOf(state);
    const TarnBench::Shape shape = TarnBench::ShapeOf(state);
    if (!fixture || fixture->count != count || fixture->shape != shape) {
        fixture.reset();
        fixture = std::make_unique<Fixture>(count, shape);
    }
    return *fixture;
}

void BM_ParseOnly(benchmark::State& state) {
    Fixture& f = Data(state);
    for (auto _ : state) {
        for (const std::string& text : f.texts) {
            rapidjson::Document doc;
            TarnJson::Parse(doc, text);
            benchmark::DoNotOptimize(doc.IsObject());
        }
    }
    state.SetItemsProcessed(state.iterations() * f.count);
}

void BM_Validate(benchmark::State& state) {
    Fixture& f = Data(state);
    size_t errors = 0;
    for (auto _ : state) {
        for (int i = 0; i < f.count; ++i) {
            rapidjson::Document result;
            JsonValidator::Validate(*f.schemas[i], f.values[i], result, TarnConfigStore::DEFAULT_VALIDATION_CODES, "");
            errors += result.Size();
        }
    }
    if (errors) state.SkipWithError("values did not validate");
    state.SetItemsProcessed(state.iterations() * f.count);
}

void BM_Split(benchmark::State& state) {
    Fixture& f = Data(state);
    for (auto _ : state) {
        for (int i = 0; i < f.count; ++i)
            benchmark::DoNotOptimize(TarnConfigStore::SplitConfig(f.values[i], *f.schemas[i]));
    }
    state.SetItemsProcessed(state.iterations() * f.count);
}

void BM_ValidateAndSplit(benchmark::State& state) {
    Fixture& f = Data(state);
    size_t errors = 0;
    for (auto _ : state) {
        for (int i = 0; i < f.count; ++i) {
            rapidjson::Document result;
            JsonValidator::Validate(*f.schemas[i], f.values[i], result, TarnConfigStore::DEFAULT_VALIDATION_CODES, "");
            errors += result.Size();
            benchmark::DoNotOptimize(TarnConfigStore::SplitConfig(f.values[i], *f.schemas[i]));
        }
    }
    if (errors) state.SkipWithError("values did not validate");
    state.SetItemsProcessed(state.iterations() * f.count);
}

double ThreadCpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Both phases in every iteration, timed by the thread's CPU clock, so that
// the ratio does not depend on how busy the machine was between runs.
void BM_RatioToParse(benchmark::State& state) {
    Fixture& f = Data(state);
    double parse = 0, work = 0;
    for (auto _ : state) {
        const double t0 = ThreadCpuSeconds();
        for (const std::string& text : f.texts) {
            rapidjson::Document doc;
            TarnJson::Parse(doc, text);
            benchmark::DoNotOptimize(doc.IsObject());
        }
        const double t1 = ThreadCpuSeconds();
        for (int i = 0; i < f.count; ++i) {
            rapidjson::Document result;
            JsonValidator::Validate(*f.schemas[i], f.values[i], result, TarnConfigStore::DEFAULT_VALIDATION_CODES, "");
            benchmark::DoNotOptimize(TarnConfigStore::SplitConfig(f.values[i], *f.schemas[i]));
        }
        const double t2 = ThreadCpuSeconds();
        parse += t1 - t0;
        work += t2 - t1;
    }
    state.counters["parse_ms"] = benchmark::Counter(parse * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["validate_split_ms"] = benchmark::Counter(work * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = work / parse;
}

} // namespace

int main(int argc, char** argv) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    TarnBench::RegisterCases(kSizes, {{"BM_RatioToParse", BM_RatioToParse},
                                      {"BM_ParseOnly", BM_ParseOnly},
                                      {"BM_Validate", BM_Validate},
                                      {"BM_Split", BM_Split},
                                      {"BM_ValidateAndSplit", BM_ValidateAndSplit}});
    return TarnBench::RunAndReport(argc, argv, [](const TarnBench::RatioReporter& reporter) {
        TarnBench::PrintCaseRatios(reporter, kSizes, "values", "BM_ValidateAndSplit", "BM_ParseOnly",
                                   "validate and split / parse");
    });
}
