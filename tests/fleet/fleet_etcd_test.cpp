// The fleet against a real etcd: sample hosts with their agents as child
// processes, the operator's tool as a program.
#include <filesystem>
#include <random>

#include "fleet_fixture.h"

namespace TarnTest {
namespace {

using TarnFleet::FleetView;

constexpr char kFleetDoc[] =
    R"({"profile": {"network": {"dns": {"servers": {"servers": ["192.0.2.53"]}}},)"
    R"( "system": {"ssh": {"service": {"enabled": true, "port": 22}}}}})";
constexpr char kOverlay[] = R"({"profile": {"network": {"dns": {"servers": {"servers": ["198.51.100.53"]}}}}})";
constexpr char kSchemaError[] =
    R"({"profile": {"network": {"dns": {"servers": {"servers": [42, "x", 7]}}}, "nope": {"g": {"k": {}}}}})";

size_t Generations(const std::string& host) {
    const std::string dir = HostRoot(host) + "/var/lib/halden/configstore/backup/generations";
    if (!std::filesystem::exists(dir)) return 0;
    return std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator());
}

// Whether every host named is seen alive, and has stored what it is wanted to when stored is asked.
bool Everywhere(const FleetView& v, std::initializer_list<const char*> hosts, bool stored = true) {
    for (const char* h : hosts) {
        const auto it = v.hosts.find(h);
        if (it == v.hosts.end() || !it->second.alive || (stored && !it->second.Stored(it->second.Wanted(v.fleet)))) return false;
    }
    return true;
}

// Each host gets the fleet's document with its own overlay laid over it,
// stored for the next boot with a backup that holds it; the boot applies it.
TEST_F(FleetTest, DeliversMergesStoresAndReportsTheBoot) {
    StartCluster();
    MakeHost(HostRoot("h1"));
    MakeHost(HostRoot("h2"));
    ASSERT_EQ(Fleet({"put", Document("overlay.json", kOverlay), "--host", "h2"}).status, 0);
    Child a1 = StartAgent("h1"), a2 = StartAgent("h2");
    const Result put = Fleet({"put", Document("fleet.json", kFleetDoc)});
    ASSERT_EQ(put.status, 0) << put.err;
    ASSERT_TRUE(Eventually([](const FleetView& v) { return Everywhere(v, {"h1", "h2"}); }));

    EXPECT_THAT(DesiredRows(HostRoot("h1")), testing::Contains(testing::HasSubstr("dns/servers[]={\"servers\":[\"192.0.2.53\"]}")));
    EXPECT_THAT(DesiredRows(HostRoot("h2")), testing::Contains(testing::HasSubstr("198.51.100.53")));
    EXPECT_THAT(DesiredRows(HostRoot("h2")), testing::Not(testing::Contains(testing::HasSubstr("192.0.2.53"))));
    // The object the overlay does not name still comes from the fleet.
    EXPECT_THAT(DesiredRows(HostRoot("h2")), testing::Contains(testing::HasSubstr("system/ssh/service")));

    const Result plan = Fleet({"plan", "--host", "h1"});
    EXPECT_THAT(plan.out, testing::HasSubstr("h1: revision"));
    EXPECT_THAT(plan.out, testing::HasSubstr("next boot in mode 1"));

    ASSERT_EQ(Boot(HostRoot("h1")), 0);
    ASSERT_TRUE(Eventually([](const FleetView& v) {
        const auto& s = v.hosts.at("h1").status;
        return s && s->state == TarnFleet::kStateApplied && s->applied == s->stored;
    }));
    EXPECT_EQ(ReadFleet(*etcd, keys).hosts.at("h2").status->state, TarnFleet::kStatePending);
    const Result status = Fleet({"status"});
    EXPECT_THAT(status.out, testing::ContainsRegex("h1 +[0-9]+ +[0-9]+ +[0-9]+ applied"));
    EXPECT_THAT(status.out, testing::ContainsRegex("h2 +[0-9]+ +[0-9]+ +- +pending"));
    const FleetView v = ReadFleet(*etcd, keys);
    EXPECT_EQ(Fleet({"wait", "--applied", std::to_string(v.hosts.at("h1").status->applied), "--timeout", "1"}).status,
              1) << "h2 has not booted";
}

// A document that fails a host's schemas, or cannot be read at all, is
// rejected on that host with every error; its store keeps what it held and
// the other hosts go on.
TEST_F(FleetTest, RejectsOnOneHostLeavingItsStoreAndTheOthers) {
    StartCluster();
    MakeHost(HostRoot("h1"));
    MakeHost(HostRoot("h2"));
    Child a1 = StartAgent("h1"), a2 = StartAgent("h2");
    ASSERT_EQ(Fleet({"put", Document("fleet.json", kFleetDoc)}).status, 0);
    ASSERT_TRUE(Eventually([](const FleetView& v) { return Everywhere(v, {"h1", "h2"}); }));
    const auto rowsBefore = DesiredRows(HostRoot("h2"));
    const size_t generationsBefore = Generations("h2");
    const int64_t h1Seen = ReadFleet(*etcd, keys).hosts.at("h1").status->seen;

    ASSERT_EQ(Fleet({"put", Document("bad.json", kSchemaError), "--host", "h2"}).status, 0);
    ASSERT_TRUE(Eventually([](const FleetView& v) { return v.hosts.at("h2").Rejected(v.hosts.at("h2").Wanted(v.fleet)); }));
    FleetView v = ReadFleet(*etcd, keys);
    std::vector<std::string> errors;  // every one, with its object and pointer
    for (const auto& e : v.hosts.at("h2").status->errors) errors.push_back(e.object + " " + e.pointer);
    EXPECT_THAT(errors, testing::IsSupersetOf({"network/dns/servers /profile/network/dns/servers/servers/0",
                                               "network/dns/servers /profile/network/dns/servers/servers/2",
                                               " /profile/nope"}));
    EXPECT_EQ(DesiredRows(HostRoot("h2")), rowsBefore);
    EXPECT_EQ(Generations("h2"), generationsBefore);
    EXPECT_LT(v.hosts.at("h2").status->stored, v.hosts.at("h2").status->seen);
    EXPECT_EQ(v.hosts.at("h1").status->seen, h1Seen);
    EXPECT_EQ(v.hosts.at("h1").status->state, TarnFleet::kStatePending);

    // Texts no agent can read, straight into etcd: refused with the reason,
    // and the agent lives on to take the next good document.
    for (const std::string& hostile : {std::string("{\"profile\": \"\xff\"}"), std::string(200, '[') + std::string(200, ']'),
                                       std::string(TarnFleet::kMaxDocumentBytes + 1, ' ')}) {
        const int64_t revision = etcd->Write({{keys.Overlay("h2"), hostile}});
        ASSERT_TRUE(Eventually([revision](const FleetView& v) { return v.hosts.at("h2").Rejected(revision); }));
        EXPECT_FALSE(ReadFleet(*etcd, keys).hosts.at("h2").status->errors.empty());
    }
    EXPECT_THAT(ReadFleet(*etcd, keys).hosts.at("h2").status->errors[0].reason, testing::HasSubstr("bytes, more than"));
    ASSERT_EQ(Fleet({"put", Document("overlay.json", kOverlay), "--host", "h2"}).status, 0);
    ASSERT_TRUE(Eventually([](const FleetView& v) { return Everywhere(v, {"h2"}); }));

    // Keys no agent wrote, with names that are no host's: not shown, no crash.
    etcd->Write({{keys.HostsPrefix() + "../status", "{}"}, {keys.HostsPrefix() + std::string("a\0b", 3) + "/status", "x"},
                 {keys.HostsPrefix() + "h3/status", "not json"}});
    // More hosts than one read of statuses takes: every status is read.
    for (int part = 0; part < 2; ++part) {
        std::vector<std::pair<std::string, std::string>> puts;
        for (int i = part * 70; i < part * 70 + 70; ++i) {
            TarnFleet::HostStatus other;
            other.host = "x" + std::to_string(i);
            puts.push_back({keys.Status(other.host), TarnFleet::StatusToJson(other)});
        }
        etcd->Write(puts);
    }
    size_t statuses = 0;
    for (const auto& [host, h] : ReadFleet(*etcd, keys).hosts) statuses += h.status.has_value();
    EXPECT_EQ(statuses, 142u);
    const Result status = Fleet({"status"});
    EXPECT_EQ(status.status, 0) << status.err;
    EXPECT_THAT(status.out, testing::Not(testing::HasSubstr("..")));
    EXPECT_THAT(status.out, testing::ContainsRegex("h3 .* unknown"));
}

// A killed agent resumes from the revision it handled: what was put while
// it was gone is stored once, and a revision it stored is not stored again.
// Meanwhile its lease runs out: the host shows as gone, its last status kept.
TEST_F(FleetTest, ResumesAfterAKillWithoutLossOrRepeat) {
    StartCluster();
    MakeHost(HostRoot("h1"));
    Child agent = StartAgent("h1");
    ASSERT_EQ(Fleet({"put", Document("fleet.json", kFleetDoc)}).status, 0);
    ASSERT_TRUE(Eventually([](const FleetView& v) { return Everywhere(v, {"h1"}); }));
    agent.Kill(SIGKILL);
    const size_t generations = Generations("h1");
    ASSERT_TRUE(Eventually([](const FleetView& v) { return !v.hosts.at("h1").alive && v.hosts.at("h1").status; }));
    EXPECT_THAT(Fleet({"status"}).out, testing::ContainsRegex("h1 .* pending .* gone"));

    ASSERT_EQ(Fleet({"put", Document("overlay.json", kOverlay), "--host", "h1"}).status, 0);
    agent = StartAgent("h1");
    ASSERT_TRUE(Eventually([](const FleetView& v) { return Everywhere(v, {"h1"}); }));
    EXPECT_THAT(DesiredRows(HostRoot("h1")), testing::Contains(testing::HasSubstr("198.51.100.53")));
    EXPECT_EQ(Generations("h1"), generations + 1);

    agent.Kill(SIGKILL);
    agent = StartAgent("h1");
    ASSERT_TRUE(Eventually([](const FleetView& v) { return v.hosts.at("h1").alive; }));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(Generations("h1"), generations + 1) << "the stored revision was stored again";
}

// An agent killed at random moments while documents arrive and the host
// boots: in the end the store holds the newest document, names its revision,
// and the status says so; every database is whole.
TEST_F(FleetTest, AgentKilledAtRandomMomentsEndsOnTheNewestRevision) {
    StartCluster();
    MakeHost(HostRoot("h1"));
    std::mt19937 random(7);
    int64_t newest = 0;
    for (int round = 0; round < 8; ++round) {
        const std::string port = std::to_string(2200 + round);
        newest = etcd->Write({{keys.Desired(), R"({"profile": {"system": {"ssh": {"service": {"enabled": true, "port": )" +
                                                   port + "}}}}}"}});
        Child agent = StartAgent("h1");
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 1500));
        agent.Kill(SIGKILL);
        if (round % 3 == 2) {
            ASSERT_EQ(Boot(HostRoot("h1")), 0);
        }
    }
    Child agent = StartAgent("h1");
    ASSERT_TRUE(Eventually([newest](const FleetView& v) { return v.hosts.count("h1") && v.hosts.at("h1").Stored(newest); }));
    EXPECT_THAT(DesiredRows(HostRoot("h1")), testing::Contains(testing::HasSubstr("ssh/service[]={\"enabled\":true,\"port\":2207}")));
    EXPECT_THAT(DesiredRows(HostRoot("h1")), testing::Contains(testing::HasSubstr("ssh/service")).Times(1));
    const std::string store = HostRoot("h1") + "/etc/halden/configstore/current-store-1";
    EXPECT_EQ(Query(store, "SELECT Value FROM KVTable WHERE Key='FLEET_DESIRED_REVISION';"),
              std::vector<std::string>{std::to_string(newest)});
    for (const std::string& db : {store, HostRoot("h1") + "/var/lib/halden/configstore/backup/current-store-1"})
        EXPECT_EQ(Query(db, "PRAGMA integrity_check;"), std::vector<std::string>{"ok"}) << db;
    ASSERT_EQ(Boot(HostRoot("h1")), 0);
    ASSERT_TRUE(Eventually([newest](const FleetView& v) { return v.hosts.at("h1").status->applied == newest; }));
}

// A rollout stops at the first canary that refuses the document: the
// fleet's document stays as it was and no host keeps the rollout's pin. The
// cluster asks its clients for a certificate of its authority: the agents and
// the tool show theirs; a tool without one is refused.
TEST_F(FleetTest, RolloutStopsAtTheFirstRejection) {
    StartCluster(1, true);
    MakeHost(HostRoot("h1"));
    MakeHost(HostRoot("h2"));
    Child a1 = StartAgent("h1"), a2 = StartAgent("h2");
    ASSERT_TRUE(Eventually([](const FleetView& v) { return Everywhere(v, {"h1", "h2"}, false); }));
    const Result bad = Fleet({"rollout", Document("bad.json", kSchemaError), "--canary", "1", "--timeout", "20"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_THAT(bad.err, testing::HasSubstr("h1 rejected revision"));
    EXPECT_THAT(bad.err, testing::HasSubstr("/profile/network/dns/servers/servers/0"));
    FleetView v = ReadFleet(*etcd, keys);
    EXPECT_EQ(v.fleet, 0);
    EXPECT_EQ(v.hosts.at("h1").pinned, 0);
    EXPECT_EQ(DesiredRows(HostRoot("h2")), std::vector<std::string>{});

    const Result good = Fleet({"rollout", Document("fleet.json", kFleetDoc), "--canary", "1", "--timeout", "20"});
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_THAT(good.out, testing::HasSubstr("2 hosts stored revision"));
    const Result refused = Fleet({"status"}, false);
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, testing::HasSubstr("https://127.0.0.1:"));
}

// Each member of a three-member cluster killed in turn (the leader among
// them) during a rollout, then the whole cluster down for a while, then two
// operators putting at once: the agents end on the newest revision.
TEST_F(FleetTest, OutlivesKilledMembersAnOutageAndTwoOperators) {
    StartCluster(3);
    MakeHost(HostRoot("h1"));
    MakeHost(HostRoot("h2"));
    // Leases that outlive an election: a host whose lease ran out is not
    // waited for, and the rollouts are to be seen reaching both.
    Child a1 = StartAgent("h1", 6), a2 = StartAgent("h2", 6);
    ASSERT_TRUE(Eventually([](const FleetView& v) { return Everywhere(v, {"h1", "h2"}, false); }));
    for (int m = 0; m < 3; ++m) {
        cluster->Stop(m);
        const Result r = Fleet({"rollout", Document("r.json", m % 2 ? kFleetDoc : kOverlay), "--canary", "1"});
        ASSERT_EQ(r.status, 0) << "member " << m << ": " << r.err;
        cluster->Start(m);
    }
    EXPECT_THAT(DesiredRows(HostRoot("h1")), testing::Contains(testing::HasSubstr("198.51.100.53")));

    for (int m = 0; m < 3; ++m) cluster->Stop(m);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    for (int m = 0; m < 3; ++m) cluster->Start(m);
    auto operatorPuts = [this](const char* doc) {
        TarnFleet::EtcdClient own(cluster->EndpointList(), {}, std::chrono::seconds(10));
        for (int i = 0; i < 5; ++i) own.Write({{keys.Desired(), doc}});
    };
    std::thread first(operatorPuts, kFleetDoc), second(operatorPuts, kOverlay);
    first.join();
    second.join();
    ASSERT_TRUE(Eventually([](const FleetView& v) { return Everywhere(v, {"h1", "h2"}); }));
    const bool overlayLast = etcd->Read({{keys.Desired()}}).kvs.at(0).value == kOverlay;
    EXPECT_THAT(DesiredRows(HostRoot("h2")), testing::Contains(testing::HasSubstr(overlayLast ? "198.51.100.53" : "192.0.2.53")));
}

} // namespace
} // namespace TarnTest
