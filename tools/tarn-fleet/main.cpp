// tarn-fleet: the operator's tool for a fleet of hosts whose agents take
// their desired configuration from etcd.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "fleet_document.h"
#include "fleet_view.h"
#include "tarn/rapidjson.h"

namespace {

using namespace TarnFleet;
using Clock = std::chrono::steady_clock;

constexpr char kUsage[] =
    "usage: tarn-fleet --etcd URL[,URL...] --fleet NAME [--prefix P] [--cacert F --cert F --key F] COMMAND\n\n"
    "commands:\n"
    "  put FILE [--host H]                 make FILE the fleet's desired document (or H's overlay)\n"
    "  status [--json]                     what every host is to hold, holds and applied\n"
    "  plan [--host H]                     the next boot's changes the agents reported\n"
    "  rollout FILE --canary N [--timeout S]\n"
    "                                      FILE to N hosts first, then to all once they stored it\n"
    "  wait --applied REV [--timeout S]    until every host applied revision REV or newer\n";

struct Usage : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The words after the global options: the command's own operands and options.
struct Words {
    std::vector<std::string> operands;
    std::map<std::string, std::string> options;

    std::string Option(const std::string& name, const std::string& otherwise = "") const {
        const auto it = options.find(name);
        return it == options.end() ? otherwise : it->second;
    }
};

Words Split(const std::vector<std::string>& args, const std::vector<std::string>& flags,
            const std::vector<std::string>& valued) {
    Words w;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (std::find(flags.begin(), flags.end(), a) != flags.end()) {
            w.options[a] = "yes";
        } else if (std::find(valued.begin(), valued.end(), a) != valued.end()) {
            if (i + 1 == args.size()) throw Usage(a + " needs a value");
            w.options[a] = args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            throw Usage("unknown option " + a);
        } else {
            w.operands.push_back(a);
        }
    }
    return w;
}

int Count(const std::string& text, const char* what, int most) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoll(text) > most)
        throw Usage(std::string(what) + " needs a number from 0 to " + std::to_string(most) + ", not '" + text + "'");
    return std::stoi(text);
}

std::string ReadDocument(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file);
    std::ostringstream text;
    text << in.rdbuf();
    // The agents check it against each host's schemas; a text they could
    // not even read is refused here.
    std::vector<DocumentError> errors;
    if (!MergeHostDocument(text.str(), std::nullopt, errors))
        throw std::runtime_error(file + ": " + errors.front().reason);
    return text.str();
}

std::string Age(int64_t lastSeen) {
    if (lastSeen == 0) return "-";
    const int64_t s = std::time(nullptr) - lastSeen;
    return s < 120 ? std::to_string(s) + "s ago" : std::to_string(s / 60) + "m ago";
}

std::string Rev(int64_t r) { return r == 0 ? "-" : std::to_string(r); }

int Put(EtcdClient& etcd, const FleetKeys& keys, const Words& w) {
    if (w.operands.size() != 1) throw Usage("put needs one FILE");
    const std::string doc = ReadDocument(w.operands[0]);
    const std::string host = w.Option("--host");
    const std::string key = host.empty() ? keys.Desired() : keys.Overlay(host);
    const int64_t revision = etcd.Write({{key, doc}});
    std::printf("%s at revision %lld\n", host.empty() ? "fleet document" : ("overlay of " + host).c_str(),
                static_cast<long long>(revision));
    return 0;
}

void StatusJson(const FleetView& view) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("revision");
    w.Int64(view.revision);
    w.Key("fleet");
    w.Int64(view.fleet);
    w.Key("hosts");
    w.StartArray();
    for (const auto& [host, h] : view.hosts) {
        w.StartObject();
        w.Key("host");
        w.String(host);
        w.Key("wanted");
        w.Int64(h.Wanted(view.fleet));
        w.Key("alive");
        w.Bool(h.alive);
        w.Key("status");
        if (h.status) {
            const std::string text = StatusToJson(*h.status);
            w.RawValue(text.c_str(), text.size(), rapidjson::kObjectType);
        } else {
            w.Null();
        }
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    std::printf("%s\n", buffer.GetString());
}

int Status(EtcdClient& etcd, const FleetKeys& keys, const Words& w) {
    if (!w.operands.empty()) throw Usage("status takes no operand");
    const FleetView view = ReadFleet(etcd, keys);
    if (w.options.count("--json")) {
        StatusJson(view);
        return 0;
    }
    std::printf("fleet %s: document at revision %s, %zu host%s\n", keys.Fleet().c_str(), Rev(view.fleet).c_str(),
                view.hosts.size(), view.hosts.size() == 1 ? "" : "s");
    std::printf("%-20s %8s %8s %8s %-13s %-8s %-6s %s\n", "HOST", "WANTED", "STORED", "APPLIED", "STATE",
                "SEEN", "ALIVE", "ERRORS");
    for (const auto& [host, h] : view.hosts) {
        const HostStatus none;
        const HostStatus& s = h.status ? *h.status : none;
        std::string errors;
        for (const DocumentError& e : s.errors)
            errors += (errors.empty() ? "" : "; ") + (e.object.empty() ? "" : e.object + " ") +
                      (e.pointer.empty() ? "" : e.pointer + ": ") + e.reason;
        std::printf("%-20s %8s %8s %8s %-13s %-8s %-6s %s\n", host.c_str(), Rev(h.Wanted(view.fleet)).c_str(),
                    Rev(s.stored).c_str(), Rev(s.applied).c_str(), h.status ? s.state.c_str() : "unknown",
                    Age(s.lastSeen).c_str(), h.alive ? "yes" : "gone", errors.c_str());
    }
    return 0;
}

int Plan(EtcdClient& etcd, const FleetKeys& keys, const Words& w) {
    if (!w.operands.empty()) throw Usage("plan takes no operand");
    const FleetView view = ReadFleet(etcd, keys);
    const std::string only = w.Option("--host");
    for (const auto& [host, h] : view.hosts) {
        if (!only.empty() && host != only) continue;
        if (!h.status || !h.status->plan) {
            std::printf("%s: no plan reported\n", host.c_str());
            continue;
        }
        const PlanSummary& p = *h.status->plan;
        std::printf("%s: revision %s, next boot in mode %d: %d added, %d changed, %d removed%s%s\n", host.c_str(),
                    Rev(h.status->stored).c_str(), p.bootMode, p.added, p.changed, p.removed,
                    p.failure.empty() ? "" : "; fails: ", p.failure.c_str());
    }
    return 0;
}

// Waits until done(view) or the timeout; false at the timeout.
template <typename Done>
bool WaitFor(EtcdClient& etcd, const FleetKeys& keys, int timeoutSeconds, Done done) {
    const auto end = Clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        const FleetView view = ReadFleet(etcd, keys);
        if (done(view)) return true;
        if (Clock::now() >= end) return false;
        etcd.WaitForChange({{keys.HostsPrefix(), true}}, view.revision, std::chrono::milliseconds(1000));
    }
}

void PrintRejections(const FleetView& view, int64_t revision) {
    for (const auto& [host, h] : view.hosts)
        if (h.Rejected(revision))
            for (const DocumentError& e : h.status->errors)
                std::fprintf(stderr, "tarn-fleet: %s rejected revision %lld: %s%s%s\n", host.c_str(),
                             static_cast<long long>(h.status->seen), e.object.empty() ? "" : (e.object + " ").c_str(),
                             e.pointer.empty() ? "" : (e.pointer + ": ").c_str(), e.reason.c_str());
}

// Waits until every live host stored revision (or refused it); 0 when all
// stored it.
int WaitStored(EtcdClient& etcd, const FleetKeys& keys, int64_t revision, int timeout) {
    FleetView last;
    const bool settled = WaitFor(etcd, keys, timeout, [&](const FleetView& view) {
        last = view;
        for (const auto& [host, h] : view.hosts)
            if (h.alive && !h.Stored(revision) && !h.Rejected(revision)) return false;
        return true;
    });
    int stored = 0, refused = 0;
    std::string missing;
    for (const auto& [host, h] : last.hosts) {
        if (!h.alive) continue;
        if (h.Stored(revision)) ++stored;
        else if (h.Rejected(revision)) ++refused;
        else missing += " " + host;
    }
    PrintRejections(last, revision);
    std::printf("%d host%s stored revision %lld, %d refused it\n", stored, stored == 1 ? "" : "s",
                static_cast<long long>(revision), refused);
    if (!settled) std::fprintf(stderr, "tarn-fleet: not stored in time by:%s\n", missing.c_str());
    return settled && refused == 0 ? 0 : 1;
}

int Rollout(EtcdClient& etcd, const FleetKeys& keys, const Words& w) {
    if (w.operands.size() != 1) throw Usage("rollout needs one FILE");
    if (!w.options.count("--canary")) throw Usage("rollout needs --canary N");
    const int canaries = Count(w.Option("--canary"), "--canary", 100000);
    const int timeout = Count(w.Option("--timeout", "300"), "--timeout", 86400);
    const std::string doc = ReadDocument(w.operands[0]);

    std::vector<std::string> chosen;
    for (const auto& [host, h] : ReadFleet(etcd, keys).hosts)
        if (h.alive && static_cast<int>(chosen.size()) < canaries) chosen.push_back(host);
    if (!chosen.empty()) {
        std::vector<std::pair<std::string, std::string>> pins;
        for (const std::string& host : chosen) pins.push_back({keys.Pinned(host), doc});
        const int64_t revision = etcd.Write(pins);
        std::printf("canaries at revision %lld:", static_cast<long long>(revision));
        for (const std::string& host : chosen) std::printf(" %s", host.c_str());
        std::printf("\n");
        std::string why;
        const bool settled = WaitFor(etcd, keys, timeout, [&](const FleetView& view) {
            for (const std::string& host : chosen) {
                const auto it = view.hosts.find(host);
                if (it == view.hosts.end()) continue;
                if (it->second.Rejected(revision)) {
                    PrintRejections(view, revision);
                    why = host + " rejected it";
                    return true;
                }
                if (!it->second.Stored(revision)) return false;
            }
            return true;
        });
        // The canaries go back to the fleet's document whatever happened.
        std::vector<std::string> unpin;
        for (const std::string& host : chosen) unpin.push_back(keys.Pinned(host));
        if (!settled || !why.empty()) {
            etcd.Write({}, unpin);
            std::fprintf(stderr, "tarn-fleet: rollout stopped: %s; the fleet's document is unchanged\n",
                         settled ? why.c_str() : "the canaries did not store it in time");
            return 1;
        }
        std::printf("canaries stored it\n");
        const int64_t all = etcd.Write({{keys.Desired(), doc}}, unpin);
        std::printf("fleet document at revision %lld\n", static_cast<long long>(all));
        return WaitStored(etcd, keys, all, timeout);
    }
    const int64_t all = etcd.Write({{keys.Desired(), doc}});
    std::printf("fleet document at revision %lld (no live host to be a canary)\n", static_cast<long long>(all));
    return WaitStored(etcd, keys, all, timeout);
}

int Wait(EtcdClient& etcd, const FleetKeys& keys, const Words& w) {
    if (!w.operands.empty()) throw Usage("wait takes no operand");
    if (!w.options.count("--applied")) throw Usage("wait needs --applied REV");
    const std::string text = w.Option("--applied");
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        throw Usage("--applied needs a revision, not '" + text + "'");
    const int64_t revision = std::stoll(text);
    const int timeout = Count(w.Option("--timeout", "300"), "--timeout", 86400);
    FleetView last;
    const bool done = WaitFor(etcd, keys, timeout, [&](const FleetView& view) {
        last = view;
        for (const auto& [host, h] : view.hosts)
            if (h.alive && !(h.status && h.status->applied >= revision)) return false;
        return true;
    });
    std::string missing, gone;
    for (const auto& [host, h] : last.hosts) {
        if (!h.alive) gone += " " + host;
        else if (!(h.status && h.status->applied >= revision)) missing += " " + host;
    }
    if (!gone.empty()) std::fprintf(stderr, "tarn-fleet: not counted, their agents are gone:%s\n", gone.c_str());
    if (!done) {
        std::fprintf(stderr, "tarn-fleet: revision %lld not applied in time by:%s\n", static_cast<long long>(revision),
                     missing.c_str());
        return 1;
    }
    std::printf("every live host applied revision %lld or newer\n", static_cast<long long>(revision));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string etcd, fleet, prefix = kDefaultPrefix;
    EtcdTls tls;
    size_t i = 0;
    try {
        for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
            const std::string& a = args[i];
            if (a == "-h" || a == "--help") {
                std::printf("%s", kUsage);
                return 0;
            }
            std::string* target = a == "--etcd"     ? &etcd
                                  : a == "--fleet"  ? &fleet
                                  : a == "--prefix" ? &prefix
                                  : a == "--cacert" ? &tls.caFile
                                  : a == "--cert"   ? &tls.certFile
                                  : a == "--key"    ? &tls.keyFile
                                                    : nullptr;
            if (!target) throw Usage("unknown option " + a);
            if (i + 1 == args.size()) throw Usage(a + " needs a value");
            *target = args[++i];
        }
        if (SplitEndpoints(etcd).empty()) throw Usage("missing --etcd URL[,URL...]");
        if (fleet.empty()) throw Usage("missing --fleet NAME");
        if (i == args.size()) throw Usage("missing command");
        const std::string command = args[i];
        const std::vector<std::string> rest(args.begin() + i + 1, args.end());
        const FleetKeys keys(prefix, fleet);
        // An operator's request waits out an election or a member going
        // down; every write the tool makes is safe to repeat.
        EtcdClient client(SplitEndpoints(etcd), tls, std::chrono::seconds(10));
        if (command == "put") return Put(client, keys, Split(rest, {}, {"--host"}));
        if (command == "status") return Status(client, keys, Split(rest, {"--json"}, {}));
        if (command == "plan") return Plan(client, keys, Split(rest, {}, {"--host"}));
        if (command == "rollout") return Rollout(client, keys, Split(rest, {}, {"--canary", "--timeout"}));
        if (command == "wait") return Wait(client, keys, Split(rest, {}, {"--applied", "--timeout"}));
        throw Usage("unknown command '" + command + "'");
    } catch (const Usage& e) {
        std::fprintf(stderr, "tarn-fleet: %s\n%s", e.what(), kUsage);
        return 2;
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "tarn-fleet: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarn-fleet: %s\n", e.what());
        return 1;
    }
}
