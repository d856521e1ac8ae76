// Boot mode 1 on generated stores against the statements of the store's
// format run as they stand: the merge that applies desired rows is rewritten
// so that the key's index serves it, and must leave Config exactly as the
// original merge does.
#include <filesystem>
#include <random>

#include <gmock/gmock.h>

#include "boot/boot_mode_work.h"
#include "boot/boot_tree.h"
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

// Every column of every row, typed; ModifiedTime only as "touched since the
// store was generated", since the clock moves between the two runs.
constexpr char kDump[] =
    "SELECT quote(Component), quote(ConfigGroup), quote(Name), quote(Identifier), "
    "ModifiedTime IS NOT '2000-01-01 00:00:00', quote(CreationTime), quote(Version), quote(Success), "
    "quote(AutoConfValue), quote(UserValue), quote(VitalValue), quote(CachedValue), quote(DesiredValue), "
    "quote(Revision) FROM Config ORDER BY Component, ConfigGroup, Name, Identifier;";

class DesiredMerge : public testing::Test {
protected:
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
    // row of their own, both, or none. "unknown" has no schema.
    static void Generate(unsigned seed) {
        std::mt19937 random(seed);
        const auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
        const auto layer = [&](const char* tag) {
            return chance(35) ? std::string("NULL") : "'" + std::string(tag) + std::to_string(random() % 1000) + "'";
        };
        std::string sql = "BEGIN;";
        for (const char* name : {"plain", "kept", "fixed", "single", "outside", "unknown"}) {
            const bool singleton = std::string(name) == "single";
            for (const char* id : {"", "i1", "i2", "i3", "i4"}) {
                if (singleton && *id) continue;
                const std::string key = std::string("'c', 'g', '") + name + "', '" + id + "'";
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
        RunSql(Store(), sql + "COMMIT;");
    }

    static void ApplyOurs() {
        const auto conn = TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true);
        for (const std::string& sql : {TarnConfigStore::AttachSchemaStoreStatement(), std::string("BEGIN;")})
            ASSERT_EQ(DBStore::ExecuteV2(conn, sql, nullptr, nullptr, 3000), 0);
        TarnConfigStore::BootWithNewDesiredConfiguration(conn);
        ASSERT_EQ(DBStore::ExecuteV2(conn, "COMMIT;", nullptr, nullptr, 3000), 0);
        ASSERT_EQ(DBStore::ExecuteV2(conn, TarnConfigStore::DETACH_SCHEMA_STORE, nullptr, nullptr, 3000), 0);
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
        RunSql(Store(), "DELETE FROM Config; DELETE FROM DesiredUserConfig;");
        Generate(seed);
        contested += std::stoi(TarnTest::Query(Store(), kContested).at(0));
        std::filesystem::copy_file(Store(), Reference(), std::filesystem::copy_options::overwrite_existing);
        ApplyOurs();
        TarnTest::Query(Reference(), "ATTACH DATABASE '" + TarnTest::Rooted(TarnConfigStore::SCHEMA_STORE_PATH) +
                                         "' AS ss;" + kReferenceSteps);
        const auto expected = TarnTest::Query(Reference(), kDump);
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(TarnTest::Query(Store(), kDump), expected);
    }
    EXPECT_GT(contested, 20);
}

} // namespace
