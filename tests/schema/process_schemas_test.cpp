// Registration of crates' schema files with their defaults, the SmartNIC
// split, invalid and failing defaults, and the store refresh.
#include <dirent.h>

#include <array>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/feature_list.h"
#include "tarn/schema_processing.h"

using TarnConfigStore::ProcessSchemas;
using TarnTest::Texts;
using namespace testing;

namespace {

const std::string kSchemaDir = "/usr/lib/halden/configmanager/schemas/";

std::string Entry(const std::string& group, const std::string& key, const std::string& extra = "") {
    return R"({"component": "n", "group": ")" + group + R"(", "key": ")" + key + R"(", "version": "1.0", )" + extra +
           R"( "schema": {"type": "object", "properties": {"name": {"type": "string"},
              "vlan": {"type": "integer", "maximum": 4095}, "mac": {"type": "string", "vital": true}}}})";
}
void WriteSchemaFile(const std::string& fileId, const std::string& crate, const std::string& entries) {
    TarnTest::WriteFile(TarnTest::Rooted(kSchemaDir + fileId + ".json"),
                        R"({"metadata": {"cratename": ")" + crate + R"(", "crateversion": "1.0_1"}, "data": [)" +
                            entries + "]}");
}
// A default file of elements (group, key, config) of component "n".
void WriteDefaults(const std::string& name, const std::vector<std::array<std::string, 3>>& elements) {
    std::string data;
    for (const auto& [group, key, config] : elements)
        data += (data.empty() ? "" : ",") + (R"({"component": "n", "group": ")" + group + R"(", "key": ")" + key +
                                             R"(", "config": )" + config + "}");
    TarnTest::WriteFile(TarnTest::Rooted("/etc/halden/default-config/" + name + ".json"),
                        R"({"data": [)" + data + "]}");
}
std::vector<std::string> Rows(const std::string& sql, bool schemaStore = false) {
    return TarnTest::Query(TarnTest::Rooted(schemaStore ? "/etc/halden/schemastore/schema-store-1"
                                                        : "/etc/halden/configstore/current-store-1"), sql);
}
std::vector<std::string> DefaultRows() {
    return Rows("SELECT ConfigGroup, Name, Identifier, Value, VitalValue FROM DefaultConfig ORDER BY 1, 2, 3;");
}

TEST(ProcessSchemas, RegistersNewFilesOnceCopiesNewMutableDefaultsAndDropsGoneFiles) {
    const std::vector<std::string> crates = {"acme_crate_netd_1.0-1", "acme_crate_disk_1.0-1"};
    DBStore::CreateDatabases();
    WriteSchemaFile("netd", "netd", Entry("net", "trunk", R"("mutableDefaultConfig": true,)") + "," +
                                        Entry("net", "ports", R"("idField": "name",)"));
    WriteSchemaFile("disk", "disk", Entry("disk", "cache"));
    WriteDefaults("netd", {{"net", "trunk", R"({"vlan": 1, "mac": "m"})"},
                           {"net", "ports", R"([{"name": "p1"}, {"name": "p2", "vlan": 2}])"}});
    WriteDefaults("disk", {{"disk", "cache", R"({"vlan": 3})"}});
    TarnTest::WriteFile(TarnTest::Rooted(kSchemaDir + ".json"), "");  // no file ID: skipped

    EXPECT_TRUE(ProcessSchemas(crates));
    EXPECT_THAT(Rows("SELECT Name, CrateId FROM ConfigSchema ORDER BY 1;", true),
                ElementsAre("cache|disk", "ports|netd", "trunk|netd"));
    const std::vector<std::string> defaults = {"disk|cache||{\"vlan\":3}|", "net|ports|p1|{\"name\":\"p1\"}|",
                                               "net|ports|p2|{\"name\":\"p2\",\"vlan\":2}|",
                                               "net|trunk||{\"vlan\":1}|{\"mac\":\"m\"}"};
    EXPECT_THAT(DefaultRows(), ElementsAreArray(defaults));
    // Only the mutable-default object registered by this run becomes current.
    EXPECT_THAT(Rows("SELECT Name, UserValue, VitalValue FROM Config;"),
                ElementsAre("trunk|{\"vlan\":1}|{\"mac\":\"m\"}"));

    // Again: nothing is read twice, a user's change stays, a file gone takes its objects.
    Rows("UPDATE Config SET UserValue = '{\"vlan\":9}';");
    std::remove(TarnTest::Rooted(kSchemaDir + "disk.json").c_str());
    TarnPlatform::Capture capture;
    EXPECT_TRUE(ProcessSchemas(crates));
    EXPECT_THAT(Texts(capture.Logs()), Not(Contains(HasSubstr("Processing schema from"))));
    EXPECT_THAT(Texts(capture.Logs()), Contains("[SchemaProcessor] Schema processing completed"));
    EXPECT_THAT(DefaultRows(), ElementsAre(defaults[1], defaults[2], defaults[3]));
    EXPECT_THAT(Rows("SELECT UserValue FROM Config;"), ElementsAre("{\"vlan\":9}"));
    // Under a new file name the objects are not new: the user's change still stays.
    std::rename(TarnTest::Rooted(kSchemaDir + "netd.json").c_str(), TarnTest::Rooted(kSchemaDir + "netd2.json").c_str());
    EXPECT_TRUE(ProcessSchemas(crates));
    EXPECT_THAT(Rows("SELECT UserValue FROM Config;"), ElementsAre("{\"vlan\":9}"));
}

TEST(ProcessSchemas, CrateListStopsAtTheFirstForeignFileAndStillWritesDefaults) {
    DBStore::CreateDatabases();
    for (const char* id : {"a", "b", "c"}) WriteSchemaFile(id, "disk", Entry(id, "key"));
    std::vector<std::string> order;  // the directory's own order decides what comes after the foreign file
    DIR* dir = opendir(TarnTest::Rooted(kSchemaDir).c_str());
    while (const dirent* e = readdir(dir))
        if (e->d_name[0] != '.') order.push_back(std::string(e->d_name, 1));
    closedir(dir);
    WriteSchemaFile(order[1], "other", Entry(order[1], "key"));
    WriteDefaults("all", {{"a", "key", "{}"}, {"b", "key", "{}"}, {"c", "key", "{}"}});

    TarnPlatform::Capture capture;
    EXPECT_FALSE(ProcessSchemas({"acme_crate_disk_1.0-1"}));
    EXPECT_THAT(TarnTest::Events(capture), ElementsAre("evt.user.cs.schema.file.error " + order[1] + ".json: Error processing schema file " + order[1] + ".json."));
    EXPECT_THAT(Rows("SELECT ConfigGroup FROM ConfigSchema;", true), ElementsAre(order[0]));
    EXPECT_THAT(DefaultRows(), ElementsAre(order[0] + "|key||{}|"));
    EXPECT_THAT(Texts(capture.Logs()), Not(Contains("[SchemaProcessor] Schema processing completed")));
}

// The boot's run (crates from the image database): a file whose schema is
// beyond a limit is logged with its name and the limit, and the files
// beside it are registered with their defaults.
TEST(ProcessSchemas, SchemaBeyondALimitIsLoggedAndTheBootGoesOnWithTheOtherFiles) {
    DBStore::CreateDatabases();
    TarnTest::WriteFile(TarnTest::Rooted("/var/db/tarnimg/profiles/p.xml"),
                        "<imageprofile><cratelist><crate><crate-id>acme_crate_disk_1.0-1</crate-id></crate>"
                        "</cratelist></imageprofile>");
    TarnTest::WriteFile(TarnTest::Rooted("/var/run/liveimgdb.pid"), "");
    std::string defs;
    for (int i = 0; i < 70; ++i)
        defs += "\"d" + std::to_string(i) + R"(": {"allOf": [{"$ref": "#/definitions/d)" + std::to_string(i + 1) + "\"}]}, ";
    WriteSchemaFile("a", "disk", Entry("a", "key"));
    WriteSchemaFile("deep", "disk", Entry("a", "other") + "," +
                                        R"({"component": "n", "group": "a", "key": "deep", "version": "1.0", "schema":
                                           {"$ref": "#/definitions/d0", "definitions": {)" + defs + R"("d70": {}}}})");
    WriteSchemaFile("z", "disk", Entry("z", "key"));
    // An entry without its group ends the reading of its file; the entries before it stay.
    WriteSchemaFile("y", "disk", Entry("y", "key") + R"(, {"component": "n", "key": "k"}, )" + Entry("y", "after"));
    WriteDefaults("all", {{"a", "key", R"({"vlan": 1})"}, {"a", "deep", "{}"}, {"z", "key", R"({"vlan": 2})"}});

    TarnPlatform::Capture capture;
    ProcessSchemas({});  // true or false as the directory's last file went
    EXPECT_THAT(Texts(capture.Logs()),
                Contains(AllOf(StartsWith("[SchemaProcessor] Failed to process schema file deep.json: "),
                               HasSubstr("Schema entry n/a/deep of file deep refused"),
                               HasSubstr("the limit is 64"))));
    // The file is refused whole: its good entry goes with it.
    EXPECT_THAT(Rows("SELECT ConfigGroup, Name FROM ConfigSchema ORDER BY 1, 2;", true), ElementsAre("a|key", "y|key", "z|key"));
    EXPECT_THAT(DefaultRows(), ElementsAre("a|key||{\"vlan\":1}|", "z|key||{\"vlan\":2}|"));
}

TEST(ProcessSchemas, SmartnicSplitByFlagHostAndEntryKind) {
    const std::string entries = Entry("g", "plain") + "," +
                                Entry("g", "shared", R"("smartnic": {"schema": "tarn-shared"},)") + "," +
                                Entry("g", "only", R"("smartnic": {"schema": "tarnio-only"},)") + "," +
                                Entry("g", "other", R"("smartnic": {"schema": "elsewhere"},)");
    const struct {
        bool flag, tarnio;
        std::vector<std::string> registered;
    } cases[] = {{false, false, {"only", "other", "plain", "shared"}},
                 {false, true, {"only", "other", "plain", "shared"}},
                 {true, false, {"plain", "shared"}},
                 {true, true, {"only", "shared"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Message() << "flag " << c.flag << " tarnio " << c.tarnio);
        TarnTest::ResetRoot();
        DBStore::CreateDatabases();
        TarnPlatform::SetFeature(TarnPlatform::FEATURE_SMARTNIC, c.flag);
        if (c.tarnio) TarnTest::WriteFile(TarnTest::Rooted("/etc/.tarnio"), "");
        WriteSchemaFile("split", "netd", entries);
        TarnTest::WriteFile(TarnTest::Rooted("/etc/halden/default-config/split.json"),
                            R"({"data": [{"component": "n", "group": "g", "key": "shared", "config": {"vlan": 1},
                                          "tarnio_config": {"vlan": 2}}]})");
        EXPECT_TRUE(ProcessSchemas({"a_b_netd_1.0-1"}));
        EXPECT_THAT(Rows("SELECT Name FROM ConfigSchema ORDER BY 1;", true), ElementsAreArray(c.registered));
        EXPECT_THAT(Rows("SELECT Value FROM DefaultConfig;"), ElementsAre(c.tarnio ? "{\"vlan\":2}" : "{\"vlan\":1}"));
    }
    TarnPlatform::SetFeature(TarnPlatform::FEATURE_SMARTNIC, false);
}

TEST(DefaultConfiguration, InvalidDefaultsAreNamedAndDroppedTheRestWritten) {
    DBStore::CreateDatabases();
    WriteSchemaFile("f", "netd", Entry("net", "ports", R"("idField": "name",)"));
    WriteDefaults("netd", {{"net", "ports", R"([{"name": "p1"}, {"name": "p2", "vlan": 5000}, {"name": "p3"},
                                                 {"vlan": "x"}])"},
                           {"net", "unregistered", "{}"}});
    ProcessSchemas({"a_b_netd_1.0-1"});
    EXPECT_THAT(Rows("SELECT Identifier FROM DefaultConfig ORDER BY 1;"), ElementsAre("p1", "p3"));
    const std::string log = TarnTest::ReadFile(TarnTest::Rooted("/var/log/configstore.log"));
    const std::string ports = "[0] Invalid default for n/net/ports, instance ";
    for (const std::string& part : {ports + "'p2', at '/vlan': maximum", ports + "(\"config\" element 3), at '/vlan': ",
                                    ports + "(\"config\" element 3), at '': required",
                                    std::string("[0] Validation failed for key: ports\n"),
                                    "[0] Default configuration failed '" +
                                        TarnTest::Rooted("/etc/halden/default-config/")})
        EXPECT_THAT(log, HasSubstr(part));
}

TEST(DefaultConfiguration, FailureHalfwayLeavesDefaultsAndConfigAsTheyWere) {
    DBStore::CreateDatabases();
    WriteSchemaFile("f", "netd", Entry("net", "trunk", R"("mutableDefaultConfig": true,)"));
    WriteDefaults("netd", {{"net", "trunk", R"({"vlan": 1})"}});
    ProcessSchemas({"a_b_netd_1.0-1"});
    const auto before = DefaultRows();
    Rows("DELETE FROM Config;");
    // A valid value and its copy into Config, then an element without "config".
    TarnTest::WriteFile(TarnTest::Rooted("/etc/halden/default-config/netd.json"),
                        R"({"data": [{"component": "n", "group": "net", "key": "trunk", "config": {"vlan": 2}},
                                     {"component": "n", "group": "net", "key": "trunk"}]})");
    TarnPlatform::Capture capture;
    TarnConfigStore::ProcessDefaultConfiguration(false, {TarnSchemaStore::SchemaObjectId("n", "net", "trunk")});
    EXPECT_THAT(Texts(capture.Logs(), 0), ElementsAre("DefaultConfiguration Failed Invalid JSON"));
    EXPECT_EQ(DefaultRows(), before);
    EXPECT_THAT(Rows("SELECT * FROM Config;"), IsEmpty());
    std::rename(TarnTest::Rooted("/etc/halden/default-config").c_str(), TarnTest::Rooted("/etc/halden/gone").c_str());
    TarnConfigStore::ProcessDefaultConfiguration(false, {});  // without its directory the table stays
    EXPECT_THAT(Texts(capture.Logs(), 0), Contains(HasSubstr("Failed to open ")));
    EXPECT_EQ(DefaultRows(), before);
}

TEST(RefreshConfigStore, TrueWhenSchemasAndModulesSucceed) {
    const std::string m = TARN_EXAMPLE_UPGRADE_MODULE;
    const struct {
        std::string crate;
        std::vector<std::string> modules;
        bool result;
    } cases[] = {{"a_b_c_1", {}, true},                          // the runner answers 0
                 {"a_b_c_1", {m, m, m, m, m}, true},             // 5
                 {"a_b_c_1", {m, "/no/such.so"}, false},         // -1
                 {"_a", {}, true},                               // a leading underscore counts twice
                 {"nounderscore", {m}, false}};                  // ConfigStoreException
    for (const auto& c : cases) {
        TarnTest::ResetRoot();
        DBStore::CreateDatabases();
        EXPECT_EQ(TarnConfigStore::RefreshConfigStore({c.crate}, c.modules), c.result) << c.modules.size();
    }
}

} // namespace
