// Registering schema entries and what the store answers about them.
#include <algorithm>

#include <gtest/gtest.h>

#include "platform/schema/json_test_util.h"
#include "platform/schema/schema_store_fixture.h"
#include "tarn/db_connection.h"
#include "tarn/platform/db_store.h"

using namespace SchemaTest;
using namespace TarnSchemaStore;

namespace {
typedef std::vector<std::vector<std::string>> Table;

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
              (Table{{"netd-schemas", "2.1", "1", "1", "1", "0", "2", "1", "1"},
                     {"netd-schemas", "1.0", "1", "0", "0", "1", "0", "0", "0"}}));
    EXPECT_EQ(Rows("SELECT Value FROM ConfigSchema WHERE Name='portgroups';"), (Table{{kPortgroups}}));
    EXPECT_EQ(Rows("SELECT Component, ConfigGroup, Name, ValueType FROM SmartnicSchema;"),
              (Table{{"netd", "network", "portgroups", "tarn-shared"}}));
    EXPECT_EQ(Rows("SELECT CrateId, Component, Key, Version FROM DataFileSchema ORDER BY Key;"),
              (Table{{"netd-schemas", "netd", "pg-cert", "2.1"}, {"netd-schemas", "netd", "pg-key", "2.1"}}));
    EXPECT_EQ(store->GetSchemaFileIds(), (std::unordered_set<std::string>{"netd-schemas"}));
}

TEST(SchemaStoreRegistration, ObjectsAnswerFromTheirEntry) {
    auto store = SchemaStore::GetStore();
    Register(store, "netd", kPortgroups);
    Register(store, "netd", kVswitch);
    Register(store, "netd", kGenerated);

    auto pg = GetSchema("netd", "network", "portgroups", store);
    ASSERT_TRUE(pg);
    EXPECT_EQ(pg->GetIdField(), "name");
    EXPECT_TRUE(pg->IsNonSingleton());
    EXPECT_TRUE(pg->IsMutableDefaultConfig());
    EXPECT_EQ(pg->GetVersion(), "2.1");
    EXPECT_EQ(pg->GetKind(), KIND_FIXED_INSTANCES);
    EXPECT_EQ(pg->GetIdentifierList(), (std::vector<std::string>{"Management Network", "vMotion"}));
    EXPECT_EQ(pg->GetId(), SchemaObjectId("netd", "network", "portgroups"));
    uint8_t enabled = 7;
    std::string text = "untouched";
    EXPECT_EQ(pg->GetFileEnabled(enabled), 1);
    EXPECT_EQ(pg->GetFilePath(text), 1);
    EXPECT_EQ(enabled, 7);
    EXPECT_EQ(text, "untouched");

    auto vs = GetSchema("netd", "network", "vswitch", store);
    EXPECT_EQ(vs->GetIdField(), "");
    EXPECT_FALSE(vs->IsNonSingleton());
    EXPECT_EQ(vs->GetKind(), KIND_CONFIG);
    EXPECT_EQ(GetSchema("netd", "routes", "route", store)->GetIdField(), GENERATED_ID_FIELD);
    EXPECT_FALSE(GetSchema("netd", "network", "nothing", store));
    EXPECT_FALSE(SchemaStore::GetCache()->GetSchemaObject(SchemaObjectId("x", "y", "z")));
    EXPECT_EQ(SchemaStore::GetCache()->GetSchemaObject(SchemaObjectId("netd", "network", "vswitch"))->GetVersion(), "1.0");
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

TEST(SchemaStoreQueries, FileDeclarationsInComponentAndGroupOrder) {
    auto store = SchemaStore::GetStore();
    Register(store, "f", FilesEntry("sshd", "config", "/etc/ssh/sshd_config"));
    Register(store, "f", FilesEntry("certs", "vital", "/etc/halden/ssl/rui.crt"));
    Register(store, "f", R"({"component": "netd", "group": "old", "key": "files", "version": "1",
                             "file": {"enabled": false, "category": "cached", "path": "/var/x"}})");
    auto files = store->GetSchemaObjects("files");
    ASSERT_EQ(files.size(), 3u);
    std::vector<std::string> seen;
    for (const auto& f : files) {
        uint8_t enabled = 9;
        std::string category, path;
        EXPECT_EQ(f->GetFileEnabled(enabled), 0);
        EXPECT_EQ(f->GetFileCategory(category), 0);
        EXPECT_EQ(f->GetFilePath(path), 0);
        EXPECT_EQ(f->GetKind(), KIND_FILES);
        seen.push_back(std::to_string(enabled) + " " + category + " " + path);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"1 vital /etc/halden/ssl/rui.crt", "0 cached /var/x",
                                              "1 config /etc/ssh/sshd_config"}));
    EXPECT_TRUE(store->GetSchemaObjects("portgroups").empty());
}

TEST(SchemaStoreRegistration, RegisteringAgainReplacesTheWholeEntry) {
    auto store = SchemaStore::GetStore();
    Register(store, "old-file", kPortgroups);
    std::string smaller = R"({"component": "netd", "group": "network", "key": "portgroups", "version": "3.0",
                             "idField": "name", "datafiles": ["pg-cert"],
                             "schema": {"properties": {"name": {"type": "string"}}}})";
    EXPECT_EQ(Register(store, "new-file", smaller), 1);
    EXPECT_EQ(Rows("SELECT CrateId, Version, MutableDefaultConfig FROM ConfigSchema;"), (Table{{"new-file", "3.0", "0"}}));
    EXPECT_EQ(Rows("SELECT CrateId, Key, Version FROM DataFileSchema;"), (Table{{"new-file", "pg-cert", "3.0"}}));
    EXPECT_EQ(Rows("SELECT * FROM SmartnicSchema;"), Table{});
    EXPECT_EQ(Rows("SELECT Kind FROM SchemaObjectKind;"), (Table{{"1"}}));
    EXPECT_EQ(GetSchema("netd", "network", "portgroups", store)->GetVersion(), "3.0");
}

TEST(SchemaStoreRegistration, StatementsOfTheStoreReadTheTablesThroughTheAttachment) {
    auto store = SchemaStore::GetStore();
    Register(store, "netd", kPortgroups);  // shared, mutable defaults
    Register(store, "netd", R"({"component": "netd", "group": "network", "key": "ntp", "version": "1",
                               "smartnic": {"schema": "tarn-shared"}, "schema": {}})");
    Register(store, "netd", kVswitch);  // not shared
    ASSERT_EQ(DBStore::CreateDatabases(), 0);
    auto conn = DBStore::GetConnection(DBStore::CONFIG_STORE);
    ASSERT_EQ(DBStore::ExecuteV2(conn, TarnConfigStore::AttachSchemaStoreStatement(), nullptr, nullptr, 3000), 0);
    ASSERT_EQ(DBStore::ExecuteV2(conn,
                                 "INSERT OR REPLACE INTO DesiredUserConfig (Component, ConfigGroup, Name, BootAction) "
                                 "SELECT Component, ConfigGroup, Name, CASE WHEN mutableDefaultConfig=1 THEN "
                                 "\"SET_DEFAULT\" ELSE 'DELETE' END FROM ss.ConfigSchema WHERE (Component, ConfigGroup, "
                                 "Name) IN ( SELECT Component, ConfigGroup, Name FROM ss.SmartnicSchema WHERE "
                                 "ss.SmartnicSchema.ValueType = \"tarn-shared\" AND (Component, ConfigGroup, Name) NOT "
                                 "IN ( SELECT Component, ConfigGroup, Name FROM DesiredUserConfig ) );",
                                 nullptr, nullptr, 3000),
              0);
    Table rows;
    auto collect = [](void* out, int n, char** values, char**) {
        static_cast<Table*>(out)->push_back(std::vector<std::string>(values, values + n));
        return 0;
    };
    ASSERT_EQ(DBStore::ExecuteV2(conn, "SELECT Name, BootAction FROM DesiredUserConfig ORDER BY Name;", collect, &rows, 3000), 0);
    EXPECT_EQ(rows, (Table{{"ntp", "DELETE"}, {"portgroups", "SET_DEFAULT"}}));
    EXPECT_EQ(DBStore::ExecuteV2(conn, "DETACH DATABASE ss;", nullptr, nullptr, 3000), 0);
}
