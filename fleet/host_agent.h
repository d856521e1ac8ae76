// The agent that runs beside a host's store: it takes the host's desired
// document from etcd, checks it against the host's installed schemas,
// stores it for the next boot (or rejects it, leaving the store untouched),
// and reports what the host holds under its status key.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "etcd_client.h"
#include "fleet_keys.h"
#include "host_status.h"

namespace TarnFleet {

struct AgentOptions {
    std::vector<std::string> endpoints;
    EtcdTls tls;
    std::string prefix = kDefaultPrefix;
    std::string fleet;
    std::string host;
    int leaseSeconds = 10;                       // a host whose agent is gone this long shows as gone
    std::chrono::milliseconds longestWait{30000};  // the longest pause while etcd is unreachable
    int keep = 5;                                // backup generations kept
};

// The host's state file under the host root, which the agent resumes from.
std::string AgentStatePath(const std::string& fleet);

// One pass of the agent's work without etcd: the newest inputs (nullopt for
// an absent key) are merged, checked and stored when they differ from what
// status handled, and a boot since storing is noticed. Returns whether
// status changed. Throws only what reading the store throws.
struct InputTexts {
    Inputs revisions;
    std::optional<std::string> fleet, pinned, overlay;
};
bool HandleInputs(HostStatus& status, const InputTexts& inputs, int keep);
bool NoticeBoot(HostStatus& status);

// Runs until stop is set: returns 0, or 1 when the options are unusable
// (the reason on standard error). etcd being unreachable never ends it.
int RunAgent(const AgentOptions& options, const std::atomic<bool>& stop);

} // namespace TarnFleet
