// Runs one measurement in a fresh process: this program started again as
// "<program> --child WHAT", which prints "<real s> <CPU s>" of the work it
// timed. Each run then starts as a host process does, and its peak memory
// (ru_maxrss) is its own.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace TarnBench {

struct Sample {
    double real = 0, cpu = 0;
    long peakKiB = 0;
};

inline double Seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// CPU time of this process and of the children it waited for.
inline double CpuWithChildren() {
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    return Seconds(CLOCK_PROCESS_CPUTIME_ID) + seconds(children.ru_utime) + seconds(children.ru_stime);
}

// Times work() in the child and prints the result for the parent; the CPU
// time includes what processes the work started took (the preview of the
// next boot runs it in a child).
template <typename Work>
int TimeInChild(Work work) {
    const double real = Seconds(CLOCK_MONOTONIC), cpu = CpuWithChildren();
    if (!work()) return 1;
    std::printf("%.6f %.6f\n", Seconds(CLOCK_MONOTONIC) - real, CpuWithChildren() - cpu);
    return 0;
}

// Runs work() in a forked child, which ends with it; false when the child
// failed. For a program that measures several sizes, each under a host root
// of its own (a process takes its host root once).
template <typename Work>
bool InChild(Work work) {
    const pid_t child = fork();
    if (child == 0) {
        work();
        std::exit(0);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && status == 0;
}

// What "<program> --child WHAT" printed, and its peak memory; ends this
// program when the run fails.
inline std::string ChildOutput(const char* what, long* peakKiB) {
    int out[2];
    if (pipe(out) != 0) std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl("/proc/self/exe", "bench", "--child", what, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char text[256] = {};
    size_t got = 0;
    for (ssize_t n; got < sizeof text - 1 && (n = read(out[0], text + got, sizeof text - 1 - got)) > 0;)
        got += static_cast<size_t>(n);
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the run of %s failed\n", what);
        std::exit(1);
    }
    *peakKiB = usage.ru_maxrss;
    return text;
}

inline Sample RunFresh(const char* what) {
    Sample sample;
    const std::string text = ChildOutput(what, &sample.peakKiB);
    if (std::sscanf(text.c_str(), "%lf %lf", &sample.real, &sample.cpu) != 2) {
        std::fprintf(stderr, "the run of %s failed\n", what);
        std::exit(1);
    }
    return sample;
}

// main of a program that measures in fresh processes: "--child WHAT" is one
// run (child(WHAT)); otherwise measure(repetitions), each figure the median
// of "--repetitions N" runs (default 3).
template <typename Child, typename Measure>
int FreshProcessMain(int argc, char** argv, Child child, Measure measure) {
    if (argc == 3 && !std::strcmp(argv[1], "--child")) return child(argv[2]);
    int repetitions = 3;
    if (argc == 3 && !std::strcmp(argv[1], "--repetitions")) repetitions = std::max(1, std::atoi(argv[2]));
    else if (argc != 1) {
        std::fprintf(stderr, "usage: %s [--repetitions N]\n", argv[0]);
        return 2;
    }
    return measure(repetitions);
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The samples of repeated runs of one work: medians of the times, the
// highest peak.
struct Runs {
    std::vector<double> real, cpu;
    long peakKiB = 0;

    void Add(const Sample& s) {
        real.push_back(s.real);
        cpu.push_back(s.cpu);
        peakKiB = std::max(peakKiB, s.peakKiB);
    }
    double Real() const { return Median(real); }
    double Cpu() const { return Median(cpu); }
};

} // namespace TarnBench
