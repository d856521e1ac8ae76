// What a host's agent reports under <fleet>/hosts/<host>/status, and keeps
// in its own state file to resume from: one JSON object (docs/fleet.md).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fleet_document.h"

namespace TarnFleet {

// The revisions of the inputs a document was made of; 0 for an absent key.
struct Inputs {
    int64_t fleet = 0;
    int64_t pinned = 0;
    int64_t overlay = 0;
    // The revision of the document they make: the newest of the three.
    int64_t Revision() const;
    bool operator==(const Inputs& o) const {
        return fleet == o.fleet && pinned == o.pinned && overlay == o.overlay;
    }
    bool operator!=(const Inputs& o) const { return !(*this == o); }
};

// The host's state, in the order an agent moves through it.
inline constexpr char kStateIdle[] = "idle";             // nothing handled yet
inline constexpr char kStateRejected[] = "rejected";     // the newest document failed; the store is unchanged
inline constexpr char kStateFailed[] = "failed";         // valid, but storing it failed; see errors
inline constexpr char kStatePending[] = "pending";       // stored; the next boot applies it
inline constexpr char kStateApplied[] = "applied";       // a boot applied the stored document
inline constexpr char kStateApplyFailed[] = "apply-failed";  // a boot ran but left the document unapplied

struct PlanSummary {
    int added = 0;
    int changed = 0;
    int removed = 0;
    int bootMode = 0;
    std::string failure;  // the boot's failure, empty when it runs to its end
};

struct HostStatus {
    std::string host;
    Inputs handled;         // the inputs of the newest document handled
    int64_t seen = 0;       // its revision
    int64_t stored = 0;     // the revision of the document in the store (0: none from the fleet)
    int64_t applied = 0;    // the revision a boot applied
    std::string state = kStateIdle;
    std::vector<DocumentError> errors;  // of the newest document, when rejected or failed
    std::optional<PlanSummary> plan;    // of the next boot, once stored
    int generation = 0;                 // the backup generation that holds the stored document
    std::string digest;                 // of the stored document, to know a later revision of the same text
    int64_t storing = 0;                // a revision being stored: set before the store is touched
    std::string storingDigest;
    std::string bootApplyRecord;        // JSON text, once applied
    int64_t lastSeen = 0;               // seconds since the epoch of the agent's last report
};

std::string StatusToJson(const HostStatus& status);
// nullopt when text is not a status this agent wrote (any other text in etcd
// or in the state file counts as no status at all).
std::optional<HostStatus> StatusFromJson(const std::string& text);

} // namespace TarnFleet
