// The database service: creation, connections, statements, transactions,
// key/value access, and the table definitions' triggers and constraints.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/configstore.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/host_root.h"

using namespace TarnConfigStore;
using TarnTest::Rooted;

namespace {

using Rows = std::vector<std::vector<std::string>>;

int CollectRows(void* ctx, int n, char** values, char**) {
    auto* rows = static_cast<Rows*>(ctx);
    rows->emplace_back();
    for (int i = 0; i < n; ++i) rows->back().push_back(values[i] ? values[i] : "NULL");
    return 0;
}

Rows Query(const std::shared_ptr<DBStore::StoreConnection>& conn, const std::string& sql) {
    Rows rows;
    EXPECT_EQ(DBStore::ExecuteV2(conn, sql, &CollectRows, &rows, 3000), 0) << sql;
    return rows;
}

class Store : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(DBStore::CreateDatabases(), 0);
        conn = GetDBConnection(DBStore::CONFIG_STORE, true);
    }
    int Exec(const std::string& sql) { return DBStore::ExecuteV2(conn, sql, nullptr, nullptr, 3000); }

    std::shared_ptr<DBStore::StoreConnection> conn;
};

} // namespace

TEST(Connections, MissingDatabaseGivesNoConnection) {
    EXPECT_EQ(DBStore::GetConnection(DBStore::CONFIG_STORE), nullptr);
    EXPECT_EQ(GetDBConnection(DBStore::DATAFILE_STORE, false), nullptr);
    EXPECT_EQ(TarnTest::Thrown([] { GetDBConnection(DBStore::CONFIG_STORE, true); }),
              "ConfigStoreException 2000 Failed to connect to database");
    // A file that is not a database is no better.
    TarnTest::WriteFile(Rooted(CONFIG_STORE_PATH), "this is not a database, it only sits where one should be");
    EXPECT_EQ(DBStore::GetConnection(DBStore::CONFIG_STORE), nullptr);
}

TEST(Connections, IntegrityCheck) {
    ASSERT_EQ(DBStore::CreateDatabases(), 0);
    EXPECT_TRUE(DBStore::Check(Rooted(CONFIG_STORE_PATH)));
    EXPECT_FALSE(DBStore::Check(Rooted("/var/lib/nothing-here")));
    EXPECT_FALSE(TarnTest::Exists(Rooted("/var/lib/nothing-here")));  // the check creates nothing

    const std::string junk = Rooted("/var/lib/junk");
    TarnTest::WriteFile(junk, std::string(4096, 'x'));
    EXPECT_FALSE(DBStore::Check(junk));

    // A database cut short is not consistent.
    auto conn = GetDBConnection(DBStore::CONFIG_STORE, true);
    for (int i = 0; i < 200; ++i)
        DBStore::Execute(conn, "INSERT INTO KVTable(Key, Value) VALUES(?, ?);",
                         {"key" + std::to_string(i), std::string(500, 'v')}, {}, 3000);
    conn.reset();
    const std::string full = TarnTest::ReadFile(Rooted(CONFIG_STORE_PATH));
    const std::string truncated = Rooted("/var/lib/truncated");
    TarnTest::WriteFile(truncated, full.substr(0, full.size() / 2));
    EXPECT_FALSE(DBStore::Check(truncated));
}

TEST_F(Store, RevisionCountsValueLayersButNotDesired) {
    ASSERT_EQ(Exec("INSERT INTO Config(Component, ConfigGroup, Name, UserValue, ModifiedTime) "
                   "VALUES('net', 'dns', 'servers', '{}', '2000-01-01 00:00:00');"),
              0);
    const std::string where = " WHERE Component='net' AND ConfigGroup='dns' AND Name='servers';";
    EXPECT_EQ(Query(conn, "SELECT Revision, Identifier FROM Config" + where), (Rows{{"0", ""}}));

    ASSERT_EQ(Exec("UPDATE Config SET DesiredValue='{\"a\":1}'" + where), 0);
    EXPECT_EQ(Query(conn, "SELECT Revision, ModifiedTime > '2000-01-01 00:00:00' FROM Config" + where),
              (Rows{{"0", "1"}}));

    ASSERT_EQ(Exec("UPDATE Config SET Revision=4" + where), 0);
    for (const char* column : {"UserValue", "AutoConfValue", "VitalValue", "CachedValue"})
        ASSERT_EQ(Exec(std::string("UPDATE Config SET ") + column + "='{\"b\":2}'" + where), 0);
    EXPECT_EQ(Query(conn, "SELECT Revision FROM Config" + where), (Rows{{"8"}}));
}

TEST_F(Store, ExecuteBindsTextsVerbatim) {
    const std::string hostile = "x'); DROP TABLE Config; --";
    ASSERT_EQ(DBStore::Execute(conn, "INSERT INTO Config(Component, ConfigGroup, Name, UserValue) VALUES(?, ?, ?, ?);",
                               {hostile, "g", "n", "{\"q\":\"it's\"}"}, {}, 3000),
              0);
    EXPECT_EQ(Query(conn, "SELECT Component, UserValue FROM Config;"), (Rows{{hostile, "{\"q\":\"it's\"}"}}));
    // Wrong placeholder count, unknown table, non-empty integer vector: failures, not crashes.
    EXPECT_NE(DBStore::Execute(conn, "DELETE FROM Config WHERE Component = ?;", {}, {}, 3000), 0);
    EXPECT_NE(DBStore::Execute(conn, "DELETE FROM Nowhere;", {}, {}, 3000), 0);
    EXPECT_NE(DBStore::Execute(conn, "DELETE FROM Config;", {}, {1}, 3000), 0);
    EXPECT_EQ(Query(conn, "SELECT count(*) FROM Config;"), (Rows{{"1"}}));
    // A null connection fails every call.
    std::shared_ptr<DBStore::StoreConnection> none;
    std::string value;
    EXPECT_EQ(DBStore::ExecuteV2(none, "SELECT 1;", nullptr, nullptr, 3000), 1);
    EXPECT_NE(DBStore::Execute(none, "SELECT 1;", {}, {}, 3000), 0);
    EXPECT_NE(DBStore::BeginTransaction(none), 0);
    EXPECT_NE(DBStore::ReadKeyValue("k", &value, none), 0);
    EXPECT_NE(DBStore::WriteKeyValue("k", "v", none), 0);
}

TEST_F(Store, CancelledTransactionLeavesNothing) {
    ASSERT_EQ(DBStore::BeginTransaction(conn), 0);
    ASSERT_EQ(Exec("INSERT INTO Config(Component, ConfigGroup, Name) VALUES('a', 'b', 'c');"), 0);
    DBStore::CancelTransaction(conn);
    EXPECT_EQ(Query(conn, "SELECT count(*) FROM Config;"), (Rows{{"0"}}));

    ASSERT_EQ(DBStore::BeginTransaction(conn), 0);
    ASSERT_EQ(Exec("INSERT INTO Config(Component, ConfigGroup, Name) VALUES('a', 'b', 'c');"), 0);
    ASSERT_EQ(DBStore::CommitTransaction(conn), 0);
    // Nothing is left beside the file once the transaction is over: it can be copied alone.
    EXPECT_FALSE(TarnTest::Exists(Rooted(std::string(CONFIG_STORE_PATH) + "-journal")));
    EXPECT_FALSE(TarnTest::Exists(Rooted(std::string(CONFIG_STORE_PATH) + "-wal")));
    EXPECT_EQ(Query(GetDBConnection(DBStore::CONFIG_STORE, true), "SELECT count(*) FROM Config;"), (Rows{{"1"}}));
}

TEST_F(Store, KeyValues) {
    auto read = [](const char* key, const std::shared_ptr<DBStore::StoreConnection>& c) {
        std::string value = "stale";
        EXPECT_EQ(DBStore::ReadKeyValue(key, &value, c), 0) << key;
        return value;
    };
    EXPECT_EQ(read(KEY_BOOT_MODE, conn), "");  // never written reads as unset
    DBStore::WriteKeyValue(KEY_BOOT_MODE, "3", conn);
    DBStore::WriteKeyValue(KEY_BOOT_MODE, "1", conn);
    DBStore::WriteKeyValue(BOOT_FS_UUID, "it's-a-uuid", conn);
    EXPECT_EQ(read(KEY_BOOT_MODE, conn), "1");
    EXPECT_EQ(read(BOOT_FS_UUID, conn), "it's-a-uuid");
    EXPECT_EQ(Query(conn, "SELECT count(*), count(CreationTime) FROM KVTable;"), (Rows{{"2", "2"}}));

    // Another connection sees what was written.
    auto other = GetDBConnection(DBStore::CONFIG_STORE, true);
    EXPECT_EQ(read(KEY_BOOT_MODE, other), "1");
    EXPECT_EQ(ReadKeyValueOrThrow(KEY_BOOT_MODE, other), "1");
    EXPECT_EQ(ReadKeyValueOrThrow(KEY_IS_BOOT, other), "");
    EXPECT_EQ(TarnTest::Thrown([] { ReadKeyValueOrThrow(KEY_BOOT_MODE, nullptr); }),
              "ConfigStoreException 2000 Failed to read value for key BOOT_MODE");
}

TEST_F(Store, LockedStoreFailsAfterTheBusyTimeout) {
    auto holder = GetDBConnection(DBStore::CONFIG_STORE, true);
    ASSERT_EQ(DBStore::BeginTransaction(holder), 0);
    EXPECT_NE(DBStore::BeginTransaction(conn), 0);
    EXPECT_NE(DBStore::WriteKeyValue("k", "v", conn), 0);
    DBStore::CancelTransaction(holder);
    EXPECT_EQ(DBStore::WriteKeyValue("k", "v", conn), 0);
}

TEST_F(Store, SchemaStoreAttachStatement) {
    // Under a private root the path moves there, quoted safely.
    EXPECT_EQ(AttachSchemaStoreStatement(),
              "ATTACH DATABASE " + TarnPlatform::SqlQuote(Rooted(SCHEMA_STORE_PATH)) + " AS ss;");
    EXPECT_NE(Exec(AttachSchemaStoreStatement()), 0);  // attaching never creates the schema store

    TarnTest::Query(Rooted(SCHEMA_STORE_PATH), CREATE_CONFIG_SCHEMA_TABLE);

    EXPECT_EQ(Exec(AttachSchemaStoreStatement()), 0);
    EXPECT_EQ(Query(conn, "SELECT count(*) FROM ss.ConfigSchema;"), (Rows{{"0"}}));
    EXPECT_EQ(Exec(DETACH_SCHEMA_STORE), 0);
}
