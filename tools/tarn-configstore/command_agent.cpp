// agent: the fleet's host agent beside this host's store.
#include <csignal>
#include <cstdio>

#include "commands.h"
#include "host_agent.h"

namespace TarnCli {

namespace {

std::atomic<bool> gStop{false};

void Stop(int) { gStop = true; }

std::string One(const ParsedArgs& parsed, const char* option, bool required) {
    const Args values = parsed.Values(option);
    if (values.size() > 1) throw UsageError(std::string(option) + " is given more than once");
    if (values.empty() && required) throw UsageError(std::string("missing ") + option);
    return values.empty() ? "" : values[0];
}

} // namespace

int RunAgent(const Args& args) {
    const ParsedArgs parsed = ParseArgs(args, {{"--etcd", "URL"}, {"--fleet", "NAME"}, {"--host", "NAME"},
                                               {"--prefix", "PREFIX"}, {"--cacert", "FILE"}, {"--cert", "FILE"},
                                               {"--key", "FILE"}, {"--lease", "SECONDS"}, {"--keep", "N"}});
    AtMost(parsed.operands, 0);
    TarnFleet::AgentOptions o;
    o.endpoints = TarnFleet::SplitEndpoints(One(parsed, "--etcd", true));
    if (o.endpoints.empty()) throw UsageError("--etcd needs at least one URL");
    o.fleet = One(parsed, "--fleet", true);
    o.host = One(parsed, "--host", true);
    if (const std::string p = One(parsed, "--prefix", false); !p.empty()) o.prefix = p;
    o.tls = {One(parsed, "--cacert", false), One(parsed, "--cert", false), One(parsed, "--key", false)};
    if (const std::string l = One(parsed, "--lease", false); !l.empty() && (!ParseCount(l, 3600, &o.leaseSeconds) || o.leaseSeconds < 2))
        throw UsageError("--lease needs seconds from 2 to 3600, not '" + l + "'");
    if (const std::string k = One(parsed, "--keep", false); !k.empty() && (!ParseCount(k, 1000, &o.keep) || o.keep < 1))
        throw UsageError("--keep needs a count from 1 to 1000, not '" + k + "'");
    std::signal(SIGTERM, Stop);
    std::signal(SIGINT, Stop);
    return TarnFleet::RunAgent(o, gStop);
}

} // namespace TarnCli
