// The agent's work on the host's store, without etcd: what it stores, and
// how it tells that a boot applied what it stored.
#include "agent_state.h"
#include "fleet_fixture.h"
#include "host_agent.h"
#include "tarn/boot_state.h"

namespace TarnTest {
namespace {

using namespace TarnFleet;

InputTexts Texts(int64_t fleetRev, const std::string& fleet, int64_t pinnedRev = 0, const std::string& pinned = "") {
    InputTexts in;
    in.revisions = {fleetRev, pinnedRev, 0};
    in.fleet = fleet;
    if (pinnedRev) in.pinned = pinned;
    return in;
}

constexpr char kDns[] = R"({"profile": {"network": {"dns": {"servers": {"servers": ["192.0.2.53"]}}}}})";
constexpr char kSsh[] = R"({"profile": {"system": {"ssh": {"service": {"enabled": false, "port": 2222}}}}})";

TEST(HostAgent, StoresEachRevisionOnceWithTheBackupTheBootRestores) {
    MakeHost(Root());
    HostStatus s;
    ASSERT_TRUE(HandleInputs(s, Texts(4, "[]"), 2, "lab"));  // refused; its errors go with the next
    ASSERT_TRUE(HandleInputs(s, Texts(5, kDns), 2, "lab"));
    ASSERT_EQ(s.state, kStatePending) << (s.errors.empty() ? "" : s.errors[0].reason);
    EXPECT_TRUE(s.errors.empty());
    SaveState("lab", s);
    EXPECT_EQ(LoadState("lab", "h2").stored, 0);  // the file is another host's
    EXPECT_EQ(s.stored, 5);
    EXPECT_EQ(s.seen, 5);
    ASSERT_TRUE(s.plan);
    EXPECT_EQ(s.plan->bootMode, 1);
    EXPECT_GT(s.plan->added + s.plan->changed + s.plan->removed, 0);
    EXPECT_THAT(DesiredRows(Root()), testing::Contains("network/dns/servers[]={\"servers\":[\"192.0.2.53\"]}"));
    EXPECT_EQ(Query(Rooted("/var/lib/halden/configstore/backup/current-store-1"),
                    "SELECT count(*) FROM DesiredUserConfig WHERE Name='servers';"),
              std::vector<std::string>{"1"});
    const int generation = s.generation;
    EXPECT_GT(generation, 0);

    // The same inputs again: nothing stored, no generation taken.
    EXPECT_FALSE(HandleInputs(s, Texts(5, kDns), 2, "lab"));
    EXPECT_EQ(s.generation, generation);

    // A rollout's pinned document takes the fleet's place.
    ASSERT_TRUE(HandleInputs(s, Texts(5, kDns, 8, kSsh), 2, "lab"));
    EXPECT_EQ(s.stored, 8);
    EXPECT_THAT(DesiredRows(Root()), testing::Contains(testing::HasSubstr("system/ssh/service[")));
    EXPECT_THAT(DesiredRows(Root()), testing::Not(testing::Contains(testing::HasSubstr("dns/servers"))));

    // The rollout ends: the fleet's document is now the same text, unpinned.
    // The store holds it already; only the revision moves.
    const int pinnedGeneration = s.generation;
    ASSERT_TRUE(HandleInputs(s, Texts(9, kSsh), 2, "lab"));
    EXPECT_EQ(s.stored, 9);
    EXPECT_EQ(s.state, kStatePending);
    EXPECT_EQ(s.generation, pinnedGeneration);

    // A store whose backup cannot be taken fails and leaves nothing to resume.
    std::filesystem::remove_all(Rooted("/var/lib/halden/configstore/backup"));
    TarnTest::WriteFile(Rooted("/var/lib/halden/configstore/backup"), "not a directory");
    ASSERT_TRUE(HandleInputs(s, Texts(10, kDns), 2, "lab"));
    EXPECT_EQ(s.state, kStateFailed);
    EXPECT_EQ(s.storing, 0);
    EXPECT_EQ(s.stored, 9);
}

// What a status carries of a refused document's errors: 100, cut whole at 512 bytes.
TEST(HostAgent, ReportsAtMostAHundredErrorsCutWhole) {
    std::string name = "x";
    for (int i = 0; i < 300; ++i) name += "\xc3\xa9";
    for (const int bad : {100, 101}) {
        std::string doc = R"({"profile": {")" + name + "\": 1";
        for (int i = 1; i < bad; ++i) doc += ", \"c" + std::to_string(i) + "\": 1";
        HostStatus s;
        ASSERT_TRUE(HandleInputs(s, Texts(1, doc + "}}"), 2, "lab"));
        EXPECT_EQ(s.errors.size(), 100u + (bad > 100));
        EXPECT_EQ(s.errors.back().reason, bad > 100 ? "and 1 more errors" : "the fleet document: a component is not an object");
        EXPECT_EQ(s.errors[0].object, name.substr(0, 511) + "...");
    }
}

// A boot that left the desired rows in place (its apply rolled back) did not
// apply the stored document; the one that applies it is below.
TEST(HostAgent, TellsADocumentABootLeftUnapplied) {
    MakeHost(Root());
    HostStatus s;
    ASSERT_TRUE(HandleInputs(s, Texts(5, kDns), 5, "lab"));
    EXPECT_FALSE(NoticeBoot(s)) << "no boot yet";
    TarnConfigStore::SetBootMode(TarnConfigStore::BOOTMODE_NORMAL);
    ASSERT_TRUE(NoticeBoot(s));
    EXPECT_EQ(s.state, kStateApplyFailed);
    EXPECT_EQ(s.applied, 0);
}

// The agent killed while storing revision 6, then the host booted: what the
// restarted agent finds in its state file is the revision it was storing.
TEST(HostAgent, AKillWhileStoringNeitherLosesNorRepeatsARevision) {
    MakeHost(Root());
    HostStatus s;
    ASSERT_TRUE(HandleInputs(s, Texts(5, kDns), 5, "lab"));
    const InputTexts six = Texts(6, kSsh);

    // Killed after the backup: the boot applied 6, which is not stored again.
    HostStatus stored6 = s;
    ASSERT_TRUE(HandleInputs(stored6, six, 5, "lab"));
    HostStatus killed = s;
    killed.handled = six.revisions;
    killed.seen = 6;
    killed.storing = 6;
    killed.storingDigest = stored6.digest;
    ASSERT_EQ(Boot(Root()), 0);
    ResolveInterruptedStore(killed);
    EXPECT_EQ(killed.stored, 6);
    ASSERT_TRUE(NoticeBoot(killed));
    EXPECT_EQ(killed.state, kStateApplied);
    EXPECT_EQ(killed.applied, 6);
    EXPECT_THAT(killed.bootApplyRecord, testing::StartsWith("{"));
    EXPECT_FALSE(NoticeBoot(killed));
    EXPECT_FALSE(HandleInputs(killed, six, 5, "lab"));
    // The same document pinned at a later revision: applied already, not stored again.
    ASSERT_TRUE(HandleInputs(killed, Texts(6, kDns, 7, kSsh), 5, "lab"));
    EXPECT_EQ(killed.state, kStateApplied);
    EXPECT_EQ(killed.applied, 7);

    // Killed before the store was touched: the boot applied 5 (its backup),
    // and 6 is stored when the inputs are handled again.
    HostStatus before = killed;
    ASSERT_TRUE(HandleInputs(before, Texts(7, kDns), 5, "lab"));
    EXPECT_EQ(before.bootApplyRecord, "");  // the record is of the boot before
    // Killed after that store, before a boot: the backup may lack it, so it is stored again.
    HostStatus unsure = before;
    unsure.storing = 7;
    ResolveInterruptedStore(unsure);
    EXPECT_EQ(unsure.digest, "");
    ASSERT_EQ(Boot(Root()), 0);
    HostStatus early = before;
    early.handled = Texts(8, kSsh).revisions;
    early.seen = 8;
    early.storing = 8;
    ResolveInterruptedStore(early);
    ASSERT_TRUE(NoticeBoot(early));
    EXPECT_EQ(early.applied, 7);
    ASSERT_TRUE(HandleInputs(early, Texts(8, kSsh), 5, "lab"));
    EXPECT_EQ(early.stored, 8);
    EXPECT_EQ(early.state, kStatePending);
}

} // namespace
} // namespace TarnTest
