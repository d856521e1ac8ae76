#include "etcd_cluster.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "etcd_client.h"
#include "support/test_support.h"

namespace TarnTest {

namespace {

std::string Url(int port) { return "http://127.0.0.1:" + std::to_string(port); }

} // namespace

Child::Child(const std::vector<std::string>& argv, const std::string& output) {
    m_pid = fork();
    if (m_pid == 0) {
        // A test that dies takes its etcd members and agents with it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
}

Child::~Child() { Kill(); }

void Child::Kill(int signal) {
    if (m_pid <= 0) return;
    ::kill(m_pid, signal);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

EtcdCluster::EtcdCluster(int members, const std::string& dir, bool tls) : m_dir(dir) {
    std::filesystem::create_directories(dir);
    if (tls) {
        // An authority, the members' certificate for 127.0.0.1 and a client's.
        const std::string make =
            "cd '" + dir + "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 2 -subj "
            "/CN=ca && for n in server client; do openssl req -newkey rsa:2048 -nodes -keyout $n.key -out $n.csr "
            "-subj /CN=$n && echo subjectAltName=IP:127.0.0.1 > san && openssl x509 -req -in $n.csr -CA ca.crt "
            "-CAkey ca.key -CAcreateserial -out $n.crt -days 2 -extfile san; done >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) throw std::runtime_error("openssl could not make the certificates");
        m_tls = {dir + "/ca.crt", dir + "/client.crt", dir + "/client.key"};
    }
    for (int i = 0; i < members; ++i) {
        m_client.push_back(FreeLoopbackPort());
        m_peer.push_back(FreeLoopbackPort());
    }
    m_members.resize(members);
    for (int i = 0; i < members; ++i) Start(i);
    WaitReady();
}

std::string EtcdCluster::Endpoint(int member) const {
    return std::string(m_tls.caFile.empty() ? "http" : "https") + "://127.0.0.1:" + std::to_string(m_client[member]);
}

std::vector<std::string> EtcdCluster::EndpointList() const {
    std::vector<std::string> out;
    for (size_t i = 0; i < m_client.size(); ++i) out.push_back(Endpoint(static_cast<int>(i)));
    return out;
}

std::string EtcdCluster::Endpoints() const {
    std::string out;
    for (const std::string& e : EndpointList()) out += (out.empty() ? "" : ",") + e;
    return out;
}

void EtcdCluster::Start(int i) {
    std::string initial;
    for (size_t k = 0; k < m_peer.size(); ++k)
        initial += (k ? "," : "") + ("m" + std::to_string(k)) + "=" + Url(m_peer[k]);
    const std::string name = "m" + std::to_string(i);
    std::vector<std::string> tls;
    if (!m_tls.caFile.empty())
        tls = {"--cert-file", m_dir + "/server.crt", "--key-file", m_dir + "/server.key", "--client-cert-auth",
               "--trusted-ca-file", m_tls.caFile};
    std::vector<std::string> argv = {"etcd", "--name", name, "--data-dir", m_dir + "/" + name, "--listen-client-urls",
                          Endpoint(i), "--advertise-client-urls", Endpoint(i), "--listen-peer-urls", Url(m_peer[i]),
                          "--initial-advertise-peer-urls", Url(m_peer[i]), "--initial-cluster", initial,
                          "--initial-cluster-state", "new", "--initial-cluster-token", "tarn-test",
                          "--heartbeat-interval", "50", "--election-timeout", "500"};
    argv.insert(argv.end(), tls.begin(), tls.end());
    m_members[i] = Child(argv, m_dir + "/" + name + ".log");
}

void EtcdCluster::Stop(int member) { m_members[member].Kill(); }

void EtcdCluster::WaitReady() const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        try {
            TarnFleet::EtcdClient each(std::vector<std::string>{Endpoint(0)}, m_tls);
            each.Read({{"/ready"}});
            return;
        } catch (const TarnFleet::EtcdError& e) {
            if (std::chrono::steady_clock::now() > end)
                throw std::runtime_error(std::string("etcd did not start (is etcd-server installed?): ") + e.what());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
}

} // namespace TarnTest
