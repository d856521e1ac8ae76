// Console reporter that keeps the mean real and CPU time per iteration of
// each benchmark (over all repetitions), for a closing ratio of two of them.
// A benchmark is named by its function and its arguments ("BM_Copy/64").
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>

namespace TarnBench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, so the figures can be kept in a file.
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
            Total& total = m_totals[name];
            total.real += run.real_accumulated_time;
            total.cpu += run.cpu_accumulated_time;
            total.iterations += static_cast<double>(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // "<label>: real time ratio r (a ms vs b ms), CPU time ratio c (...)".
    void PrintRatio(const std::string& ours, const std::string& baseline, const char* label) const {
        auto a = m_totals.find(ours), b = m_totals.find(baseline);
        if (a == m_totals.end() || b == m_totals.end()) return;
        const Total& x = a->second;
        const Total& y = b->second;
        std::printf("%s: real time ratio %.2f (%.1f ms vs %.1f ms), CPU time ratio %.2f (%.1f ms vs %.1f ms)\n", label,
                    x.Real() / y.Real(), x.Real() * 1e3, y.Real() * 1e3, x.Cpu() / y.Cpu(), x.Cpu() * 1e3,
                    y.Cpu() * 1e3);
    }

    // Mean CPU seconds per iteration of a benchmark; 0 when it did not run.
    double CpuPerIteration(const std::string& name) const {
        auto t = m_totals.find(name);
        return t == m_totals.end() ? 0 : t->second.Cpu();
    }

private:
    struct Total {
        double real = 0, cpu = 0, iterations = 0;
        double Real() const { return real / iterations; }
        double Cpu() const { return cpu / iterations; }
    };
    std::map<std::string, Total> m_totals;
};

// Runs the benchmarks the command line selects, then report(reporter) for
// the closing figures; main's exit status.
template <typename Report>
int RunAndReport(int argc, char** argv, Report&& report) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    report(static_cast<const RatioReporter&>(reporter));
    benchmark::Shutdown();
    return 0;
}

} // namespace TarnBench
