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

// The key of the host's store that names the fleet revision its desired
// rows came from, written with them before the backup: whatever restores a
// backup restores the revision with the rows.
inline constexpr char kStoreRevisionKey[] = "FLEET_DESIRED_REVISION";

// The agent's work without etcd. The newest inputs (nullopt for an absent
// key) are merged, checked and, when they differ from what status handled,
// stored; status is saved to the state file of `fleet` before the store is
// touched. Returns whether status changed.
struct InputTexts {
    Inputs revisions;
    std::optional<std::string> fleet, pinned, overlay;
};
bool HandleInputs(HostStatus& status, const InputTexts& inputs, int keep, const std::string& fleet);
// A boot since storing: applied (with the revision the boot restored) or not.
bool NoticeBoot(HostStatus& status);
// After a kill while storing: keeps what a boot shows was stored, else
// makes the inputs be handled again.
void ResolveInterruptedStore(HostStatus& status);


// Runs until stop is set: returns 0, or 1 when the options are unusable
// (the reason on standard error). etcd being unreachable never ends it.
int RunAgent(const AgentOptions& options, const std::atomic<bool>& stop);

} // namespace TarnFleet
