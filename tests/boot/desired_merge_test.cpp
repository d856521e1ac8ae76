// Boot mode 1 on generated stores against the statements of the store's
// format run as they stand, with Config's triggers: the merge that applies
// desired rows is rewritten so that the key's index serves it, and the step
// runs on a copy of Config without the triggers, counting revisions itself.
// Config, every column of every row, must end exactly as the original
// statements leave it, and the store's schema untouched.
#include <filesystem>
#include <random>
#include <sqlite3.h>

#include <gmock/gmock.h>

#include "boot/boot_mode_work.h"
#include "boot/boot_tree.h"
#include "boot/generate_desired_configuration.h"
#include "tarn/cleanup.h"
#include "tarn/db_connection.h"
#include "tarn/platform/schema_store.h"
#include "tarn/store_tables.h"

namespace {

using BootTreeTest::RunSql;

std::string Store() { return TarnTest::Rooted(TarnConfigStore::CONFIG_STORE_PATH); }
std::string Reference() { return Store() + "-reference"; }

// The store format's text of each step; the protected instances are those
// that the fixture registers.
constexpr char kReferenceSteps[] =
    "update config set uservalue = CASE WHEN uservalue is NOT NULL and s.preserveNonUser=0 THEN 'mark for "
    "deletion' ELSE NULL END, DesiredValue=NULL from ss.ConfigSchema as s where s.component=config.component and "
    "s.configgroup=config.configgroup and s.name=config.name and s.DSPIntegrated=1 AND (config.component, "
    "config.configgroup, config.name, config.identifier) NOT IN (('c','g','fixed','i1'),('c','g','fixed','i3'));"
    "insert or ignore into config(component, configgroup, name , identifier, uservalue, vitalvalue, cachedvalue) "
    "select component, configgroup, name, identifier, value, vitalvalue, cachedvalue from desireduserconfig;"
    "update config set uservalue=(coalesce((select value from desireduserconfig where "
    "desireduserconfig.name=config.name and desireduserconfig.configgroup = config.configgroup and "
    "desireduserconfig.component=config.component and "
    "(desireduserconfig.identifier is null or desireduserconfig.identifier='' or "
    "desireduserconfig.identifier=config.identifier)), config.uservalue)), vitalvalue=(coalesce((select vitalvalue "
    "from desireduserconfig where desireduserconfig.name=config.name and desireduserconfig.configgroup = "
    "config.configgroup and desireduserconfig.component=config.component and (desireduserconfig.identifier is null "
    "or desireduserconfig.identifier='' or desireduserconfig.identifier=config.identifier)), config.vitalvalue)), "
    "cachedvalue=(coalesce((select cachedvalue from desireduserconfig where desireduserconfig.name=config.name and "
    "desireduserconfig.configgroup = config.configgroup and desireduserconfig.component=config.component and "
    "(desireduserconfig.identifier is null or desireduserconfig.identifier='' or "
    "desireduserconfig.identifier=config.identifier)), config.cachedValue));"
    "Delete from DesiredUserConfig;"
    "DELETE FROM config where uservalue='mark for deletion';";
// The load's own last statement, after every mode's work.
constexpr char kReferencePromotion[] =
    "UPDATE Config as c SET UserValue = CASE WHEN DesiredValue IS NULL THEN UserValue ELSE DesiredValue END, "
    "DesiredValue=NULL, Success=( SELECT noRestore FROM ss.ConfigSchema as s WHERE s.name = c.name and "
    "s.configgroup = c.configgroup and s.component = c.component );";

// Every column of every row, typed, with its rowid, then the schema.
constexpr char kDump[] =
    "SELECT rowid, quote(Component), quote(ConfigGroup), quote(Name), quote(Identifier), quote(ModifiedTime), "
    "quote(CreationTime), quote(Version), quote(Success), quote(AutoConfValue), quote(UserValue), "
    "quote(VitalValue), quote(CachedValue), quote(DesiredValue), quote(Revision) FROM Config ORDER BY rowid;"
    "SELECT rowid, * FROM sqlite_master ORDER BY rowid; PRAGMA schema_version;";

// The default file system with its clock stopped at 2031-05-06 07:08:09, so
// that both runs stamp the same modified time.
sqlite3_vfs* FrozenClock() {
    static sqlite3_vfs vfs = [] {
        sqlite3_vfs frozen = *sqlite3_vfs_find(nullptr);
        frozen.zName = "frozen-clock";
        frozen.xCurrentTimeInt64 = [](sqlite3_vfs*, sqlite3_int64* now) {
            *now = 212802577689000;  // Julian day in milliseconds
            return SQLITE_OK;
        };
        return frozen;
    }();
    return &vfs;
}

class DesiredMerge : public testing::Test {
protected:
    static void SetUpTestSuite() { sqlite3_vfs_register(FrozenClock(), 1); }
    static void TearDownTestSuite() { sqlite3_vfs_unregister(FrozenClock()); }

    void SetUp() override {
        ASSERT_EQ(DBStore::CreateDatabases(), 0);
        Register("plain", R"("idField": "id", "dspIntegrated": true)");
        Register("kept", R"("idField": "id", "dspIntegrated": true, "preserveNonUser": true)");
        Register("fixed", R"("idField": "id", "kind": "fixed-instances", "fixedInstances": ["i1", "i3"],
                             "dspIntegrated": true)");
        Register("single", R"("dspIntegrated": true)");
        Register("outside", R"("idField": "id")");
    }
    static void Register(const std::string& name, const std::string& more) {
        const std::string entry = R"({"component": "c", "group": "g", "key": ")" + name + R"(", "version": "1.0",
            "schema": {"type": "object", "properties": {"id": {"type": "string"}}}, )" + more + "}";
        TarnSchemaStore::SetSchema("mergetest", "c", "g", name, entry, TarnSchemaStore::SchemaStore::GetStore(), false);
    }

    // Config and desired rows over a few identifiers per object, each layer
    // NULL or a value, so that instances meet a row for every instance, a
    // row of their own, both, or none. "unknown" has no schema and a NULL
    // group, which keeps its rows out of the triggers' reach.
    static void Generate(unsigned seed) {
        std::mt19937 random(seed);
        const auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
        const auto layer = [&](const char* tag) {
            return chance(35) ? std::string("NULL") : "'" + std::string(tag) + std::to_string(random() % 1000) + "'";
        };
        std::string sql = "BEGIN;";
        for (const char* name : {"plain", "kept", "fixed", "single", "outside", "unknown"}) {
            const bool singleton = std::string(name) == "single", unknown = std::string(name) == "unknown";
            for (const char* id : {"", "i1", "i2", "i3", "i4"}) {
                if (singleton && *id) continue;
                const std::string key = std::string("'c', ") + (unknown ? "NULL" : "'g'") +
                                        ", '" + name + "', '" + id + "'";
                if (chance(60))
                    sql += "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, ModifiedTime, Revision, "
                           "UserValue, VitalValue, CachedValue, DesiredValue) VALUES(" + key +
                           ", '2000-01-01 00:00:00', " + std::to_string(random() % 5) + ", " + layer("u") + ", " +
                           layer("v") + ", " + layer("c") + ", " + layer("d") + ");";
                if (chance(*id ? 40 : 70))
                    sql += "INSERT INTO DesiredUserConfig(Component, ConfigGroup, Name, Identifier, Value, VitalValue, "
                           "CachedValue, BootAction) VALUES(" + key + ", " + layer("U") + ", " + layer("V") + ", " +
                           layer("C") + ", 'SET');";
            }
        }
        // Gaps in the rowids, which the step keeps.
        RunSql(Store(), sql + "DELETE FROM Config WHERE rowid % 5 = 2; COMMIT;");
    }

    // Runs the step in a transaction as the load does; then the end, COMMIT
    // or ROLLBACK.
    static std::string ApplyOurs(const std::string& end = "COMMIT;",
                                 TarnConfigStore::BOOTMODE mode = TarnConfigStore::BOOTMODE_NEW_DESIRED_CONFIG) {
        const auto conn = TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true);
        for (const std::string& sql : {TarnConfigStore::AttachSchemaStoreStatement(), std::string("BEGIN;")})
            EXPECT_EQ(DBStore::ExecuteV2(conn, sql, nullptr, nullptr, 3000), 0);
        const std::string thrown = TarnTest::Thrown([&] { TarnConfigStore::RunDesiredConfigurationWork(mode, conn); });
        // Whatever happened, "config" names the store's table again: no copy
        // of it is left in the temporary database.
        for (const std::string& sql : {std::string("CREATE TEMP TABLE Config(x); DROP TABLE temp.Config;"), end,
                                       std::string(TarnConfigStore::DETACH_SCHEMA_STORE)})
            EXPECT_EQ(DBStore::ExecuteV2(conn, sql, nullptr, nullptr, 3000), 0) << sql;
        return thrown;
    }
};

TEST_F(DesiredMerge, LeavesConfigAsTheStoreFormatsStatementsDo) {
    // Instances whose every-instance row has a NULL layer where their own row
    // has a value: the case that tells which row wins and how NULL falls back.
    constexpr char kContested[] =
        "SELECT count(*) FROM Config AS k JOIN DesiredUserConfig AS a JOIN DesiredUserConfig AS o ON "
        "a.Name = k.Name AND o.Name = k.Name AND a.Identifier = '' AND o.Identifier = k.Identifier AND "
        "k.Identifier <> '' AND ((a.Value IS NULL AND o.Value IS NOT NULL) OR (a.VitalValue IS NULL AND "
        "o.VitalValue IS NOT NULL) OR (a.CachedValue IS NULL AND o.CachedValue IS NOT NULL));";
    int contested = 0;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        RunSql(Store(), "DELETE FROM Config; DELETE FROM DesiredUserConfig; DROP TRIGGER IF EXISTS stamp;");
        Generate(seed);
        // A trigger the format does not have: the step must keep it working.
        if (seed % 8 == 0)
            RunSql(Store(), "CREATE TRIGGER stamp AFTER UPDATE OF UserValue ON Config BEGIN UPDATE Config SET "
                            "Version = Version || '+' WHERE rowid = NEW.rowid; END;");
        contested += std::stoi(TarnTest::Query(Store(), kContested).at(0));
        std::filesystem::copy_file(Store(), Reference(), std::filesystem::copy_options::overwrite_existing);
        // Every third store boots normally: the promotion alone.
        const bool normal = seed % 3 == 0;
        ASSERT_EQ(ApplyOurs("COMMIT;", normal ? TarnConfigStore::BOOTMODE_NORMAL
                                              : TarnConfigStore::BOOTMODE_NEW_DESIRED_CONFIG), "nothing thrown");
        TarnTest::Query(Reference(), "ATTACH DATABASE '" + TarnTest::Rooted(TarnConfigStore::SCHEMA_STORE_PATH) +
                                         "' AS ss;" + (normal ? "" : kReferenceSteps) + kReferencePromotion);
        const auto expected = TarnTest::Query(Reference(), kDump);
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(TarnTest::Query(Store(), kDump), expected);
    }
    EXPECT_GT(contested, 20);
}

// The cleanup of the automatic layer runs on a copy of its own the same way.
TEST_F(DesiredMerge, CleanupLeavesConfigAsItsStatementsDo) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        RunSql(Store(), "DELETE FROM Config; DELETE FROM DesiredUserConfig;");
        Generate(seed);
        RunSql(Store(), "UPDATE Config SET AutoConfValue = 'a' || rowid WHERE rowid % 3 = 0;");
        std::filesystem::copy_file(Store(), Reference(), std::filesystem::copy_options::overwrite_existing);
        TarnConfigStore::CleanupAutoConfig();
        RunSql(Reference(), "update config set autoconfvalue=null; delete from config where uservalue is null and "
                            "vitalvalue is null and cachedvalue is null and DesiredValue is null;");
        ASSERT_EQ(TarnTest::Query(Store(), kDump), TarnTest::Query(Reference(), kDump)) << "seed " << seed;
    }
}

TEST_F(DesiredMerge, AFailureLeavesTheStoreAsItWas) {
    Generate(7);
    RunSql(Store(), "CREATE TRIGGER refuse BEFORE DELETE ON DesiredUserConfig BEGIN SELECT RAISE(ABORT, 'no'); END;");
    const auto before = TarnTest::Query(Store(), kDump);
    EXPECT_EQ(ApplyOurs("ROLLBACK;"), "ConfigStoreException 2000 Failed to cleanup desired configuration");
    EXPECT_EQ(TarnTest::Query(Store(), kDump), before);
}

} // namespace
