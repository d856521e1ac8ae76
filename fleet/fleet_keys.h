// Where a fleet lives in etcd, everything under one prefix the operator
// chooses (see docs/fleet.md):
//   <prefix>/<fleet>/desired                the fleet's desired document
//   <prefix>/<fleet>/hosts/<host>/pinned    a rollout's document for this host, in place of the fleet's
//   <prefix>/<fleet>/hosts/<host>/overlay   objects that replace the fleet's objects on this host
//   <prefix>/<fleet>/hosts/<host>/status    what the host's agent last reported
//   <prefix>/<fleet>/hosts/<host>/alive     present while the agent's lease lives
#pragma once

#include <string>

namespace TarnFleet {

inline constexpr char kDefaultPrefix[] = "/tarn-fleet";

// Empty when name can name a fleet or a host (it becomes one level of a key
// and a file name): 1 to 64 bytes of letters, digits, '.', '_' and '-', not
// starting with '.'; else why not.
std::string NameProblem(const std::string& name);
// Empty when prefix can hold fleets: starts with '/', does not end with one,
// at most 256 bytes with no NUL or control byte; else why not.
std::string PrefixProblem(const std::string& prefix);

class FleetKeys {
public:
    // Throws std::invalid_argument naming the problem of a bad prefix or fleet.
    FleetKeys(std::string prefix, std::string fleet);

    const std::string& Fleet() const { return m_fleet; }
    std::string Desired() const { return m_base + "desired"; }
    std::string HostsPrefix() const { return m_base + "hosts/"; }
    std::string Pinned(const std::string& host) const { return HostKey(host, "pinned"); }
    std::string Overlay(const std::string& host) const { return HostKey(host, "overlay"); }
    std::string Status(const std::string& host) const { return HostKey(host, "status"); }
    std::string Alive(const std::string& host) const { return HostKey(host, "alive"); }

    // For a key below HostsPrefix: its host and the last level; false for
    // any other key, or one whose host is not a valid name.
    bool SplitHostKey(const std::string& key, std::string* host, std::string* leaf) const;

private:
    std::string HostKey(const std::string& host, const char* leaf) const;

    std::string m_fleet;
    std::string m_base;  // <prefix>/<fleet>/
};

} // namespace TarnFleet
