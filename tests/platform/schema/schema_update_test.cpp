// Updates of the schema store: one schema file's registration is one
// transaction, removing files removes what came from them, and a refused
// entry leaves the store as it was.
#include <gtest/gtest.h>

#include "platform/schema/schema_store_fixture.h"

using namespace SchemaTest;
using namespace TarnSchemaStore;

namespace {
bool Registered(const std::string& component, const std::string& group, const std::string& name) {
    return GetSchema(component, group, name, SchemaStore::GetStore()) != nullptr;
}
} // namespace

TEST(SchemaStoreUpdate, CommitPublishesTheFileAndAbortLeavesNothing) {
    auto store = SchemaStore::GetStore();
    store->BeginUpdate();
    Register(store, "netd", kPortgroups);
    Register(store, "netd", kVswitch);
    EXPECT_TRUE(GetSchema("netd", "network", "vswitch", store));  // the updating store sees its own entries
    EXPECT_FALSE(Registered("netd", "network", "vswitch"));         // others do not, yet
    store->AbortUpdate();
    EXPECT_FALSE(GetSchema("netd", "network", "vswitch", store));
    store->CommitUpdate();  // after an abort: nothing left to commit
    EXPECT_EQ(Snapshot(), (std::vector<std::string>{"ConfigSchema", "DataFileSchema", "SmartnicSchema", "SchemaObjectKind", "SchemaFile"}));

    store->BeginUpdate();
    Register(store, "netd", kVswitch);
    EXPECT_THROW(store->BeginUpdate(), TarnConfigStore::ConfigStoreException);
    store->CommitUpdate();
    EXPECT_TRUE(Registered("netd", "network", "vswitch"));
    EXPECT_EQ(SchemaStore::GetStore()->GetSchemaFileIds(), (std::unordered_set<std::string>{"netd"}));
}

TEST(SchemaStoreUpdate, AStoreDroppedMidUpdateRollsBack) {
    {
        auto store = SchemaStore::GetStore();
        store->BeginUpdate();
        Register(store, "netd", kVswitch);
    }
    EXPECT_FALSE(Registered("netd", "network", "vswitch"));
    EXPECT_TRUE(SchemaStore::GetStore()->GetSchemaFileIds().empty());
}

TEST(SchemaStoreUpdate, ARefusedEntryInsideAnUpdateKeepsTheEarlierOnesOfTheUpdate) {
    auto store = SchemaStore::GetStore();
    store->BeginUpdate();
    Register(store, "netd", kVswitch);
    EXPECT_THROW(Register(store, "netd", R"({"component": "netd", "group": "network", "key": "x"})"),
                 TarnConfigStore::ConfigStoreException);
    store->CommitUpdate();
    EXPECT_TRUE(Registered("netd", "network", "vswitch"));
    EXPECT_FALSE(Registered("netd", "network", "x"));
}

TEST(SchemaStoreUpdate, RemovingFilesRemovesTheirEntriesOnly) {
    auto store = SchemaStore::GetStore();
    Register(store, "netd", kPortgroups);
    Register(store, "netd", kVswitch);
    Register(store, "routes", kGenerated);
    Register(store, "files", FilesEntry("sshd", "config", "/etc/ssh/sshd_config"));
    // vswitch moves to another file before its old file goes.
    Register(store, "netd-2", kVswitch);

    store->RemoveSchemaFiles({"netd", "files", "never-registered"});
    EXPECT_FALSE(Registered("netd", "network", "portgroups"));
    EXPECT_FALSE(Registered("netd", "sshd", "files"));
    EXPECT_TRUE(Registered("netd", "network", "vswitch"));
    EXPECT_TRUE(Registered("netd", "routes", "route"));
    EXPECT_EQ(store->GetSchemaFileIds(), (std::unordered_set<std::string>{"routes", "netd-2"}));
    EXPECT_EQ(Rows("SELECT count(*) FROM DataFileSchema;"), std::vector<std::string>{"0"});
    EXPECT_EQ(Rows("SELECT count(*) FROM SmartnicSchema;"), std::vector<std::string>{"0"});
    EXPECT_TRUE(store->GetSchemaObjectIdsByKind(KIND_FIXED_INSTANCES).empty());
    store->RemoveSchemaFiles({});
    EXPECT_EQ(store->GetSchemaObjectIds(false).size(), 2u);
}

TEST(SchemaStoreRefusal, BadEntriesAreRefusedByNameAndChangeNothing) {
    Register(SchemaStore::GetStore(), "netd", kPortgroups);
    const auto before = Snapshot();
    auto entry = [](const std::string& members) {
        return R"({"component": "netd", "group": "network", "key": "portgroups", "version": "1", )" + members + "}";
    };
    const std::string prefix = "Schema entry netd/network/portgroups of file bad refused: ";
    struct Case {
        std::string entry;
        std::string reason;
    };
    const Case cases[] = {
        {R"({"component": "netd", "group": "network", "key": "portgroups", "version": )",
         "is not valid JSON (error at offset 74)"},
        {R"({"component": "netd", "group": "network", "key": "portgroups", "schema": {}})",
         "misses the member \"version\""},
        {entry(R"("schema": {}, "idfield": "name")"), "has the unknown member \"idfield\""},
        {R"({"component": "netd", "group": "network", "key": "vswitch", "version": "1", "schema": {}})",
         "member \"key\" is \"vswitch\", not \"portgroups\""},
        {entry(R"("kind": "special", "schema": {})"),
         "member \"kind\" must be one of \"config\", \"files\", \"internal\", \"fixed-instances\""},
        {entry(R"("kind": "fixed-instances", "idField": "name", "schema": {"properties": {"name": {}}})"),
         "kind \"fixed-instances\" needs the member \"fixedInstances\""},
        {entry(R"("file": {"category": "config", "path": "/x"}, "schema": {})"),
         "member \"file\" belongs to objects named \"files\" only"},
        {entry(R"("schema": {"type": "strang"})"),
         "schema: not a draft-4 schema: at '/type' anyOf: expected to match at least one of 2 schemas"},
        {entry(R"("schema": {"properties": {"a": {"pattern": "a{1001}"}}})"),
         "schema: pattern 'a{1001}' at '/properties/a' is not a regular expression the validator supports"},
        {entry(R"("schema": {"properties": {"a": {"$ref": "#/definitions/missing"}}})"),
         "schema: $ref '#/definitions/missing' at '/properties/a' leads nowhere in the schema"},
        {entry(R"("schema": {"properties": {"a": {"vital": false}}})"),
         "schema: marker \"vital\" at '/properties/a' must be true (leave it out for the user layer)"},
        {entry(R"("schema": {"properties": {"a": {"type": "array"}}})"),
         "schema: array node at '/properties/a' needs an \"items\" object with a \"type\""},
        {entry(R"("idField": "name", "schema": {"properties": {"id": {}}})"),
         "schema: the idField 'name' is not described under \"properties\""},
        {entry(R"("schema": {"properties": {"id": {"instanceId": true}}})"),
         "schema: a singleton object has no identifier, so 'id' cannot be marked \"instanceId\""},
        {entry(R"("smartnic": {"schema": 1}, "schema": {})"), "member \"smartnic\".\"schema\" must be a non-empty string"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Refusal("bad", "netd", "network", "portgroups", c.entry), prefix + c.reason) << c.entry;
    EXPECT_EQ(Snapshot(), before);

    // The caller's "smartnic" flag must agree with the entry.
    EXPECT_EQ(Refusal("bad", "a", "b", "c", R"({"component": "a", "group": "b", "key": "c", "version": "1", "schema": {}})"), "");
    std::string withSmartnic = entry(R"("smartnic": {"schema": "tarnio-only"}, "schema": {})");
    try {
        SetSchema("bad", "netd", "network", "portgroups", withSmartnic, SchemaStore::GetStore(), false);
        ADD_FAILURE() << "accepted";
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        EXPECT_EQ(std::string(e.what()), prefix + "has a \"smartnic\" member that was not announced");
    }
    EXPECT_TRUE(Registered("a", "b", "c"));
}
