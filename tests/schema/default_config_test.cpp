// Default configuration: invalid defaults are named and dropped, a failing
// run leaves the store as it was; the store refresh's result.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "schema/schema_run_fixture.h"
#include "tarn/platform/schema_store.h"
#include "tarn/schema_processing.h"

using namespace SchemaRun;
using TarnConfigStore::ProcessDefaultConfiguration;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

void Register(const std::string& key, const std::string& extra) {
    TarnSchemaStore::SetSchema("f", "netd", "net", key, Entry("netd", "net", key, extra),
                               TarnSchemaStore::SchemaStore::GetStore(), false);
}

TEST(DefaultConfiguration, InvalidDefaultsAreNamedAndDroppedTheRestWritten) {
    DBStore::CreateDatabases();
    Register("ports", R"("idField": "name")");
    WriteDefaults("netd", Default("netd", "net", "ports",
                                  R"([{"name": "p1"}, {"name": "p2", "vlan": 5000}, {"name": "p3"}, {"vlan": "x"}])") +
                              "," + Default("netd", "net", "unregistered", "{}"));

    TarnPlatform::Capture capture;
    ProcessDefaultConfiguration(false, {});
    EXPECT_THAT(ConfigRows("SELECT Identifier FROM DefaultConfig ORDER BY 1;"), ElementsAre("p1", "p3"));
    const std::string path = TarnTest::Rooted("/etc/halden/default-config/") + "/netd.json";
    const auto failures = TarnTest::Texts(capture.Logs(), 0);
    ASSERT_EQ(failures.size(), 5u) << testing::PrintToString(failures);
    EXPECT_THAT(failures[0], HasSubstr("netd/net/ports, instance 'p2', at '/vlan': "));
    EXPECT_THAT(std::vector<std::string>(failures.begin() + 1, failures.begin() + 3),
                testing::UnorderedElementsAre(HasSubstr("ports, instance (\"config\" element 3), at '/vlan': "),
                                              HasSubstr("ports, instance (\"config\" element 3), at '': required")));
    EXPECT_EQ(failures[3], "Validation failed for key: ports");
    EXPECT_EQ(failures[4], "Default configuration failed '" + path + "'");
}

TEST(DefaultConfiguration, FailureHalfwayLeavesDefaultsAndConfigAsTheyWere) {
    DBStore::CreateDatabases();
    Register("vswitch", R"("mutableDefaultConfig": true)");
    WriteDefaults("netd", Default("netd", "net", "vswitch", R"({"vlan": 1})"));
    ProcessDefaultConfiguration(false, {});
    const auto before = DefaultRows();
    ASSERT_EQ(before.size(), 1u);

    // A valid value, its copy into Config, then an element without "config".
    WriteDefaults("netd", Default("netd", "net", "vswitch", R"({"vlan": 2})") +
                              R"(, {"component": "netd", "group": "net", "key": "vswitch"})");
    TarnPlatform::Capture capture;
    ProcessDefaultConfiguration(false, {TarnSchemaStore::SchemaObjectId("netd", "net", "vswitch")});
    EXPECT_THAT(TarnTest::Texts(capture.Logs(), 0), ElementsAre("DefaultConfiguration Failed Invalid JSON"));
    EXPECT_EQ(DefaultRows(), before);
    EXPECT_THAT(ConfigRows("SELECT * FROM Config;"), testing::IsEmpty());
}

TEST(RefreshConfigStore, TrueWhenSchemasAndModulesSucceed) {
    const std::string module = TARN_EXAMPLE_UPGRADE_MODULE;
    struct Case {
        std::vector<std::string> crates, modules;
        bool result;
    } cases[] = {
        {{"a_b_c_1"}, {}, true},                                   // runner answers 0
        {{"a_b_c_1"}, {module, module, module, module, module}, true},  // 5
        {{"a_b_c_1"}, {module, "/no/such.so"}, false},             // -1
        {{"nounderscore"}, {module}, false},                       // ConfigStoreException
    };
    for (const Case& c : cases) {
        TarnTest::ResetRoot();
        DBStore::CreateDatabases();
        EXPECT_EQ(TarnConfigStore::RefreshConfigStore(c.crates, c.modules), c.result) << c.modules.size();
    }
    // A schema file that fails stops the refresh before any module.
    WriteSchemaFile("x", "foreign", Entry("n", "g", "k"));
    EXPECT_FALSE(TarnConfigStore::RefreshConfigStore({"a_b_c_1"}, {module}));
    EXPECT_THAT(ConfigRows("SELECT * FROM UpgradeStatus;"), testing::IsEmpty());
}

} // namespace
