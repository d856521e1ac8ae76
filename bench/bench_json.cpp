// Parsing a large configuration document into a JsonDoc (memory pool with
// 64-byte chunks) against a plain rapidjson document with the library's
// default 64 KiB chunks: time, and the heap each one uses.
#include <malloc.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "private_root.h"

#include "tarn/json_doc.h"

// Heap accounting: malloc and friends are replaced for this program so that
// the bytes in use can be followed while a document is built. Counting is off
// except inside MeasureHeap.
namespace {

bool g_tracking = false;
long long g_current = 0;
long long g_peak = 0;

void Add(void* p) {
    if (!g_tracking || !p) return;
    g_current += static_cast<long long>(malloc_usable_size(p));
    g_peak = std::max(g_peak, g_current);
}

void Sub(long long bytes) {
    if (g_tracking) g_current -= bytes;
}

long long UsableSize(void* p) { return p ? static_cast<long long>(malloc_usable_size(p)) : 0; }

} // namespace

extern "C" {
void* __libc_malloc(size_t) noexcept;
void* __libc_calloc(size_t, size_t) noexcept;
void* __libc_realloc(void*, size_t) noexcept;
void __libc_free(void*) noexcept;

__attribute__((visibility("default"))) void* malloc(size_t n) noexcept {
    void* p = __libc_malloc(n);
    Add(p);
    return p;
}
__attribute__((visibility("default"))) void* calloc(size_t n, size_t size) noexcept {
    void* p = __libc_calloc(n, size);
    Add(p);
    return p;
}
__attribute__((visibility("default"))) void* realloc(void* old, size_t n) noexcept {
    long long before = UsableSize(old);
    void* p = __libc_realloc(old, n);
    if (p) {
        Sub(before);
        Add(p);
    } else if (n == 0) {
        Sub(before);  // freed
    }
    return p;
}
__attribute__((visibility("default"))) void free(void* p) noexcept {
    Sub(UsableSize(p));
    __libc_free(p);
}
}

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// Deterministic pseudo-random numbers, so every run parses the same text.
struct Rng {
    uint64_t state = 0x9e3779b97f4a7c15ull;
    uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }
};

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

void Text(Writer& w, const std::string& s) { w.String(s.c_str(), static_cast<rapidjson::SizeType>(s.size())); }

std::string Word(Rng& rng, unsigned minLen, unsigned maxLen) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789-_.";
    std::string s(minLen + rng.Below(maxLen - minLen + 1), ' ');
    for (char& c : s) c = kLetters[rng.Below(sizeof(kLetters) - 1)];
    return s;
}

// One value layer of a configuration object: scalars, a nested object and
// short lists, as a host's network, storage and service settings look.
void Layer(Writer& w, Rng& rng) {
    w.StartObject();
    w.Key("enabled");
    w.Bool(rng.Below(2) == 1);
    w.Key("mtu");
    w.Int(1500 + static_cast<int>(rng.Below(7500)));
    w.Key("description");
    Text(w, Word(rng, 10, 60));
    w.Key("ratio");
    w.Double(rng.Below(10000) / 100.0);
    w.Key("address");
    Text(w, std::to_string(10 + rng.Below(200)) + "." + std::to_string(rng.Below(256)) + "." +
                std::to_string(rng.Below(256)) + "." + std::to_string(rng.Below(256)));
    w.Key("policy");
    w.StartObject();
    w.Key("mode");
    Text(w, rng.Below(2) ? "active" : "standby");
    w.Key("timeoutSeconds");
    w.Uint(rng.Below(3600));
    w.Key("uplinks");
    w.StartArray();
    for (unsigned i = 0, n = 1 + rng.Below(4); i < n; ++i) Text(w, "vnic" + std::to_string(i));
    w.EndArray();
    w.EndObject();
    w.Key("tags");
    w.StartArray();
    for (unsigned i = 0, n = rng.Below(5); i < n; ++i) Text(w, Word(rng, 3, 12));
    w.EndArray();
    w.EndObject();
}

// Components of groups of objects of instances, until the text reaches size.
std::string MakeConfigDocument(size_t size) {
    Rng rng;
    rapidjson::StringBuffer buffer;
    Writer w(buffer);
    w.StartObject();
    w.Key("version");
    Text(w, "1.0.0");
    w.Key("components");
    w.StartArray();
    for (unsigned c = 0; buffer.GetSize() < size; ++c) {
        w.StartObject();
        w.Key("component");
        Text(w, "component_" + std::to_string(c));
        w.Key("groups");
        w.StartArray();
        for (unsigned g = 0; g < 4; ++g) {
            w.StartObject();
            w.Key("group");
            Text(w, "group_" + std::to_string(g));
            w.Key("objects");
            w.StartArray();
            for (unsigned o = 0, objects = 1 + rng.Below(6); o < objects; ++o) {
                w.StartObject();
                w.Key("name");
                Text(w, Word(rng, 6, 20));
                w.Key("instances");
                w.StartArray();
                for (unsigned i = 0, instances = 1 + rng.Below(3); i < instances; ++i) {
                    w.StartObject();
                    w.Key("id");
                    Text(w, "instance-" + std::to_string(i));
                    w.Key("user");
                    Layer(w, rng);
                    if (rng.Below(3) == 0) {
                        w.Key("vital");
                        Layer(w, rng);
                    }
                    w.EndObject();
                }
                w.EndArray();
                w.EndObject();
            }
            w.EndArray();
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

const std::string& Document() {
    static const std::string text = MakeConfigDocument(10u * 1024 * 1024);
    return text;
}

struct HeapUse {
    double peakMiB;  // highest heap in use while the document was built
    double liveMiB;  // heap the finished document holds
};

// Builds a document with counting on; the result is released afterwards.
template <typename Build>
HeapUse MeasureHeap(Build build) {
    g_current = g_peak = 0;
    g_tracking = true;
    auto holder = build();
    HeapUse use{g_peak / kMiB, g_current / kMiB};
    g_tracking = false;
    return use;
}

void Report(benchmark::State& state, const HeapUse& heap, size_t poolSize, size_t poolCapacity) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Document().size()));
    state.counters["heap_peak_MiB"] = heap.peakMiB;
    state.counters["heap_live_MiB"] = heap.liveMiB;
    state.counters["pool_size_MiB"] = poolSize / kMiB;
    state.counters["pool_capacity_MiB"] = poolCapacity / kMiB;
}

void BM_CreateDocumentFromString(benchmark::State& state) {
    const std::string& text = Document();
    HeapUse heap = MeasureHeap([&] { return TarnConfigStore::CreateDocumentFromString(text); });
    auto sample = TarnConfigStore::CreateDocumentFromString(text);
    for (auto _ : state) {
        auto doc = TarnConfigStore::CreateDocumentFromString(text);
        benchmark::DoNotOptimize(doc->document.get());
    }
    Report(state, heap, sample->allocator->Size(), sample->allocator->Capacity());
}
BENCHMARK(BM_CreateDocumentFromString)->Unit(benchmark::kMillisecond);

void BM_PlainDocumentParse(benchmark::State& state) {
    const std::string& text = Document();
    auto parse = [&] {
        auto doc = std::make_unique<rapidjson::Document>();
        if (!TarnJson::Parse(*doc, text)) std::abort();
        return doc;
    };
    HeapUse heap = MeasureHeap(parse);
    auto sample = parse();
    for (auto _ : state) {
        rapidjson::Document doc;
        TarnJson::Parse(doc, text);
        benchmark::DoNotOptimize(&doc);
    }
    Report(state, heap, sample->GetAllocator().Size(), sample->GetAllocator().Capacity());
}
BENCHMARK(BM_PlainDocumentParse)->Unit(benchmark::kMillisecond);

// Keeps the times of every repetition so main can print the ratio of the
// medians: the machine may be shared, and the median resists outliers.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::vector<double>> realTimes, cpuTimes;
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            realTimes[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
            cpuTimes[run.run_name.function_name].push_back(run.GetAdjustedCPUTime());
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void PrintRatio(const char* what, const std::map<std::string, std::vector<double>>& times) {
    auto ours = times.find("BM_CreateDocumentFromString");
    auto plain = times.find("BM_PlainDocumentParse");
    if (ours == times.end() || plain == times.end() || Median(plain->second) <= 0) return;
    std::printf("CreateDocumentFromString / plain Parse, median %s time: %.2f (%zu repetitions)\n", what,
                Median(ours->second) / Median(plain->second), ours->second.size());
}

} // namespace

int main(int argc, char** argv) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("json_document_bytes", std::to_string(Document().size()));

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    PrintRatio("real", reporter.realTimes);
    PrintRatio("CPU", reporter.cpuTimes);

    return 0;
}
