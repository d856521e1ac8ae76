// What the operator's tool sees of a fleet: every host that has reported or
// been given something, with what it is wanted to hold and what it says it holds.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <string>

#include "etcd_client.h"
#include "fleet_keys.h"
#include "host_status.h"

namespace TarnFleet {

struct HostView {
    int64_t pinned = 0;   // revision of a rollout's document for it, 0 for none
    int64_t overlay = 0;  // revision of its overlay, 0 for none
    std::optional<HostStatus> status;
    bool alive = false;   // its agent's lease lives
    // The revision of the document the host is to hold.
    int64_t Wanted(int64_t fleet) const { return std::max({fleet, pinned, overlay}); }
    // It holds the document of revision `revision` (or a newer one) in its
    // store, or applied it: its agent said so.
    bool Stored(int64_t revision) const;
    // Its agent refused a document of revision `revision` or newer.
    bool Rejected(int64_t revision) const;
};

struct FleetView {
    int64_t revision = 0;  // of the reading
    int64_t fleet = 0;     // revision of the fleet document, 0 for none
    std::map<std::string, HostView> hosts;
};

FleetView ReadFleet(EtcdClient& etcd, const FleetKeys& keys);

} // namespace TarnFleet
