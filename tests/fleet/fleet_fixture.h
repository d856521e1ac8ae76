// Sample hosts beside a real etcd: each host a copy of the sample host under
// the test's root, booted once, with its agent as a child process.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "etcd_cluster.h"
#include "fleet_view.h"
#include "support/test_support.h"
#include "tarn/platform/host_root.h"

namespace TarnTest {

inline std::string HostRoot(const std::string& host) { return Root() + "/hosts/" + host; }

inline int Boot(const std::string& root) {
    return std::system((TarnPlatform::ShellQuote(TARN_CLI) + " --root " + TarnPlatform::ShellQuote(root) +
                        " boot >/dev/null 2>&1").c_str());
}

// A copy of the sample host at root after its first boot.
inline void MakeHost(const std::string& root) {
    std::filesystem::create_directories(root);
    std::filesystem::copy(TARN_EXAMPLE_HOST, root, std::filesystem::copy_options::recursive);
    ASSERT_EQ(Boot(root), 0);
}

class FleetTest : public testing::Test {
protected:
    void StartCluster(int members = 1, bool tls = false) {
        cluster = std::make_unique<EtcdCluster>(members, Root() + "/etcd", tls);
        etcd = std::make_unique<TarnFleet::EtcdClient>(cluster->EndpointList(), cluster->Tls());
    }

    // The options that show the client's certificate, when the cluster asks for one.
    std::vector<std::string> TlsOptions() const {
        const TarnFleet::EtcdTls& t = cluster->Tls();
        if (t.caFile.empty()) return {};
        return {"--cacert", t.caFile, "--cert", t.certFile, "--key", t.keyFile};
    }

    Child StartAgent(const std::string& host, int lease = 2) {
        std::vector<std::string> argv = {TARN_CLI, "--root", HostRoot(host), "agent", "--etcd", cluster->Endpoints(),
                                         "--fleet", "lab", "--host", host, "--lease", std::to_string(lease)};
        for (const std::string& o : TlsOptions()) argv.push_back(o);
        return Child(argv, Root() + "/agent-" + host + ".out");
    }

    // tarn-fleet with args; its exit status, standard output and error.
    struct Result {
        int status;
        std::string out, err;
    };
    Result Fleet(const std::vector<std::string>& args, bool tls = true) {
        std::string command = TarnPlatform::ShellQuote(TARN_FLEET) + " --etcd " + cluster->Endpoints() + " --fleet lab";
        for (const std::string& o : tls ? TlsOptions() : std::vector<std::string>{})
            command += " " + TarnPlatform::ShellQuote(o);
        for (const std::string& a : args) command += " " + TarnPlatform::ShellQuote(a);
        command += " >" + Root() + "/fleet.out 2>" + Root() + "/fleet.err";
        const int rc = std::system(command.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ReadFile(Root() + "/fleet.out"), ReadFile(Root() + "/fleet.err")};
    }

    std::string Document(const std::string& name, const std::string& text) {
        const std::string path = Root() + "/" + name;
        WriteFile(path, text);
        return path;
    }

    // Polls the fleet until done holds (true) or 20 s pass (false).
    bool Eventually(const std::function<bool(const TarnFleet::FleetView&)>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end) {
            try {
                if (done(TarnFleet::ReadFleet(*etcd, keys))) return true;
            } catch (const TarnFleet::EtcdError&) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    std::unique_ptr<EtcdCluster> cluster;
    std::unique_ptr<TarnFleet::EtcdClient> etcd;
    TarnFleet::FleetKeys keys{"/tarn-fleet", "lab"};
};

// Rows of DesiredUserConfig of the host at root: component/group/name[identifier]=value.
inline std::vector<std::string> DesiredRows(const std::string& root) {
    return Query(root + "/etc/halden/configstore/current-store-1",
                 "SELECT Component||'/'||ConfigGroup||'/'||Name||'['||Identifier||']='||Value FROM "
                 "DesiredUserConfig ORDER BY 1;");
}

} // namespace TarnTest
