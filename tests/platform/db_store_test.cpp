// The database service: connections, statements, transactions, key/value
// access, and the table definitions' triggers.
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/configstore.h"
#include "tarn/platform/host_root.h"

using namespace TarnConfigStore;
using TarnTest::Rooted;

namespace {

using Rows = std::vector<std::string>;  // columns joined by "|"

Rows Query(const std::string& sql) { return TarnTest::Query(Rooted(CONFIG_STORE_PATH), sql); }

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

// Damaged stores and backups are driven by the restore tests.
TEST(Connections, AMissingDatabaseGivesNoConnectionAndIsNotCreated) {
    EXPECT_EQ(DBStore::GetConnection(DBStore::CONFIG_STORE), nullptr);
    EXPECT_FALSE(DBStore::Check(Rooted(CONFIG_STORE_PATH)));
    EXPECT_FALSE(TarnTest::Exists(Rooted(CONFIG_STORE_PATH)));
}

TEST_F(Store, RevisionCountsValueLayersButNotDesired) {
    ASSERT_EQ(Exec("INSERT INTO Config(Component, ConfigGroup, Name, UserValue, ModifiedTime) "
                   "VALUES('net', 'dns', 'servers', '{}', '2000-01-01 00:00:00');"),
              0);
    const std::string where = " WHERE Component='net' AND ConfigGroup='dns' AND Name='servers';";
    EXPECT_EQ(Query("SELECT Revision, Identifier FROM Config" + where), (Rows{"0|"}));

    ASSERT_EQ(Exec("UPDATE Config SET DesiredValue='{\"a\":1}'" + where), 0);
    EXPECT_EQ(Query("SELECT Revision, ModifiedTime > '2000-01-01 00:00:00' FROM Config" + where),
              (Rows{"0|1"}));

    ASSERT_EQ(Exec("UPDATE Config SET Revision=4" + where), 0);
    for (const char* column : {"UserValue", "AutoConfValue", "VitalValue", "CachedValue"})
        ASSERT_EQ(Exec(std::string("UPDATE Config SET ") + column + "='{\"b\":2}'" + where), 0);
    EXPECT_EQ(Query("SELECT Revision FROM Config" + where), (Rows{"8"}));
}

TEST_F(Store, ExecuteBindsTextsVerbatimAndFailsCleanly) {
    const std::string hostile = "x'); DROP TABLE Config; --";
    ASSERT_EQ(DBStore::Execute(conn, "INSERT INTO Config(Component, ConfigGroup, Name, UserValue) VALUES(?, ?, ?, ?);",
                               {hostile, "g", "n", "{\"q\":\"it's\"}"}, {}, 3000),
              0);
    EXPECT_EQ(Query("SELECT Component, UserValue FROM Config;"), (Rows{hostile + "|{\"q\":\"it's\"}"}));
    // Wrong placeholder count, unknown table, non-empty integer vector, no connection.
    EXPECT_NE(DBStore::Execute(conn, "DELETE FROM Config WHERE Component = ?;", {}, {}, 3000), 0);
    EXPECT_NE(DBStore::Execute(conn, "DELETE FROM Nowhere;", {}, {}, 3000), 0);
    EXPECT_NE(DBStore::Execute(conn, "DELETE FROM Config;", {}, {1}, 3000), 0);
    EXPECT_EQ(Query("SELECT count(*) FROM Config;"), (Rows{"1"}));
    EXPECT_EQ(DBStore::ExecuteV2(nullptr, "SELECT 1;", nullptr, nullptr, 3000), 1);
}

TEST_F(Store, CancelledTransactionLeavesNothingAndACommittedOneNoJournal) {
    ASSERT_EQ(DBStore::BeginTransaction(conn), 0);
    ASSERT_EQ(Exec("INSERT INTO Config(Component, ConfigGroup, Name) VALUES('a', 'b', 'c');"), 0);
    DBStore::CancelTransaction(conn);
    EXPECT_EQ(Query("SELECT count(*) FROM Config;"), (Rows{"0"}));

    ASSERT_EQ(DBStore::BeginTransaction(conn), 0);
    ASSERT_EQ(Exec("INSERT INTO Config(Component, ConfigGroup, Name) VALUES('a', 'b', 'c');"), 0);
    ASSERT_EQ(DBStore::CommitTransaction(conn), 0);
    // Nothing is left beside the file once the transaction is over: it can be copied alone.
    for (const char* suffix : {"-journal", "-wal"})
        EXPECT_FALSE(TarnTest::Exists(Rooted(std::string(CONFIG_STORE_PATH) + suffix))) << suffix;
    EXPECT_EQ(Query("SELECT count(*) FROM Config;"), (Rows{"1"}));
}

TEST_F(Store, KeyValuesAreReplacedAndAStoreLockedBeyondTheBusyTimeoutFails) {
    DBStore::WriteKeyValue(KEY_BOOT_MODE, "3", conn);
    DBStore::WriteKeyValue(KEY_BOOT_MODE, "it's", conn);
    EXPECT_EQ(Query("SELECT Key, Value, CreationTime IS NOT NULL FROM KVTable;"),
              (Rows{std::string(KEY_BOOT_MODE) + "|it's|1"}));
    std::string unset = "stale";
    EXPECT_TRUE(DBStore::ReadKeyValue("never written", &unset, conn) == 0 && unset.empty());

    auto holder = GetDBConnection(DBStore::CONFIG_STORE, true);
    ASSERT_EQ(DBStore::BeginTransaction(holder), 0);
    EXPECT_NE(DBStore::BeginTransaction(conn), 0);
    EXPECT_NE(DBStore::WriteKeyValue("k", "v", conn), 0);
    DBStore::CancelTransaction(holder);
    EXPECT_EQ(DBStore::WriteKeyValue("k", "v", conn), 0);
}

// Each row an UPDATE changes runs the triggers' programs, and each opens a
// temporary table with a page cache of its own. Such a cache takes no bulk
// allocation up front (about 84 KB with SQLite's defaults): freed for every
// row, it would make the heap shrink and grow per row (glibc trims at
// 128 KiB), a score of fresh pages faulted in each time. The sanitizer's
// allocator hands out fresh memory for every allocation, so it is left out.
#ifndef __SANITIZE_ADDRESS__
TEST_F(Store, TriggerProgramsTakeNoBulkPageCacheAllocation) {
    ASSERT_EQ(Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                   "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, UserValue) "
                   "SELECT 'c', 'g', 'n', i, '1' FROM n;"),
              0);
    ASSERT_EQ(Exec("UPDATE Config SET UserValue = UserValue || 'x';"), 0);  // caches filled
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    ASSERT_EQ(Exec("UPDATE Config SET UserValue = UserValue || 'x';"), 0);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_minflt - before.ru_minflt, 1000) << "page faults while updating 2,000 rows";
}
#endif
