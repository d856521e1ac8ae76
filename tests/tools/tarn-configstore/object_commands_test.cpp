// get, set and desired export on a booted copy of the sample host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli_runner.h"
#include "support/test_support.h"

namespace {

using testing::HasSubstr;
using TarnTest::RunCli;

std::vector<std::string> Rows(const std::string& columns) {
    return TarnTest::Query(TarnTest::Rooted("/etc/halden/configstore/current-store-1"),
                           "SELECT Name, Identifier, " + columns + " FROM Config ORDER BY 1, 2;");
}

class ObjectCommands : public testing::Test {
protected:
    void SetUp() override {
        TarnTest::CopySampleHost();
        ASSERT_EQ(RunCli({"boot"}).status, 0);
    }
    static void Set(const std::string& object, const std::string& json) {
        const TarnTest::CliResult r = RunCli({"set", object, json});
        ASSERT_EQ(r.status, 0) << object << ": " << r.err;
    }
};

TEST_F(ObjectCommands, SetWritesTheUserValueThatGetReadsAndRefusesWhatTheSchemaRefuses) {
    Set("network/dns/servers", R"({"servers":["192.0.2.53"]})");
    EXPECT_EQ(RunCli({"get", "network/dns/servers"}).out, R"({"user":{"servers":["192.0.2.53"]},"vital":null,"cached":null})" "\n");
    // An instance: [ID] fills in its identifier; its vital layer stays, its revision rises.
    TarnTest::Query(TarnTest::Rooted("/etc/halden/configstore/current-store-1"),
                    "UPDATE Config SET VitalValue = '{\"name\":\"switch0\",\"switchId\":\"s0\"}', DesiredValue = '{}' "
                    "WHERE Identifier = 'switch0';");
    const auto before = Rows("Revision, UserValue, VitalValue, DesiredValue");
    Set("network/switching/switches[switch0]", R"({"mtu":9000})");
    const auto after = Rows("Revision, UserValue, VitalValue, DesiredValue");
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i)
        if (before[i].rfind("switches|switch0|", 0) != 0) {
            EXPECT_EQ(before[i], after[i]);
        }
    EXPECT_THAT(before, testing::Contains(testing::StartsWith("switches|switch0|3|")));
    EXPECT_THAT(after, testing::Contains(R"(switches|switch0|4|{"mtu":9000,"name":"switch0"}|{"name":"switch0","switchId":"s0"}|NULL)"));
    EXPECT_EQ(RunCli({"get", "network/switching/switches[switch0]"}).out,
              R"({"user":{"mtu":9000,"name":"switch0"},"vital":{"name":"switch0","switchId":"s0"},"cached":null})" "\n");
    EXPECT_THAT(RunCli({"get", "network/switching/switches"}).out, HasSubstr(R"(},"switchStorage":{"user":{"name":)"));

    // Refused, every error named, nothing stored and no revision raised.
    for (const auto& [args, reason] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"set", "network/switching/switches[switch0]", R"({"mtu":100,"switchId":"x"})"},
              "Validation failed for /network/switching/switches: '/network/switching/switches/mtu' minimum: "},
             {{"set", "network/switching/switches[switch0]", R"({"name":"switch1","mtu":9000})"}, "is not 'switch0'"},
             {{"set", "network/dns/servers[a]", "{}"}, "network/dns/servers is a singleton"},
             {{"set", "network/dns/servers", "{"}, "not one JSON value"},
             {{"get", "network/switching/switches[nope]"}, "has no instance 'nope'"},
             {{"get", "network/switching/switches[it's]"}, "has no instance 'it's'"},
             {{"get", "a/b/c"}, "no configuration object a/b/c is registered"}}) {
        const TarnTest::CliResult r = RunCli(args);
        EXPECT_EQ(r.status, 1) << args[1];
        EXPECT_THAT(r.err, HasSubstr(reason)) << args[1];
    }
    EXPECT_THAT(RunCli({"set", "network/switching/switches[switch0]", R"({"mtu":100,"switchId":"x"})"}).err,
                HasSubstr("'/network/switching/switches/switchId' "));
    EXPECT_EQ(Rows("Revision, UserValue, VitalValue, DesiredValue"), after);
}

// The export holds what a boot with new desired configuration would
// otherwise delete or bring back: every instance of a desired-state object,
// defaults that became values, and an object whose defaults were removed.
TEST_F(ObjectCommands, ExportedConfigurationStoredAgainLeavesTheNextBootNothingToChange) {
    Set("network/switching/switches[switch9]", R"({"mtu":1500})");
    Set("network/switching/segments[a]", R"({"switch":"switch0","vlan":1})");
    Set("network/switching/segments[b]", R"({"switch":"switch9","vlan":2})");
    Set("storage/iscsi/adapters[iscsi1]", R"({"targets":["t"]})");
    const std::string live = TarnTest::Rooted("/etc/halden/configstore/current-store-1");
    TarnTest::Query(live, "DELETE FROM Config WHERE Name = 'policy';"
                          "UPDATE Config SET VitalValue = '{\"adapter\":\"iscsi1\",\"initiatorName\":\"i\"}' "
                          "WHERE Name = 'adapters';");
    const std::string file = TarnTest::Root() + "/exported.json";
    ASSERT_EQ(RunCli({"desired", "export", "--file", file}).status, 0);
    EXPECT_EQ(RunCli({"desired", "export"}).out, TarnTest::ReadFile(file));
    EXPECT_THAT(TarnTest::ReadFile(file), HasSubstr(R"("multipath":{"policy":"DELETE_DEFAULT"})"));

    const auto before = Rows("UserValue, VitalValue, CachedValue");
    const TarnTest::CliResult stored = RunCli({"desired", "set", file});
    ASSERT_EQ(stored.status, 0) << stored.err;
    EXPECT_THAT(RunCli({"plan", "--no-restore", "--json"}).out, HasSubstr(R"("bootMode":1,"failure":null,"changes":[],)"));
    ASSERT_EQ(RunCli({"boot", "--no-restore"}).status, 0);
    EXPECT_EQ(Rows("UserValue, VitalValue, CachedValue"), before);

    const TarnTest::CliResult directory = RunCli({"desired", "export", "--file", TarnTest::Root()});
    EXPECT_EQ(directory.status, 1);
    EXPECT_THAT(directory.err, HasSubstr(" is a directory; nothing written"));
}

} // namespace
