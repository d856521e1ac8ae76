// Registering schema entries and what the store answers about them.
#include <algorithm>

#include <gtest/gtest.h>

#include "platform/schema/schema_store_fixture.h"
#include "tarn/db_connection.h"
#include "tarn/platform/db_store.h"

using namespace SchemaTest;
using namespace TarnSchemaStore;

namespace {
typedef std::vector<std::string> Table;

std::vector<std::string> Names(const SchemaObjectIdSet& ids) {
    std::vector<std::string> names;
    for (const auto& id : ids) names.push_back(id.toString());
    std::sort(names.begin(), names.end());
    return names;
}
} // namespace

TEST(SchemaStoreRegistration, FillsTheColumnsOtherStatementsRead) {
    auto store = SchemaStore::GetStore();
    EXPECT_EQ(Register(store, "netd-schemas", kPortgroups), 0);
    EXPECT_EQ(Register(store, "netd-schemas", kVswitch), 0);

    EXPECT_EQ(Rows("SELECT CrateId, Version, Success, NoRestore, MutableDefaultConfig, Singleton, SchemaType, "
                   "DSPIntegrated, PreserveNonUser FROM ConfigSchema ORDER BY Name;"),
              (Table{"netd-schemas|2.1|1|1|1|0|2|1|1", "netd-schemas|1.0|1|0|0|1|0|0|0"}));
    EXPECT_EQ(Rows("SELECT Value FROM ConfigSchema WHERE Name='portgroups';"), (Table{kPortgroups}));
    EXPECT_EQ(Rows("SELECT Component, ConfigGroup, Name, ValueType FROM SmartnicSchema;"),
              (Table{"netd|network|portgroups|tarn-shared"}));
    EXPECT_EQ(Rows("SELECT CrateId, Component, Key, Version FROM DataFileSchema ORDER BY Key;"),
              (Table{"netd-schemas|netd|pg-cert|2.1", "netd-schemas|netd|pg-key|2.1"}));
    EXPECT_EQ(store->GetSchemaFileIds(), (std::unordered_set<std::string>{"netd-schemas"}));
}

TEST(SchemaStoreRegistration, FullSchemaIsCompletedAndUserSchemaLeavesOutOtherLayers) {
    auto store = SchemaStore::GetStore();
    Register(store, "netd", kPortgroups);
    Register(store, "netd", kGenerated);
    auto pg = GetSchema("netd", "network", "portgroups", store);
    const rapidjson::Value& full = pg->GetSchemaDocument();
    EXPECT_TRUE(full["properties"]["name"]["instanceId"].GetBool());
    EXPECT_EQ(Text(full["required"]), R"(["vlan","mac","name"])");
    EXPECT_FALSE(full["additionalProperties"].GetBool());
    EXPECT_FALSE(full["properties"]["uplinks"]["items"]["additionalProperties"].GetBool());

    const rapidjson::Value& user = pg->GetUserSchema();
    EXPECT_EQ(Text(user["required"]), R"(["vlan","name"])");
    EXPECT_EQ(Text(user["properties"]["mac"]),
              R"({"not":{},"title":"member of the vital layer; a user value cannot set it"})");
    EXPECT_TRUE(user["properties"]["stats"].HasMember("not"));
    EXPECT_TRUE(user["properties"]["uplinks"]["items"]["properties"]["speed"].HasMember("not"));
    EXPECT_EQ(Text(user["properties"]["uplinks"]["items"]["properties"]["nic"]), R"({"type":"string","instanceId":true})");

    auto route = GetSchema("netd", "routes", "route", store);
    EXPECT_EQ(Text(route->GetSchemaDocument()["properties"]["cs_generated_id"]), R"({"type":"string","instanceId":true})");

    // What a user may set passes; layers it may not set are named.
    Errors ok = Validate(Text(user), R"({"name": "pg", "vlan": 5, "uplinks": [{"nic": "vnic0", "active": true}]})",
                         {0, 1, 3, 7, 8});
    EXPECT_EQ(ok, Errors{});
    Errors bad = Validate(Text(user), R"({"name": "pg", "vlan": 5, "mac": "00:11", "uplinks": [{"nic": "n", "speed": 1}]})",
                          {0, 1, 3, 7, 8}, "/netd/network/portgroups");
    EXPECT_EQ(bad, (Errors{
                       {"/netd/network/portgroups/mac",
                        "not: no value is allowed here (member of the vital layer; a user value cannot set it)"},
                       {"/netd/network/portgroups/uplinks/0/speed",
                        "not: no value is allowed here (member of the cached layer; a user value cannot set it)"},
                   }));
}

TEST(SchemaStoreQueries, IdSetsByKindFlagAndSharing) {
    auto store = SchemaStore::GetStore();
    Register(store, "netd", kPortgroups);
    Register(store, "netd", kVswitch);
    Register(store, "netd", kGenerated);
    EXPECT_EQ(Names(store->GetSchemaObjectIdsByKind(KIND_FIXED_INSTANCES)), (std::vector<std::string>{"netd/network/portgroups"}));
    EXPECT_EQ(Names(store->GetSchemaObjectIdsByKind(KIND_CONFIG)),
              (std::vector<std::string>{"netd/network/vswitch", "netd/routes/route"}));
    EXPECT_EQ(Names(store->GetMutableDefaultConfigIds(false)),
              (std::vector<std::string>{"netd/network/portgroups", "netd/routes/route"}));
    EXPECT_EQ(Names(store->GetMutableDefaultConfigIds(true)), (std::vector<std::string>{"netd/network/portgroups"}));
    EXPECT_EQ(store->GetSchemaObjectIds(false).size(), 3u);
    EXPECT_EQ(Names(store->GetSchemaObjectIds(true)), (std::vector<std::string>{"netd/network/portgroups"}));
}

TEST(SchemaStoreRegistration, RegisteringAgainReplacesTheWholeEntry) {
    auto store = SchemaStore::GetStore();
    Register(store, "old-file", kPortgroups);
    std::string smaller = R"({"component": "netd", "group": "network", "key": "portgroups", "version": "3.0",
                             "idField": "name", "datafiles": ["pg-cert"],
                             "schema": {"properties": {"name": {"type": "string"}}}})";
    EXPECT_EQ(Register(store, "new-file", smaller), 1);
    EXPECT_EQ(Rows("SELECT CrateId, Version, MutableDefaultConfig FROM ConfigSchema;"), (Table{"new-file|3.0|0"}));
    EXPECT_EQ(Rows("SELECT CrateId, Key, Version FROM DataFileSchema;"), (Table{"new-file|pg-cert|3.0"}));
    EXPECT_EQ(Rows("SELECT * FROM SmartnicSchema;"), Table{});
    EXPECT_EQ(Rows("SELECT Kind FROM SchemaObjectKind;"), (Table{"1"}));
    EXPECT_EQ(GetSchema("netd", "network", "portgroups", store)->GetVersion(), "3.0");
}
