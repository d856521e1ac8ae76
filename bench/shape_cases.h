// The cases a benchmark runs over: three sizes, each in both shapes, as
// Google Benchmark arguments (size, shape), and the closing ratio of each.
#pragma once

#include <benchmark/benchmark.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "ratio_reporter.h"
#include "sample_store.h"

namespace TarnBench {

// Rows of a store.
inline const std::vector<int> kStoreSizes = {25000, 100000, 250000};
inline constexpr Shape kShapes[] = {Shape::kManyObjects, Shape::kFewObjects};

using BenchmarkFunction = void (*)(benchmark::State&);

// Registers every benchmark for every case, all of one case before the
// next, so that what a case needs is made once.
inline void RegisterCases(const std::vector<int>& sizes,
                          std::initializer_list<std::pair<const char*, BenchmarkFunction>> benchmarks) {
    for (const int size : sizes)
        for (const Shape shape : kShapes)
            for (const auto& [name, run] : benchmarks)
                benchmark::RegisterBenchmark(name, run)
                    ->Args({size, static_cast<int>(shape)})
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
}

inline int SizeOf(const benchmark::State& state) { return static_cast<int>(state.range(0)); }
inline Shape ShapeOf(const benchmark::State& state) { return static_cast<Shape>(state.range(1)); }

// "<size> <unit>, <shape>: <label>: ..." for every case, ours against baseline.
inline void PrintCaseRatios(const RatioReporter& reporter, const std::vector<int>& sizes, const char* unit,
                            const std::string& ours, const std::string& baseline, const std::string& label) {
    for (const int size : sizes)
        for (const Shape shape : kShapes) {
            const std::string args = "/" + std::to_string(size) + "/" + std::to_string(static_cast<int>(shape));
            reporter.PrintRatio(ours + args, baseline + args,
                                (std::to_string(size) + " " + unit + ", " + ShapeName(shape) + ": " + label).c_str());
        }
}

} // namespace TarnBench
