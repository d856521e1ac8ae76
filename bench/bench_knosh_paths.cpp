// Shell path resolution and listing against a plain walk of the same tree.
//
// Tree: /net/hosts/<host>/nics/<nic>/stats with 64 integer-keyed hosts of 8
// string-keyed NICs each, and /big with 10,000 integer-keyed instances.
// Resolving: 1,000,000 paths of depth 6 (two instance keys each), cycling
// through every host/NIC pair, with instance checking on and off. The plain
// walk takes the same steps with the kernel-info calls alone (child lookups,
// one node lookup per key, and, when checking, the instance list and a
// linear search), without text, path elements or module ids.
// Listing: "ls /big" (sorted, printed to /dev/null) against fetching the
// instance list and visiting every key.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "private_root.h"
#include "silence.h"

#include "tarn/knosh.h"
#include "tarn/platform/kno/kno.h"

namespace {

constexpr int kHosts = 64;
constexpr int kNics = 8;
constexpr int kBigInstances = 10000;
constexpr int64_t kResolveIterations = 1000000;

std::string NicName(int n) { return "vnic" + std::to_string(n); }

std::string TreeText() {
    std::string t = R"({"format": 1,
 "types": [{"name": "uint64", "kind": "base", "size": 8, "display": "%lu"}],
 "nodes": [
  {"id": 0, "name": "root"},
  {"id": 100, "name": "net", "parent": 0},
  {"id": 101, "name": "hosts", "parent": 100, "instance": true, "keys": "int"},
  {"id": 102, "name": "nics", "parent": 101, "instance": true, "keys": "string"},
  {"id": 103, "name": "stats", "parent": 102, "leaf": true, "get": "uint64"},
  {"id": 104, "name": "mtu", "parent": 102, "leaf": true, "get": "uint64"},
  {"id": 200, "name": "big", "parent": 0, "instance": true, "keys": "int"},
  {"id": 201, "name": "value", "parent": 200, "leaf": true, "get": "uint64"}
 ],
 "instances": [
  {"node": 101, "keys": [)";
    for (int h = 0; h < kHosts; ++h) t += (h ? ", " : "") + std::to_string(h * 3 + 1);
    t += "]}";
    for (int h = 0; h < kHosts; ++h) {
        t += ",\n  {\"node\": 102, \"above\": [" + std::to_string(h * 3 + 1) + "], \"keys\": [";
        for (int n = 0; n < kNics; ++n) t += (n ? ", \"" : "\"") + NicName(n) + "\"";
        t += "]}";
    }
    t += ",\n  {\"node\": 200, \"keys\": [";
    for (int i = 0; i < kBigInstances; ++i) t += (i ? ", " : "") + std::to_string((i * 7919) % 100003);
    t += "]}\n ]\n}\n";
    return t;
}

struct PathCase {
    std::string text;
    uint64_t host;
    std::string nic;
};

std::vector<PathCase>& Cases() {
    static std::vector<PathCase> cases;
    return cases;
}

// ---- plain walk -------------------------------------------------------------

KNONodeInfo* Child(KNONodeInfo* parent, const char* name) {
    KNONodeInfo* child = nullptr;
    if (KNO_ChildNodeLookup(parent, 0, name, &child) != KES_OK) abort();
    return child;
}

KNONodeInfo* SameNode(const KNONodeInfo* node) {
    KNONodeInfo* again = nullptr;
    if (KNO_NodeInfoLookup(node->nodeID, 0, &again) != KES_OK) abort();
    return again;
}

// True when the key is in the node's instance list under the keys above.
bool HasInstance(const KNONodeInfo* node, const KNOParamList* above, const KNOParam& key) {
    KNOParamList* list = nullptr;
    if (KNO_GetInstanceListAlloc(node->nodeID, above, &list) != KES_OK) abort();
    bool found = false;
    for (uint32_t i = 0; i < KNO_ParamListUsedCount(list) && !found; ++i) {
        const KNOParam* p = KNO_ParamListGetParam(list, i);
        found = p->type == KNO_PARAM_INT ? key.type == KNO_PARAM_INT && p->u.intValue == key.u.intValue
                                         : key.type == KNO_PARAM_STRING && strcmp(p->u.stringValue, key.u.stringValue) == 0;
    }
    KNO_ParamListDestroy(list);
    return found;
}

void PlainWalk(const PathCase& c, bool check) {
    KNONodeInfo* root = nullptr;
    if (KNO_NodeInfoLookup(0, 0, &root) != KES_OK) abort();
    KNONodeInfo* net = Child(root, "net");
    KNONodeInfo* hosts = Child(net, "hosts");
    KNOParam host{};
    KNO_ParamSetInt(&host, c.host);
    KNOParamList* none = nullptr;
    if (check && !HasInstance(hosts, none, host)) abort();
    KNONodeInfo* hostInst = SameNode(hosts);
    KNONodeInfo* nics = Child(hostInst, "nics");
    KNOParam nic{};
    KNO_ParamSetString(&nic, c.nic.c_str());
    if (check) {
        KNOParamList* above = KNO_ParamListCreate(1, 2);
        KNO_ParamListAddInt(above, c.host);
        if (!HasInstance(nics, above, nic)) abort();
        KNO_ParamListDestroy(above);
    }
    KNONodeInfo* nicInst = SameNode(nics);
    KNONodeInfo* stats = Child(nicInst, "stats");
    benchmark::DoNotOptimize(stats->nodeID);
    KNO_ParamFreeString(&nic);
    for (KNONodeInfo* n : {stats, nicInst, nics, hostInst, hosts, net, root}) KNO_NodeInfoRelease(n);
}

void BM_PlainWalk(benchmark::State& state) {
    bool check = state.range(0) != 0;
    const std::vector<PathCase>& cases = Cases();
    size_t i = 0;
    for (auto _ : state) {
        PlainWalk(cases[i], check);
        if (++i == cases.size()) i = 0;
    }
}

// ---- shell resolution ---------------------------------------------------------

void BM_KnoshResolve(benchmark::State& state) {
    uint8_t check = static_cast<uint8_t>(state.range(0));
    const std::vector<PathCase>& cases = Cases();
    KNOSHPathElement* root = KNOSHPath_InitRoot(0);
    char text[128];
    size_t i = 0;
    for (auto _ : state) {
        memcpy(text, cases[i].text.c_str(), cases[i].text.size() + 1);  // resolution writes into it
        KNOSHPathElement* path = nullptr;
        if (KNOSHPath_Form(root, text, check, &path, nullptr) != KES_OK) abort();
        KNOSHPath_Delete(path);
        if (++i == cases.size()) i = 0;
    }
    KNOSHPath_Delete(root);
}

// ---- listing -----------------------------------------------------------------------

using TarnBench::Silence;

void BM_PlainList(benchmark::State& state) {
    for (auto _ : state) {
        KNOParamList* list = nullptr;
        if (KNO_GetInstanceListAlloc(200, nullptr, &list) != KES_OK) abort();
        uint64_t sum = 0;
        for (uint32_t i = 0; i < KNO_ParamListUsedCount(list); ++i) sum += KNO_ParamGetInt(KNO_ParamListGetParam(list, i));
        benchmark::DoNotOptimize(sum);
        KNO_ParamListDestroy(list);
    }
}

void BM_KnoshList(benchmark::State& state) {
    Silence silence;
    for (auto _ : state)
        if (KNOSH_ParseAndExecCmd("ls /big") != 0) abort();
}

BENCHMARK(BM_PlainWalk)->Arg(1)->Arg(0)->Iterations(kResolveIterations)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_KnoshResolve)->Arg(1)->Arg(0)->Iterations(kResolveIterations)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_PlainList)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KnoshList)->Unit(benchmark::kMicrosecond);

// Keeps the CPU time per iteration of every run for the ratio table (CPU
// time, since the machine may be shared).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With --benchmark_repetitions the median, reported last, wins.
        for (const Run& run : runs) {
            std::string key = run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                perOp[key] = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                perOp[key] = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
    }
    std::map<std::string, double> perOp;
};

} // namespace

int main(int argc, char** argv) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    const std::string& root = privateRoot.Path();

    std::string tree = root + "/knosh-bench-tree.json";
    std::ofstream(tree) << TreeText();
    for (int h = 0; h < kHosts; ++h)
        for (int n = 0; n < kNics; ++n)
            Cases().push_back({"/net/hosts/" + std::to_string(h * 3 + 1) + "/nics/" + NicName(n) + "/stats",
                               static_cast<uint64_t>(h * 3 + 1), NicName(n)});
    options.cacheFile = tree.c_str();
    options.logLevel = -1;
    KNOSH_Init();

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto ratio = [&](const char* shell, const char* plain, const char* what) {
        auto s = reporter.perOp.find(shell), p = reporter.perOp.find(plain);
        if (s == reporter.perOp.end() || p == reporter.perOp.end() || p->second <= 0) return;
        printf("%-40s shell %9.3f us/op  plain walk %9.3f us/op  ratio %6.2f (CPU time)\n", what, s->second * 1e6, p->second * 1e6,
               s->second / p->second);
    };
    printf("\n");
    ratio("BM_KnoshResolve/1", "BM_PlainWalk/1",
          "resolve depth 6, instance checking on");
    ratio("BM_KnoshResolve/0", "BM_PlainWalk/0",
          "resolve depth 6, instance checking off");
    ratio("BM_KnoshList", "BM_PlainList", "ls of 10,000 instances");

    return 0;
}
