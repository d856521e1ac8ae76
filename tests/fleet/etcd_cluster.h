// A real etcd cluster for the fleet tests: members on free loopback ports,
// their data under the test's host root, killed when the test ends.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace TarnTest {

// A child process started from argv, killed (SIGKILL) and reaped on destruction.
class Child {
public:
    Child() = default;
    Child(const std::vector<std::string>& argv, const std::string& output);
    ~Child();
    Child(Child&& other) noexcept;
    Child& operator=(Child&& other) noexcept;
    void Kill(int signal = 9);  // and reap
    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};

class EtcdCluster {
public:
    // members: 1 or 3; dir: where their data and logs go.
    EtcdCluster(int members, const std::string& dir);
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
    std::vector<int> m_client, m_peer;
    std::vector<Child> m_members;
};

} // namespace TarnTest
