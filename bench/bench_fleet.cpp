// Delivery through etcd to a fleet: a three-member cluster on loopback, N
// sample hosts each with its agent process. Measures, per host, the time from
// `put` to its status saying "stored", and after each host's boot the time to
// "applied"; the agents' idle CPU and resident memory; and, with simulated
// hosts (one process holding every host's watch, no store), where etcd
// itself becomes the limit.
//
//   bench_fleet [HOSTS...]          default: 20 100
//   bench_fleet --simulate N...     default: 1000
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../tests/fleet/etcd_cluster.h"
#include "fleet_view.h"
#include "tarn/platform/host_root.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr char kDocument[] = R"({"profile": {"network": {"dns": {"servers": {"servers": ["192.0.2.53"]}}},)"
                             R"( "system": {"ssh": {"service": {"enabled": true, "port": 22}}}}})";

double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// utime + stime of a process, in seconds.
double CpuOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string f;
    double ticks = 0;
    for (int i = 3; fields >> f; ++i) {
        if (i == 14 || i == 15) ticks += std::stod(f);
        if (i == 15) break;
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Resident memory of a process: all of it, and its private (anonymous)
// part; the rest is shared library pages, shared with the other agents.
struct Memory {
    long rssKiB = 0, anonKiB = 0;
};

Memory MemoryOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    Memory m;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Rss:", 0) == 0) m.rssKiB = std::stol(line.substr(4));
        if (line.rfind("Anonymous:", 0) == 0) m.anonKiB = std::stol(line.substr(10));
    }
    return m;
}

Memory Largest(const std::vector<pid_t>& pids) {
    Memory most;
    for (pid_t p : pids) {
        const Memory m = MemoryOf(p);
        most.rssKiB = std::max(most.rssKiB, m.rssKiB);
        most.anonKiB = std::max(most.anonKiB, m.anonKiB);
    }
    return most;
}

struct Summary {
    double median = 0, worst = 0;
};

Summary Summarize(std::vector<double> v) {
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.back()};
}

int Run(const std::string& cmd) { return std::system(cmd.c_str()); }

// Waits until every host in `hosts` satisfies done; per host the seconds
// since t0 when it first did. Gives up after limit seconds.
template <typename Done>
std::map<std::string, double> Track(TarnFleet::EtcdClient& etcd, const TarnFleet::FleetKeys& keys,
                                    const std::vector<std::string>& hosts, Clock::time_point t0, double limit,
                                    Done done) {
    std::map<std::string, double> when;
    while (when.size() < hosts.size() && Since(t0) < limit) {
        TarnFleet::FleetView view;
        try {
            view = TarnFleet::ReadFleet(etcd, keys);
        } catch (const TarnFleet::EtcdError&) {
            continue;  // a cluster under this load may time a reading out
        }
        for (const std::string& h : hosts) {
            const auto it = view.hosts.find(h);
            if (!when.count(h) && it != view.hosts.end() && done(h, it->second)) when[h] = Since(t0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return when;
}

std::vector<double> Values(const std::map<std::string, double>& m) {
    std::vector<double> v;
    for (const auto& [k, x] : m) v.push_back(x);
    return v;
}

void Agents(int n, const std::string& dir) {
    std::printf("\n%d hosts, one agent process each\n", n);
    TarnTest::EtcdCluster cluster(3, dir + "/etcd");
    TarnFleet::EtcdClient etcd(cluster.EndpointList());
    const TarnFleet::FleetKeys keys("/tarn-fleet", "bench");
    const std::string cli = TarnPlatform::ShellQuote(TARN_CLI);
    const std::string templ = dir + "/template";
    fs::copy(TARN_EXAMPLE_HOST, templ, fs::copy_options::recursive);
    if (Run(cli + " --root " + templ + " boot >/dev/null 2>&1") != 0) throw std::runtime_error("template boot failed");

    std::vector<std::string> hosts;
    std::vector<TarnTest::Child> agents;
    std::vector<pid_t> pids;
    for (int i = 0; i < n; ++i) {
        const std::string host = "h" + std::to_string(i), root = dir + "/hosts/" + host;
        fs::create_directories(dir + "/hosts");
        Run("cp -a " + templ + " " + root);
        hosts.push_back(host);
        agents.emplace_back(std::vector<std::string>{TARN_CLI, "--root", root, "agent", "--etcd", cluster.Endpoints(),
                                                     "--fleet", "bench", "--host", host},
                            root + "/agent.out");
        pids.push_back(agents.back().Pid());
    }
    const auto started = Clock::now();
    const auto alive = Track(etcd, keys, hosts, started, 120, [](const std::string&, const TarnFleet::HostView& h) {
        return h.alive && h.status;
    });
    std::printf("agents up and reporting: %zu of %d after %.1f s\n", alive.size(), n, Since(started));

    // Idle: nothing to do but renew leases and restart watches.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    std::vector<double> before;
    for (pid_t p : pids) before.push_back(CpuOf(p));
    const double window = 60;
    std::this_thread::sleep_for(std::chrono::duration<double>(window));
    std::vector<double> idle;
    for (size_t i = 0; i < pids.size(); ++i) idle.push_back(100 * (CpuOf(pids[i]) - before[i]) / window);
    const Summary idleCpu = Summarize(idle);
    const Memory idleMemory = Largest(pids);
    std::printf("idle CPU per agent over %.0f s: median %.3f%%, worst %.3f%%; resident memory, largest: %.1f MB "
                "(private %.1f MB)\n",
                window, idleCpu.median, idleCpu.worst, idleMemory.rssKiB / 1024.0, idleMemory.anonKiB / 1024.0);

    const auto t0 = Clock::now();
    const int64_t revision = etcd.Write({{keys.Desired(), kDocument}});
    const auto stored = Track(etcd, keys, hosts, t0, 300, [revision](const std::string&, const TarnFleet::HostView& h) {
        return h.Stored(revision);
    });
    const Summary s = Summarize(Values(stored));
    std::printf("put -> stored: %zu of %d hosts; median %.2f s, worst %.2f s\n", stored.size(), n, s.median, s.worst);

    // Every host boots, one after the other as a rack would come back; the
    // time from each boot's end to its agent's report of "applied".
    std::map<std::string, Clock::time_point> booted;
    for (const std::string& h : hosts) {
        Run(cli + " --root " + dir + "/hosts/" + h + " boot >/dev/null 2>&1");
        booted[h] = Clock::now();
    }
    const auto applied = Track(etcd, keys, hosts, t0, 600, [revision](const std::string&, const TarnFleet::HostView& h) {
        return h.status && h.status->applied >= revision;
    });
    std::vector<double> afterBoot;
    for (const auto& [h, t] : applied)
        afterBoot.push_back(std::max(0.0, t - std::chrono::duration<double>(booted[h] - t0).count()));
    const Summary a = Summarize(Values(applied)), b = Summarize(afterBoot);
    const Memory after = Largest(pids);
    std::printf("resident memory after storing and noticing the boot, largest: %.1f MB (private %.1f MB)\n",
                after.rssKiB / 1024.0, after.anonKiB / 1024.0);
    std::printf("put -> applied (boots one after another): %zu of %d hosts; median %.2f s, worst %.2f s; "
                "boot end -> applied: median %.2f s, worst %.2f s\n",
                applied.size(), n, a.median, a.worst, b.median, b.worst);
}

// Simulated hosts: each a thread that does what an agent does with etcd
// (read its three keys in one transaction, write its status, watch) and
// takes a document the moment it sees it, without a store.
void Simulate(int n, const std::string& dir) {
    std::printf("\n%d simulated hosts in one process (threads), no store\n", n);
    TarnTest::EtcdCluster cluster(3, dir + "/etcd");
    const TarnFleet::FleetKeys keys("/tarn-fleet", "sim");
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    struct Joiner {
        std::atomic<bool>& stop;
        std::vector<std::thread>& threads;
        ~Joiner() {
            stop = true;
            for (auto& t : threads) t.join();
        }
    } joiner{stop, threads};
    for (int i = 0; i < n; ++i)
        threads.emplace_back([&, i] {
            const std::string host = "s" + std::to_string(i);
            TarnFleet::EtcdClient etcd({cluster.Endpoint(i % 3)});
            const std::vector<TarnFleet::KeySpan> spans = {{keys.Desired()}, {keys.Pinned(host)}, {keys.Overlay(host)}};
            int64_t handled = -1;
            while (!stop) {
                try {
                    const TarnFleet::Snapshot snap = etcd.Read(spans);
                    const TarnFleet::KeyValue* doc = snap.Find(keys.Desired());
                    const int64_t revision = doc ? doc->modRevision : 0;
                    if (revision != handled) {
                        TarnFleet::HostStatus s;
                        s.host = host;
                        s.handled.fleet = s.seen = s.stored = revision;
                        s.state = TarnFleet::kStatePending;
                        etcd.Write({{keys.Status(host), TarnFleet::StatusToJson(s)}});
                        handled = revision;
                    }
                    etcd.WaitForChange(spans, snap.revision, std::chrono::milliseconds(3000));
                } catch (const std::exception&) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                }
            }
        });
    TarnFleet::EtcdClient etcd(cluster.EndpointList());
    std::vector<std::string> hosts;
    for (int i = 0; i < n; ++i) hosts.push_back("s" + std::to_string(i));
    Track(etcd, keys, hosts, Clock::now(), 120, [](const std::string&, const TarnFleet::HostView& h) { return bool(h.status); });
    const auto etcdCpu = [&cluster] { return CpuOf(cluster.Pid(0)) + CpuOf(cluster.Pid(1)) + CpuOf(cluster.Pid(2)); };
    const double cpu0 = CpuOf(getpid()), etcd0 = etcdCpu();
    const auto t0 = Clock::now();
    const int64_t revision = etcd.Write({{keys.Desired(), kDocument}});
    const auto stored = Track(etcd, keys, hosts, t0, 120, [revision](const std::string&, const TarnFleet::HostView& h) {
        return h.Stored(revision);
    });
    const double wall = Since(t0), ours = CpuOf(getpid()) - cpu0, theirs = etcdCpu() - etcd0;
    const Summary s = Summarize(Values(stored));
    std::printf("put -> stored: %zu of %d; median %.2f s, worst %.2f s; CPU in %.2f s: the hosts' process %.2f s, "
                "the three etcd members %.2f s\n",
                stored.size(), n, s.median, s.worst, wall, ours, theirs);
}

} // namespace

int main(int argc, char** argv) {
    bool simulate = false;
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--simulate") simulate = true;
        else sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty()) sizes = simulate ? std::vector<int>{1000} : std::vector<int>{20, 100};
    for (int n : sizes) {
        const std::string dir = fs::temp_directory_path() / ("tarn-bench-fleet-" + std::to_string(getpid()) + "-" + std::to_string(n));
        fs::create_directories(dir);
        try {
            if (simulate) Simulate(n, dir);
            else Agents(n, dir);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_fleet: %s\n", e.what());
        }
        fs::remove_all(dir);
    }
    return 0;
}
