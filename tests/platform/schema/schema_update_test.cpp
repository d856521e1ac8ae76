// Updates and reads of the schema store: one schema file's registration is one
// transaction, a refused entry leaves the store as it was, a read holds one state.
#include <sqlite3.h>

#include <gtest/gtest.h>

#include "platform/schema/schema_store_fixture.h"
#include "store/sqlite_handle.h"

using namespace SchemaTest;
using namespace TarnSchemaStore;

namespace {
bool Registered(const std::string& component, const std::string& group, const std::string& name) {
    return GetSchema(component, group, name, SchemaStore::GetStore()) != nullptr;
}
} // namespace

TEST(SchemaStoreUpdate, CommitPublishesAnAbortNotCommittedOrADroppedStoreLeavesNothing) {
    auto store = SchemaStore::GetStore();
    store->BeginUpdate();
    Register(store, "netd", kTrunk);
    EXPECT_TRUE(GetSchema("netd", "network", "trunk", store));  // the updating store sees its own entries
    EXPECT_FALSE(Registered("netd", "network", "trunk"));         // others do not, yet
    store->AbortUpdate();
    EXPECT_FALSE(GetSchema("netd", "network", "trunk", store));  // a call after an abort drops the update
    store->CommitUpdate();  // nothing left to commit
    {
        auto dropped = SchemaStore::GetStore();
        dropped->BeginUpdate();
        Register(dropped, "netd", kTrunk);
    }
    EXPECT_EQ(Snapshot(), (std::vector<std::string>{"ConfigSchema", "DataFileSchema", "SmartnicSchema", "SchemaObjectKind", "SchemaFile"}));

    // A refused entry inside an update keeps the earlier ones of the update.
    store->BeginUpdate();
    Register(store, "netd", kTrunk);
    EXPECT_THROW(store->BeginUpdate(), TarnConfigStore::ConfigStoreException);
    EXPECT_THROW(Register(store, "netd", R"({"component": "netd", "group": "network", "key": "x"})"),
                 TarnConfigStore::ConfigStoreException);
    store->AbortUpdate();  // a commit right after an abort keeps them
    store->CommitUpdate();
    EXPECT_TRUE(Registered("netd", "network", "trunk"));
    EXPECT_EQ(SchemaStore::GetStore()->GetSchemaFileIds(), (std::unordered_set<std::string>{"netd"}));
}

TEST(SchemaStoreRefusal, BadEntriesAreRefusedByNameAndChangeNothing) {
    Register(SchemaStore::GetStore(), "netd", kSegments);
    const auto before = Snapshot();
    auto entry = [](const std::string& members) {
        return R"({"component": "netd", "group": "network", "key": "segments", "version": "1", )" + members + "}";
    };
    const std::string prefix = "Schema entry netd/network/segments of file bad refused: ";
    const struct {
        std::string entry, reason;
    } cases[] = {
        {R"({"component": "netd", "group": "network", "key": "segments", "version": )", "is not valid JSON (error at offset 72)"},
        {R"({"component": "netd", "group": "network", "key": "segments", "schema": {}})", "misses the member \"version\""},
        {entry(R"("schema": {}, "idfield": "name")"), "has the unknown member \"idfield\""},
        {R"({"component": "netd", "group": "network", "key": "trunk", "version": "1", "schema": {}})",
         "member \"key\" is \"trunk\", not \"segments\""},
        {entry(R"("kind": "special", "schema": {})"),
         "member \"kind\" must be one of \"config\", \"files\", \"internal\", \"fixed-instances\""},
        {entry(R"("kind": "fixed-instances", "idField": "name", "schema": {"properties": {"name": {}}})"),
         "kind \"fixed-instances\" needs the member \"fixedInstances\""},
        {entry(R"("file": {"category": "config", "path": "/x"}, "schema": {})"), "member \"file\" belongs to objects named \"files\" only"},
        {entry(R"("schema": {"type": "strang"})"), "schema: not a draft-4 schema: at '/type' anyOf: expected to match at least one of 2 schemas"},
        {entry(R"("schema": {"properties": {"a": {"$ref": "#/definitions/missing"}}})"),
         "schema: $ref '#/definitions/missing' at '/properties/a' leads nowhere in the schema"},
        {entry(R"("schema": {"properties": {"a": {"vital": false}}})"),
         "schema: marker \"vital\" at '/properties/a' must be true (leave it out for the user layer)"},
        {entry(R"("schema": {"properties": {"a": {"type": "array"}}})"), "schema: array node at '/properties/a' needs an \"items\" object with a \"type\""},
        {entry(R"("idField": "name", "schema": {"properties": {"id": {}}})"), "schema: the idField 'name' is not described under \"properties\""},
        {entry(R"("schema": {"properties": {"id": {"instanceId": true}}})"),
         "schema: a singleton object has no identifier, so 'id' cannot be marked \"instanceId\""},
        {entry(R"("smartnic": {"schema": 1}, "schema": {})"), "member \"smartnic\".\"schema\" must be a non-empty string"},
    };
    for (const auto& c : cases) EXPECT_EQ(Refusal(c.entry), prefix + c.reason) << c.entry;
    EXPECT_EQ(Refusal(entry(R"("smartnic": {"schema": "x"}, "schema": {})"), false),
              prefix + "has a \"smartnic\" member that was not announced");
    EXPECT_EQ(Snapshot(), before);
}

// A read holds the database from its first lookup to its end, so another
// connection cannot write meanwhile; a write of the store's own ends it.
TEST(SchemaStoreRead, HoldsTheDatabaseFromItsFirstLookupToItsEnd) {
    Register(SchemaStore::GetStore(), "netd", kTrunk);
    const auto db = TarnConfigStore::OpenReadWrite(TarnTest::Rooted("/etc/halden/schemastore/schema-store-1"), false);
    ASSERT_TRUE(db);
    auto canWrite = [other = db.get()] {
        const bool free = sqlite3_exec(other, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr) == SQLITE_OK;
        if (free) sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
        return free;
    };
    auto store = SchemaStore::GetStore();
    store->BeginRead();
    EXPECT_TRUE(GetSchema("netd", "network", "trunk", store));
    EXPECT_TRUE(GetSchema("netd", "network", "other", store) == nullptr);
    EXPECT_FALSE(canWrite());
    store->EndRead();
    EXPECT_TRUE(canWrite());

    store->BeginRead();
    GetSchema("netd", "network", "trunk", store);
    store->BeginUpdate();
    Register(store, "netd", kSegments);
    store->CommitUpdate();
    EXPECT_TRUE(canWrite());
    EXPECT_TRUE(Registered("netd", "network", "segments"));
    store->BeginRead();
    GetSchema("netd", "network", "trunk", store);
    Register(store, "netd", kGenerated);  // written at once, not at the read's end
    EXPECT_TRUE(Registered("netd", "routes", "route"));
    EXPECT_TRUE(canWrite());
}
