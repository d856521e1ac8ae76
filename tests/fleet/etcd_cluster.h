// A real etcd cluster for the fleet tests: members on free loopback ports,
// their data under the test's host root, killed when the test ends.
#pragma once

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

#include "etcd_client.h"

namespace TarnTest {

// A child process started from argv, killed (SIGKILL) and reaped on destruction.
class Child {
public:
    Child() = default;
    Child(const std::vector<std::string>& argv, const std::string& output);
    ~Child();
    Child(Child&& o) noexcept : m_pid(std::exchange(o.m_pid, -1)) {}
    Child& operator=(Child&& o) noexcept { Kill(); m_pid = std::exchange(o.m_pid, -1); return *this; }
    void Kill(int signal = 9);  // and reap
    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};

class EtcdCluster {
public:
    // members: 1 or 3; dir: where their data and logs go. With tls, clients
    // must show a certificate of the cluster's own authority (Tls()).
    EtcdCluster(int members, const std::string& dir, bool tls = false);
    const TarnFleet::EtcdTls& Tls() const { return m_tls; }
    // "http://127.0.0.1:P1,http://127.0.0.1:P2,..."
    std::string Endpoints() const;
    std::string Endpoint(int member) const;
    std::vector<std::string> EndpointList() const;
    void Stop(int member);
    void Start(int member);  // again, on its data
    pid_t Pid(int member) const { return m_members[member].Pid(); }

private:
    void WaitReady() const;

    std::string m_dir;
    TarnFleet::EtcdTls m_tls;
    std::vector<int> m_client, m_peer;
    std::vector<Child> m_members;
};

} // namespace TarnTest
