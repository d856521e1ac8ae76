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
    const Snapshot snap = etcd.Read({{keys.Desired()}, {keys.HostsPrefix(), true}});
    FleetView view;
    view.revision = snap.revision;
    for (const KeyValue& kv : snap.kvs) {
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
        else if (leaf == "status") h.status = StatusFromJson(kv.value);
    }
    return view;
}

} // namespace TarnFleet
