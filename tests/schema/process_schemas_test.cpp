// Registration of crates' schema files: the run over the schema directory,
// the stop at a foreign file and the SmartNIC split.
#include <dirent.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "schema/schema_run_fixture.h"
#include "tarn/platform/feature_list.h"
#include "tarn/schema_processing.h"

using namespace SchemaRun;
using TarnConfigStore::ProcessSchemas;
using testing::Contains;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

namespace {

const std::vector<std::string> kCrates = {"acme_crate_netd_1.0-1", "acme_crate_store_1.0-1"};

TEST(ProcessSchemas, RegistersNewFilesOnceCopiesNewMutableDefaultsAndDropsGoneFiles) {
    DBStore::CreateDatabases();
    WriteSchemaFile("netd", "netd", Entry("netd", "net", "vswitch", R"("mutableDefaultConfig": true)") + "," +
                                         Entry("netd", "net", "ports", R"("idField": "name")"));
    WriteSchemaFile("store", "store", Entry("store", "disk", "cache"));
    WriteDefaults("netd", Default("netd", "net", "vswitch", R"({"vlan": 1, "mac": "m"})") + "," +
                              Default("netd", "net", "ports", R"([{"name": "p1"}, {"name": "p2", "vlan": 2}])"));
    WriteDefaults("store", Default("store", "disk", "cache", R"({"vlan": 3})"));

    EXPECT_TRUE(ProcessSchemas(kCrates));
    EXPECT_THAT(SchemaRows("SELECT Component, Name, CrateId FROM ConfigSchema ORDER BY 1, 2;"),
                ElementsAre("netd|ports|netd", "netd|vswitch|netd", "store|cache|store"));
    const std::vector<std::string> defaults = {"netd|net|ports|p1|{\"name\":\"p1\"}||1.0",
                                               "netd|net|ports|p2|{\"name\":\"p2\",\"vlan\":2}||1.0",
                                               "netd|net|vswitch||{\"vlan\":1}|{\"mac\":\"m\"}|1.0",
                                               "store|disk|cache||{\"vlan\":3}||1.0"};
    EXPECT_THAT(DefaultRows(), ElementsAreArray(defaults));
    // Only the mutable-default object registered by this run becomes current.
    EXPECT_THAT(ConfigRows("SELECT Name, UserValue, VitalValue FROM Config;"),
                ElementsAre("vswitch|{\"vlan\":1}|{\"mac\":\"m\"}"));

    // Second run: nothing is read again, a user's change stays, a file gone takes its objects.
    ConfigRows("UPDATE Config SET UserValue = '{\"vlan\":9}';");
    std::remove(TarnTest::Rooted("/usr/lib/halden/configmanager/schemas/store.json").c_str());
    TarnPlatform::Capture capture;
    EXPECT_TRUE(ProcessSchemas(kCrates));
    EXPECT_THAT(TarnTest::Texts(capture.Logs()), Not(Contains(HasSubstr("Processing schema from"))));
    EXPECT_THAT(TarnTest::Texts(capture.Logs()), Contains("[SchemaProcessor] IDs from dir: netd "));
    EXPECT_THAT(SchemaRows("SELECT Name FROM ConfigSchema ORDER BY 1;"), ElementsAre("ports", "vswitch"));
    EXPECT_THAT(DefaultRows(), ElementsAre(defaults[0], defaults[1], defaults[2]));
    EXPECT_THAT(ConfigRows("SELECT Name, UserValue FROM Config;"), ElementsAre("vswitch|{\"vlan\":9}"));
}

// The schema directory's own order decides which files come after the foreign one.
std::vector<std::string> DirectoryOrder() {
    std::vector<std::string> names;
    DIR* dir = opendir(TarnTest::Rooted("/usr/lib/halden/configmanager/schemas").c_str());
    while (const dirent* e = readdir(dir))
        if (e->d_name[0] != '.') names.push_back(std::string(e->d_name).substr(0, 1));
    closedir(dir);
    return names;
}

TEST(ProcessSchemas, CrateListStopsAtTheFirstForeignFileAndStillWritesDefaults) {
    DBStore::CreateDatabases();
    for (const char* id : {"a", "b", "c"}) WriteSchemaFile(id, "store", Entry("store", id, "key"));
    const std::vector<std::string> order = DirectoryOrder();
    WriteSchemaFile(order[1], "other", Entry("store", order[1], "key"));
    WriteDefaults("all", Default("store", "a", "key", "{}") + "," + Default("store", "b", "key", "{}") + "," +
                             Default("store", "c", "key", "{}"));

    TarnPlatform::Capture capture;
    EXPECT_FALSE(ProcessSchemas({"acme_crate_store_1.0-1"}));
    EXPECT_THAT(TarnTest::Events(capture), ElementsAre("evt.user.cs.schema.file.error " + order[1] + ".json"));
    EXPECT_THAT(TarnTest::Texts(capture.Logs(), 0),
                testing::IsSupersetOf({"[SchemaProcessor] Metadata other_1.0-1 in schema file " + order[1] +
                                           ".json does not have a match in CRATE list",
                                       "[SchemaProcessor] Schema file " + order[1] + ".json validation error"}));
    EXPECT_THAT(TarnTest::Texts(capture.Logs()), Not(Contains(HasSubstr(order[2] + ".json"))));
    EXPECT_THAT(SchemaRows("SELECT ConfigGroup FROM ConfigSchema;"), ElementsAre(order[0]));
    EXPECT_THAT(DefaultRows(), ElementsAre("store|" + order[0] + "|key||{}||1.0"));
}

TEST(ProcessSchemas, SmartnicSplitByFlagHostAndEntryKind) {
    const std::string entries = Entry("n", "g", "plain") + "," +
                                Entry("n", "g", "shared", R"("smartnic": {"schema": "tarn-shared"})") + "," +
                                Entry("n", "g", "only", R"("smartnic": {"schema": "tarnio-only"})") + "," +
                                Entry("n", "g", "other", R"("smartnic": {"schema": "elsewhere"})");
    struct Case {
        bool flag, tarnio;
        std::vector<std::string> registered;
        const char* sharedDefault;
    } cases[] = {
        {false, false, {"only", "other", "plain", "shared"}, R"({"vlan":1})"},
        {false, true, {"only", "other", "plain", "shared"}, R"({"vlan":2})"},
        {true, false, {"plain", "shared"}, R"({"vlan":1})"},
        {true, true, {"only", "shared"}, R"({"vlan":2})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flag " << c.flag << " tarnio " << c.tarnio);
        TarnTest::ResetRoot();
        DBStore::CreateDatabases();
        TarnPlatform::SetFeature(TarnPlatform::FEATURE_SMARTNIC, c.flag);
        if (c.tarnio) TarnTest::WriteFile(TarnTest::Rooted("/etc/.tarnio"), "");
        WriteSchemaFile("split", "netd", entries);
        WriteDefaults("split", R"({"component": "n", "group": "g", "key": "shared", "config": {"vlan": 1},
                                   "tarnio_config": {"vlan": 2}})");
        EXPECT_TRUE(ProcessSchemas({"a_b_netd_1.0-1"}));
        EXPECT_THAT(SchemaRows("SELECT Name FROM ConfigSchema ORDER BY 1;"), ElementsAreArray(c.registered));
        EXPECT_THAT(ConfigRows("SELECT Value FROM DefaultConfig;"), ElementsAre(c.sharedDefault));
    }
    TarnPlatform::SetFeature(TarnPlatform::FEATURE_SMARTNIC, false);
}

} // namespace
