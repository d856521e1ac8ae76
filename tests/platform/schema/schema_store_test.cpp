// Registering schema entries and what the store answers about them.
#include <algorithm>

#include <gtest/gtest.h>

#include "platform/schema/schema_store_fixture.h"

using namespace SchemaTest;
using namespace TarnSchemaStore;

namespace {
typedef std::vector<std::string> Table;

Table Names(const SchemaObjectIdSet& ids) {
    Table names;
    for (const auto& id : ids) names.push_back(id.toString());
    std::sort(names.begin(), names.end());
    return names;
}
} // namespace

TEST(SchemaStoreRegistration, FillsTheColumnsAndAnswersQueriesByKindAndFlag) {
    auto store = SchemaStore::GetStore();
    for (const char* entry : {kSegments, kTrunk, kGenerated}) EXPECT_EQ(Register(store, "netd-schemas", entry), 0);

    EXPECT_EQ(Rows("SELECT CrateId, Version, Success, NoRestore, MutableDefaultConfig, Singleton, SchemaType, "
                   "DSPIntegrated, PreserveNonUser FROM ConfigSchema ORDER BY Name;"),
              (Table{"netd-schemas|1.0|1|0|1|0|0|0|0", "netd-schemas|2.1|1|1|1|0|2|1|1", "netd-schemas|1.0|1|0|0|1|0|0|0"}));
    EXPECT_EQ(Rows("SELECT Value FROM ConfigSchema WHERE Name='segments';"), (Table{kSegments}));
    EXPECT_EQ(Rows("SELECT Component, ConfigGroup, Name, ValueType FROM SmartnicSchema;"),
              (Table{"netd|network|segments|tarn-shared"}));
    EXPECT_EQ(Rows("SELECT CrateId, Component, Key, Version FROM DataFileSchema ORDER BY Key;"),
              (Table{"netd-schemas|netd|pg-cert|2.1", "netd-schemas|netd|pg-key|2.1"}));
    EXPECT_EQ(store->GetSchemaFileIds(), (std::unordered_set<std::string>{"netd-schemas"}));

    EXPECT_EQ(Names(store->GetSchemaObjectIdsByKind(KIND_CONFIG)), (Table{"netd/network/trunk", "netd/routes/route"}));
    EXPECT_EQ(Names(store->GetMutableDefaultConfigIds(true)), (Table{"netd/network/segments"}));
}

TEST(SchemaStoreRegistration, RegisteringAgainReplacesTheWholeEntry) {
    auto store = SchemaStore::GetStore();
    Register(store, "old-file", kSegments);
    EXPECT_EQ(Register(store, "new-file", R"({"component": "netd", "group": "network", "key": "segments",
        "version": "3.0", "idField": "name", "datafiles": ["pg-cert"], "schema": {"properties": {"name": {}}}})"), 1);
    EXPECT_EQ(Rows("SELECT CrateId, Version, MutableDefaultConfig FROM ConfigSchema;"), (Table{"new-file|3.0|0"}));
    EXPECT_EQ(Rows("SELECT CrateId, Key, Version FROM DataFileSchema;"), (Table{"new-file|pg-cert|3.0"}));
    EXPECT_EQ(Rows("SELECT * FROM SmartnicSchema;"), Table{});
    EXPECT_EQ(Rows("SELECT Kind FROM SchemaObjectKind;"), (Table{"1"}));
    EXPECT_EQ(GetSchema("netd", "network", "segments", store)->GetVersion(), "3.0");
}
