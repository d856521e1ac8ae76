#include "fleet_view.h"

namespace TarnFleet {

bool HostView::Stored(int64_t revision) const {
    return status && status->seen >= revision && status->stored == status->seen &&
           (status->state == kStatePending || status->state == kStateApplied);
}

bool HostView::Rejected(int64_t revision) const {
    return status && status->seen >= revision && (status->state == kStateRejected || status->state == kStateFailed);
}

FleetView ReadFleet(EtcdClient& etcd, const FleetKeys& keys) {
    // The keys first, without their values: a host's pinned and overlay
    // documents may be a MiB each, and a fleet's would pass any bound on one
    // response. Then the statuses at that revision, a page at a time, each
    // page well below that bound (a status stays below 160 KB) and below
    // etcd's limit of operations in one transaction.
    const Snapshot names = etcd.Read({{keys.Desired(), false, true}, {keys.HostsPrefix(), true, true}});
    FleetView view;
    view.revision = names.revision;
    std::vector<KeySpan> statuses;
    for (const KeyValue& kv : names.kvs) {
        if (kv.key == keys.Desired()) {
            view.fleet = kv.modRevision;
            continue;
        }
        std::string host, leaf;
        if (!keys.SplitHostKey(kv.key, &host, &leaf)) continue;  // not a key of ours: left alone
        HostView& h = view.hosts[host];
        if (leaf == "pinned") h.pinned = kv.modRevision;
        else if (leaf == "overlay") h.overlay = kv.modRevision;
        else if (leaf == "alive") h.alive = true;
        else if (leaf == "status") statuses.push_back({kv.key});
    }
    constexpr size_t kStatusesPerRead = 64;
    for (size_t first = 0; first < statuses.size(); first += kStatusesPerRead) {
        const std::vector<KeySpan> page(statuses.begin() + first,
                                        statuses.begin() + std::min(statuses.size(), first + kStatusesPerRead));
        for (const KeyValue& kv : etcd.Read(page, names.revision).kvs) {
            std::string host, leaf;
            if (keys.SplitHostKey(kv.key, &host, &leaf)) view.hosts[host].status = StatusFromJson(kv.value);
        }
    }
    return view;
}

} // namespace TarnFleet
