// The boot apply record: its two stored forms, the caller's text carried as
// a string whatever it holds, malformed stored records, and the list of
// objects whose boot-time apply failed.
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "tests/boot/boot_tree.h"
#include "tarn/boot_state.h"
#include "tarn/exceptions.h"
#include "tarn/platform/capture.h"
#include "tarn/store_tables.h"

using namespace TarnConfigStore;
using namespace BootTreeTest;
using TarnPlatform::CapturedLine;

namespace {

class BootApplyRecord : public BootHost {};

TEST_F(BootApplyRecord, StoredTextThatIsNotOneJsonValueIsRefused) {
    const std::string refused = "InvalidArgumentException 1080 Failed to parse JSON String";
    // Never written: the key reads as the empty text.
    EXPECT_EQ(Thrown([] { getBootApplyRecord(); }), refused);
    for (const std::string stored : {"", "   ", "{\"isBootComplete\":", "{} {}", "{\"isBootComplete\":false} x", "nul"}) {
        WriteKey(KEY_BOOT_APPLY_RESULT, stored);
        EXPECT_EQ(Thrown([] { getBootApplyRecord(); }), refused) << stored;
    }
    // Any single value is handed back as stored; its shape is the caller's business.
    WriteKey(KEY_BOOT_APPLY_RESULT, " [1, 2]\n");
    EXPECT_TRUE(getBootApplyRecord().IsArray());
}

TEST_F(BootApplyRecord, StoreFailures) {
    RunSql(TarnTest::Rooted(CONFIG_STORE_PATH), "DROP TABLE KVTable;");
    EXPECT_EQ(Thrown([] { getBootApplyRecord(); }),
              "ConfigStoreException 2000 Failed to read BOOT_APPLY_RESULT from database.");
    EXPECT_EQ(Thrown([] { clearBootApplyRecord(); }), "nothing thrown");  // the write is not examined
    EXPECT_EQ(Thrown([] { setBootApplyRecord("x"); }), "nothing thrown");

    TarnTest::ResetRoot();
    const std::string noStore = "ConfigStoreException 2000 Failed to connect to database";
    EXPECT_EQ(Thrown([] { clearBootApplyRecord(); }), noStore);
    EXPECT_EQ(Thrown([] { setBootApplyRecord("x"); }), noStore);
    EXPECT_EQ(Thrown([] { getBootApplyRecord(); }), noStore);
    EXPECT_EQ(Thrown([] { GetBootTimeRestoreFailures(); }), noStore);
}

// ---- Objects whose boot-time apply failed --------------------------------

using Failure = std::tuple<std::string, std::string, std::string>;

std::vector<Failure> Sorted(const std::vector<FailureRecord>& records) {
    std::vector<Failure> out;
    for (const auto& r : records) out.emplace_back(r.component, r.configGroup, r.name);
    std::sort(out.begin(), out.end());
    return out;
}

// The statements of the query, in order, whatever else the connection ran.
std::vector<std::string> QueryStatements(const TarnPlatform::Capture& capture) {
    std::vector<std::string> texts;
    for (const auto& sql : capture.Sql()) {
        if (sql.text.rfind("ATTACH", 0) == 0 || sql.text.rfind("DETACH", 0) == 0 || sql.text.rfind("SELECT c.", 0) == 0)
            texts.push_back(sql.text.substr(0, 6));
    }
    return texts;
}

class BootTimeRestoreFailures : public BootHost {
protected:
    void SetUp() override {
        BootHost::SetUp();
        TarnTest::WriteFile(TarnTest::Rooted(SCHEMA_STORE_PATH), "");
        RunSql(TarnTest::Rooted(SCHEMA_STORE_PATH), CREATE_CONFIG_SCHEMA_TABLE);
    }
    static void Schema(const std::string& component, const std::string& name, int dspIntegrated, int schemaType) {
        RunSql(TarnTest::Rooted(SCHEMA_STORE_PATH),
               "INSERT INTO ConfigSchema(Component, ConfigGroup, Name, DSPIntegrated, SchemaType) VALUES('" +
                   component + "', 'grp', '" + name + "', " + std::to_string(dspIntegrated) + ", " +
                   std::to_string(schemaType) + ");");
    }
    static void Object(const std::string& component, const std::string& name, const std::string& id, int success,
                       const char* userValue = "'{}'") {
        RunSql(TarnTest::Rooted(CONFIG_STORE_PATH),
               "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, Success, UserValue) VALUES('" + component +
                   "', 'grp', '" + name + "', '" + id + "', " + std::to_string(success) + ", " + userValue + ");");
    }
};

TEST_F(BootTimeRestoreFailures, ListsFailedAppliedObjectsOncePerInstance) {
    EXPECT_TRUE(GetBootTimeRestoreFailures().empty());
    Schema("netd", "vswitch", 1, 0);
    Object("netd", "vswitch", "", 0);
    Schema("netd", "portgroup", 1, 2);
    Object("netd", "portgroup", "pg1", 0);
    Object("netd", "portgroup", "pg2", 0);
    Object("netd", "portgroup", "pg3", 1);  // applied
    Schema("netd", "dns", 1, 0);
    Object("netd", "dns", "", 0, "NULL");  // nothing to apply
    Schema("netd", "ntp", 0, 0);           // not applied by the host
    Object("netd", "ntp", "", 0);
    Schema("netd", "syslog", 1, 1);  // a schema type not applied at boot
    Object("netd", "syslog", "", 0);
    Object("netd", "orphan", "", 0);  // no schema

    TarnPlatform::Capture capture;
    EXPECT_EQ(Sorted(GetBootTimeRestoreFailures()),
              (std::vector<Failure>{{"netd", "grp", "portgroup"}, {"netd", "grp", "portgroup"}, {"netd", "grp", "vswitch"}}));
    EXPECT_EQ(QueryStatements(capture), (std::vector<std::string>{"ATTACH", "SELECT", "DETACH"}));
    EXPECT_TRUE(capture.Logs().empty());
}

TEST_F(BootTimeRestoreFailures, QueryFailureStillDetaches) {
    RunSql(TarnTest::Rooted(SCHEMA_STORE_PATH), "DROP TABLE ConfigSchema;");
    TarnPlatform::Capture capture;
    EXPECT_EQ(Thrown([] { GetBootTimeRestoreFailures(); }),
              "ConfigStoreException 2000 Failed to read from config store.");
    EXPECT_EQ(QueryStatements(capture), (std::vector<std::string>{"ATTACH", "DETACH"}));
}

TEST_F(BootTimeRestoreFailures, AttachFailureRunsNothingElse) {
    TarnTest::ResetRoot();
    ASSERT_EQ(DBStore::CreateDatabases(), 0);  // no schema store directory: nothing to attach
    TarnPlatform::Capture capture;
    EXPECT_EQ(Thrown([] { GetBootTimeRestoreFailures(); }), "ConfigStoreException 2000 Failed to attach schema store");
    EXPECT_EQ(QueryStatements(capture), (std::vector<std::string>{"ATTACH"}));  // no query, no detach
}

} // namespace
