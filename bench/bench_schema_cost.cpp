// What one schema costs a boot: its registration (reading and checking the
// entry, the draft-4 meta-schema check, completion, compiling the full and
// the user schema) and the validation of one default value against it, as
// ProcessSchemas and ProcessDefaultConfiguration run them. Four shapes of
// schema, each at three sizes to show growth:
//
//   properties  an object of n integer members, all required; the value sets each
//   enum        a member whose enum lists n strings; the value is the last
//   chain       n "$ref"s each leading to the next, the last to an integer
//   diamond     d_i = {"allOf": [{"$ref": d_i+1}, {"$ref": d_i+1}]}, n levels
//               (2^n paths to the last node)
//
// The counter per_item is the CPU time per member, enum value, link or level;
// the closing lines give its ratio from the smallest size to the largest
// (1.0 is linear growth). peak_rss_MB is the process's peak so far: run one
// case alone (--benchmark_filter) to read what that case takes.
//
//   bench_schema_cost [google benchmark options]
#include "private_root.h"
#include "ratio_reporter.h"

#include <sys/resource.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "tarn/platform/json_validator.h"
#include "tarn/platform/schema_store.h"

namespace {

// The entry of object bench/cost/<key> around a schema.
std::string Entry(const std::string& schema) {
    return R"({"component": "bench", "group": "cost", "key": "obj", "version": "1.0", "schema": )" + schema + "}";
}

std::string Properties(int n, std::string& value) {
    std::string props, required;
    value = "{";
    for (int i = 0; i < n; ++i) {
        const std::string name = "\"p" + std::to_string(i) + "\"";
        props += (i ? ", " : "") + name + R"(: {"type": "integer", "minimum": 0})";
        required += (i ? ", " : "") + name;
        value += (i ? ", " : "") + name + ": " + std::to_string(i);
    }
    value += "}";
    return R"({"type": "object", "required": [)" + required + R"(], "properties": {)" + props + "}}";
}

std::string Enum(int n, std::string& value) {
    std::string values;
    for (int i = 0; i < n; ++i) values += (i ? ", \"e" : "\"e") + std::to_string(i) + "\"";
    value = "{\"v\": \"e" + std::to_string(n - 1) + "\"}";
    return R"({"type": "object", "properties": {"v": {"enum": [)" + values + "]}}}";
}

std::string Definitions(int n, const std::function<std::string(int)>& node, const std::string& last) {
    std::string defs;
    for (int i = 0; i < n; ++i) defs += "\"d" + std::to_string(i) + "\": " + node(i + 1) + ", ";
    return R"({"$ref": "#/definitions/d0", "definitions": {)" + defs + "\"d" + std::to_string(n) + "\": " + last + "}}";
}

std::string Ref(int i) { return R"({"$ref": "#/definitions/d)" + std::to_string(i) + "\"}"; }

std::string Chain(int n, std::string& value) {
    value = "7";
    return Definitions(n, Ref, R"({"type": "integer"})");
}

std::string Diamond(int n, std::string& value) {
    value = "3";
    return Definitions(n, [](int i) { return R"({"allOf": [)" + Ref(i) + ", " + Ref(i) + "]}"; },
                       R"({"type": "integer", "maximum": 5})");
}

using Shape = std::string (*)(int, std::string&);

void Boot(benchmark::State& state, Shape shape) {
    const int n = static_cast<int>(state.range(0));
    std::string value;
    const std::string entry = Entry(shape(n, value));
    rapidjson::Document parsed;
    parsed.Parse(value.c_str());
    auto store = TarnSchemaStore::SchemaStore::GetStore();
    for (auto _ : state) {
        TarnSchemaStore::SetSchema("bench", "bench", "cost", "obj", entry, store, false);
        auto object = TarnSchemaStore::GetSchema("bench", "cost", "obj", store);
        rapidjson::Document errors;
        if (!JsonValidator::Validate(object->GetSchemaDocument(), parsed, errors,
                                     {JsonValidator::CHECK_SCHEMA, JsonValidator::ALL_ERRORS, JsonValidator::SPLITTABLE,
                                      JsonValidator::GENERATED_ID_OPTIONAL},
                                     ""))
            state.SkipWithError("the default value does not validate");
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["per_item"] =
        benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["schema_KB"] = static_cast<double>(entry.size()) / 1024;
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024;
}

void BM_Properties(benchmark::State& state) { Boot(state, Properties); }
void BM_Enum(benchmark::State& state) { Boot(state, Enum); }
void BM_Chain(benchmark::State& state) { Boot(state, Chain); }
void BM_Diamond(benchmark::State& state) { Boot(state, Diamond); }

BENCHMARK(BM_Properties)->Arg(5000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Enum)->Arg(50000)->Arg(200000)->Arg(2000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Chain)->Arg(400)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Diamond)->Arg(16)->Arg(30)->Arg(60)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    return TarnBench::RunAndReport(argc, argv, [](const TarnBench::RatioReporter& r) {
        const struct {
            const char *label, *name;
            int small, large;
        } growth[] = {{"per property", "BM_Properties", 5000, 200000},
                      {"per enum value", "BM_Enum", 50000, 2000000},
                      {"per chain link", "BM_Chain", 400, 20000},
                      {"per diamond level", "BM_Diamond", 16, 60}};
        for (const auto& g : growth) {
            const double small = r.CpuPerIteration(std::string(g.name) + "/" + std::to_string(g.small)) / g.small;
            const double large = r.CpuPerIteration(std::string(g.name) + "/" + std::to_string(g.large)) / g.large;
            if (small > 0 && large > 0)
                std::printf("%s: CPU time %.2f us at %d, %.2f us at %d: ratio %.2f\n", g.label, small * 1e6, g.small,
                            large * 1e6, g.large, large / small);
        }
    });
}
