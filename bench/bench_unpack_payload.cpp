// Unpacking a payload (UnpackTardisk) of N one-line files, 100 to a
// directory, into a temporary host root whose live kernel-info tree starts
// without inode records, as after boot. The counter per_entry is the CPU
// time per file: it stays flat as N grows when the cost is linear. The
// file system counts: run with TMPDIR=/dev/shm for the host's in-memory one.
//
//   bench_unpack_payload [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>

#include "private_root.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "tarn/platform/host_root.h"
#include "tarn/platform/kno/kno_tree.h"
#include "tarn/platform/tardisk.h"

namespace fs = std::filesystem;

namespace {

// The inode records' part of a live tree.
constexpr char kTree[] = R"({"format": 1, "signature": {"buildDate": "2024-03-14 09:26:53"},
  "types": [
    {"name": "char", "kind": "base", "size": 1, "display": "%s"},
    {"name": "uint32", "kind": "base", "size": 4},
    {"name": "uint64", "kind": "base", "size": 8},
    {"name": "TardiskName", "kind": "array", "element": "char", "count": 32},
    {"name": "InodeStats", "kind": "struct", "members": [
      {"name": "inode", "type": "uint64"}, {"name": "size", "type": "uint64"}, {"name": "blocks", "type": "uint64"},
      {"name": "mode", "type": "uint32"}, {"name": "links", "type": "uint32"}, {"name": "flags", "type": "uint32"},
      {"name": "tardisk", "type": "TardiskName"}]}],
  "nodes": [
    {"id": 0, "name": "root"}, {"id": 1, "name": "system", "parent": 0},
    {"id": 10, "name": "lumenfs", "parent": 1},
    {"id": 11, "name": "inodes", "parent": 10, "instance": true, "keys": "int"},
    {"id": 12, "name": "stats", "parent": 11, "leaf": true, "get": "InodeStats"}],
  "values": []}
)";

std::string Header(const std::string& name, size_t size) {
    char h[512] = {};
    std::snprintf(h, 100, "%s", name.c_str());
    std::snprintf(h + 100, 8, "%07o", 0644);
    std::snprintf(h + 124, 12, "%011o", static_cast<unsigned>(size));
    h[156] = '0';
    std::memcpy(h + 257, "ustar\0" "00", 8);
    std::memset(h + 148, ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : h) sum += c;
    std::snprintf(h + 148, 8, "%06o", sum);
    return std::string(h, 512);
}

// The archive of n files, written once per size.
std::string Archive(int64_t n) {
    const std::string path = TarnPlatform::HostPath("/payloads/p" + std::to_string(n) + ".tar");
    if (fs::exists(path)) return path;
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    for (int64_t i = 0; i < n; ++i) {
        const std::string data = std::to_string(i) + "\n";
        out << Header("p/d" + std::to_string(i / 100) + "/f" + std::to_string(i), data.size()) << data
            << std::string(512 - data.size(), '\0');
    }
    out << std::string(1024, '\0');
    return path;
}

void BM_UnpackTardisk(benchmark::State& state) {
    const std::string archive = Archive(state.range(0));
    const std::string tree = TarnPlatform::HostPath("/var/run/kno/tree.json");
    fs::create_directories(fs::path(tree).parent_path());
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(TarnPlatform::HostPath("/p"));
        std::ofstream(tree) << kTree;
        KNO_Reset();
        state.ResumeTiming();
        std::string error;
        if (!TarnPlatform::UnpackTardisk(archive, "bench.tgz", &error)) state.SkipWithError(error.c_str());
    }
    state.counters["per_entry"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

BENCHMARK(BM_UnpackTardisk)->Arg(1000)->Arg(4000)->Arg(40000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    const TarnBench::PrivateRoot privateRoot;  // before anything reads the host root
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
