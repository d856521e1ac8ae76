// Validating and splitting 10,000 configuration values of a realistic nested
// schema with members in all three layers, against only parsing the same
// values with rapidjson. The schema is registered in a schema store under a
// private host root and used the way default processing uses it: the full
// schema with the default codes, then the split into layers.
#include <stdlib.h>
#include <time.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "private_root.h"

#include "tarn/config_validation.h"
#include "tarn/platform/json_validator.h"
#include "tarn/platform/schema_store.h"

namespace {

constexpr int kValues = 10000;

const char kEntry[] = R"({
  "component": "netd", "group": "network", "key": "segments", "version": "2.1", "idField": "name",
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

struct Fixture {
    std::vector<std::string> texts;
    std::vector<rapidjson::Document> values;
    std::shared_ptr<TarnSchemaStore::SchemaObject> object;

    Fixture() {
        auto store = TarnSchemaStore::SchemaStore::GetStore();
        TarnSchemaStore::SetSchema("bench", "netd", "network", "segments", kEntry, store, false);
        object = TarnSchemaStore::GetSchema("netd", "network", "segments", store);
        texts.reserve(kValues);
        values.resize(kValues);
        for (int i = 0; i < kValues; ++i) {
            texts.push_back(ValueText(i));
            TarnJson::Parse(values[i], texts.back());
        }
    }
};

Fixture& Data() {
    static Fixture fixture;
    return fixture;
}

void BM_ParseOnly(benchmark::State& state) {
    Fixture& f = Data();
    for (auto _ : state) {
        for (const std::string& text : f.texts) {
            rapidjson::Document doc;
            TarnJson::Parse(doc, text);
            benchmark::DoNotOptimize(doc.IsObject());
        }
    }
    state.SetItemsProcessed(state.iterations() * kValues);
}

void BM_Validate(benchmark::State& state) {
    Fixture& f = Data();
    const rapidjson::Value& schema = f.object->GetSchemaDocument();
    size_t errors = 0;
    for (auto _ : state) {
        for (const rapidjson::Document& value : f.values) {
            rapidjson::Document result;
            JsonValidator::Validate(schema, value, result, TarnConfigStore::DEFAULT_VALIDATION_CODES, "");
            errors += result.Size();
        }
    }
    if (errors) state.SkipWithError("values did not validate");
    state.SetItemsProcessed(state.iterations() * kValues);
}

void BM_Split(benchmark::State& state) {
    Fixture& f = Data();
    const rapidjson::Value& schema = f.object->GetSchemaDocument();
    for (auto _ : state) {
        for (const rapidjson::Document& value : f.values) benchmark::DoNotOptimize(TarnConfigStore::SplitConfig(value, schema));
    }
    state.SetItemsProcessed(state.iterations() * kValues);
}

void BM_ValidateAndSplit(benchmark::State& state) {
    Fixture& f = Data();
    const rapidjson::Value& schema = f.object->GetSchemaDocument();
    size_t errors = 0;
    for (auto _ : state) {
        for (const rapidjson::Document& value : f.values) {
            rapidjson::Document result;
            JsonValidator::Validate(schema, value, result, TarnConfigStore::DEFAULT_VALIDATION_CODES, "");
            errors += result.Size();
            benchmark::DoNotOptimize(TarnConfigStore::SplitConfig(value, schema));
        }
    }
    if (errors) state.SkipWithError("values did not validate");
    state.SetItemsProcessed(state.iterations() * kValues);
}

double ThreadCpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Both phases in every iteration, timed by the thread's CPU clock, so that
// the ratio does not depend on how busy the machine was between runs.
void BM_RatioToParse(benchmark::State& state) {
    Fixture& f = Data();
    const rapidjson::Value& schema = f.object->GetSchemaDocument();
    double parse = 0, work = 0;
    for (auto _ : state) {
        const double t0 = ThreadCpuSeconds();
        for (const std::string& text : f.texts) {
            rapidjson::Document doc;
            TarnJson::Parse(doc, text);
            benchmark::DoNotOptimize(doc.IsObject());
        }
        const double t1 = ThreadCpuSeconds();
        for (const rapidjson::Document& value : f.values) {
            rapidjson::Document result;
            JsonValidator::Validate(schema, value, result, TarnConfigStore::DEFAULT_VALIDATION_CODES, "");
            benchmark::DoNotOptimize(TarnConfigStore::SplitConfig(value, schema));
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

BENCHMARK(BM_RatioToParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Validate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Split)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValidateAndSplit)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    benchmark::Initialize(&argc, argv);
    Data();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
