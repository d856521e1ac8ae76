// Desired configuration stored for the next boot, then applied by the load:
// for each boot mode, Config's layers and revisions afterwards.
#include "boot/load_store_fixture.h"
#include "tarn/boot_plan.h"
#include "tarn/db_connection.h"
#include "tarn/desired_config.h"
#include "tarn/json_doc.h"

namespace {

using namespace LoadStoreTest;
using testing::ElementsAre;

class DesiredBoot : public LoadStoreHost {
protected:
    void SetUp() override {
        LoadStoreHost::SetUp();
        Register("net", "sw", "switches", R"("idField": "name", "dspIntegrated": true, "mutableDefaultConfig": true,
            "smartnic": {"schema": "tarn-shared"}, "schema": {"type": "object", "properties": {
            "name": {"type": "string"}, "mtu": {"type": "integer"}}})");
        Register("net", "nic", "nics", R"("idField": "dev", "kind": "fixed-instances", "fixedInstances": ["n0"],
            "dspIntegrated": true, "schema": {"type": "object", "properties": {"dev": {"type": "string"}}})");
        Register("net", "nic", "ports", R"("idField": "p", "kind": "fixed-instances", "fixedInstances": ["p0"],
            "mutableDefaultConfig": true, "schema": {"type": "object", "properties": {"p": {"type": "string"}}})");
        Register("st", "iscsi", "adapters", R"("idField": "a", "dspIntegrated": true, "preserveNonUser": true,
            "smartnic": {"schema": "tarn-shared"}, "schema": {"type": "object", "properties": {
            "a": {"type": "string"}, "iqn": {"type": "string", "vital": true}}})");
        Register("net", "sw", "global", R"("schema": {"properties": {"mtu": {"type": "integer"}}})");
        RunSql(Store(), R"(INSERT INTO Config(Component, ConfigGroup, Name, Identifier, UserValue, VitalValue) VALUES
            ('net', 'sw', 'switches', 'old', '{"name":"old"}', NULL), ('net', 'nic', 'nics', 'n0', '{"dev":"n0"}', 'v'),
            ('net', 'nic', 'nics', 'n1', '{"dev":"n1"}', NULL), ('st', 'iscsi', 'adapters', 'i0', '{"a":"i0"}', 'v');
            INSERT INTO DefaultConfig(Component, ConfigGroup, Name, Identifier, Value) VALUES
            ('net', 'sw', 'switches', 's0', '{"name":"s0"}'), ('net', 'nic', 'ports', 'p0', '{}'),
            ('net', 'nic', 'ports', 'p1', '{}');)");
    }
    rapidjson::Document& Doc(const std::string& text) {
        return *(docs.emplace_back(TarnConfigStore::CreateDocumentFromString(text))->document);
    }
    std::vector<std::shared_ptr<TarnConfigStore::JsonDoc>> docs;
    static constexpr char kStored[] = "SELECT hex(Component||Name||Identifier||Value)||BootAction FROM "
                                      "DesiredUserConfig ORDER BY 1; SELECT Key, Value FROM KVTable ORDER BY 1;";
    // "component/group/name[identifier]|user|vital|revision" of the objects of this suite.
    static std::vector<std::string> Rows() {
        return TarnTest::Query(Store(), "SELECT Component||'/'||ConfigGroup||'/'||Name||'['||Identifier||']', "
                                        "UserValue, VitalValue, Revision FROM Config WHERE Component IN ('net', 'st') "
                                        "ORDER BY 1;");
    }
    // Plans the next boot, boots, and checks that the plan left the store's
    // bytes alone and showed the boot's changes row for row; returns them as
    // "sign object[identifier] user|vital|cached".
    static std::vector<std::string> PlanThenBoot() {
        const std::string bytes = TarnTest::ReadFile(Store());
        const auto read = [] {
            return TarnConfigStore::ReadConfigLayers(TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true));
        };
        const auto before = read();
        const auto plan = TarnConfigStore::PlanNextBoot(false);
        EXPECT_EQ(TarnTest::ReadFile(Store()), bytes);
        EXPECT_EQ(TarnConfigStore::LoadStore(false), 0);
        const auto changes = Render(plan.changes);
        EXPECT_EQ(changes, Render(TarnConfigStore::DiffConfigLayers(before, read())));
        return changes;
    }
    static std::vector<std::string> Render(const std::vector<TarnConfigStore::ConfigRowChange>& changes) {
        std::vector<std::string> out;
        for (const auto& c : changes) {
            std::string line = "+~-"[static_cast<int>(c.kind)] + c.component + "/" + c.name + "[" + c.identifier + "]";
            for (size_t i = 0; i < 3; ++i)
                line += (i ? "|" : " ") + c.before[i].value_or("NULL") + ">" + c.after[i].value_or("NULL");
            out.push_back(line);
        }
        return out;
    }
};

// Mode 3: SET adds an instance, SET_DEFAULT (omitted shared object with
// mutable defaults) puts the defaults back, DELETE (omitted shared object)
// removes every instance.
TEST_F(DesiredBoot, SmartnicBootAppliesEachBootAction) {
    auto& doc = Doc(R"({"net": {"nic": {"nics": [{"dev": "n7"}]}}})");
    TarnConfigStore::SetDesiredSmartnicConfiguration(doc);
    EXPECT_EQ(StoredKey("BOOT_MODE"), "3");
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);
    EXPECT_THAT(Rows(), ElementsAre("net/nic/nics[n0]|{\"dev\":\"n0\"}|v|2", "net/nic/nics[n1]|{\"dev\":\"n1\"}|NULL|2",
                                    "net/nic/nics[n7]|{\"dev\":\"n7\"}|NULL|2", "net/sw/switches[s0]|{\"name\":\"s0\"}|NULL|1"));
    // Named "DELETE_DEFAULT": a DELETE, the defaults go too.
    TarnConfigStore::SetDesiredSmartnicConfiguration(Doc(R"({"net": {"nic": {"nics": []}, "sw": {"switches": "DELETE_DEFAULT"}}})"));
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);
    EXPECT_THAT(Rows(), testing::Not(testing::Contains(testing::HasSubstr("switches"))));
}

// Mode 2: good objects (and instances before a failing one) are written, each bad one logged and skipped.
TEST_F(DesiredBoot, BootDocumentWritesTheGoodObjectsAndSkipsTheBadOnes) {
    TarnTest::WriteFile(TarnTest::Rooted("/etc/halden/boot_configuration.json"),
                        R"({"profile": {"x": 1, "net": {"bad": "group", "sw": {"switches": [{"name": "s1"}],
                            "global": [{"mtu": 1}, {}]}, "nic": {"nics": [{"dev": "n0"}, {"dev": "n9"}]}},
                            "st": {"iscsi": {"adapters": [{"a": 5}]}}, "zz": {"g": {"k": {}, "l": []}}}})");
    WriteKey("BOOT_MODE", "2");
    RunSql(Store(), "CREATE TRIGGER refuse BEFORE INSERT ON Config WHEN NEW.Identifier = 'n9' BEGIN SELECT RAISE(ABORT, 'no'); END;");
    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);
    EXPECT_THAT(Rows(), ElementsAre("net/nic/nics[n0]|{\"dev\":\"n0\"}|v|3", "net/nic/nics[n1]|{\"dev\":\"n1\"}|NULL|2",
                                    "net/sw/switches[s1]|{\"name\":\"s1\"}|NULL|2", "st/iscsi/adapters[i0]|{\"a\":\"i0\"}|v|2"));
    // A singleton takes one value: an array is refused, not written element by element.
    EXPECT_THAT(Texts(capture.Logs(), 0), testing::IsSupersetOf({"/x is invalid, skipping", "/net/bad is invalid, skipping",
        "Validation failed for /st/iscsi/adapters, skipping", "/zz/g/k is empty, skipping", "/zz/g/l is empty, skipping",
        "Write user config failed: /net/nic/nics, skipping",
        "Validation Error: '/net/sw/global' type: expected object, found array",
        "Validation failed for /net/sw/global, skipping"}));
}

// Mode 1: a desired row without identifier applies to every instance of its
// object (here the vital layer; preserveNonUser keeps the rows).
TEST_F(DesiredBoot, PlanAgreesWithModeOneAndARowWithoutIdentifierAppliesToEveryInstance) {
    RunSql(Store(), R"(INSERT INTO Config(Component, ConfigGroup, Name, Identifier, UserValue) VALUES
        ('st', 'iscsi', 'adapters', 'i1', '1');
        INSERT INTO DesiredUserConfig(Component, ConfigGroup, Name, Identifier, Value, VitalValue, BootAction) VALUES
        ('st', 'iscsi', 'adapters', '', NULL, 'w', 'SET'), ('net', 'sw', 'switches', 's1', '2', NULL, 'SET');)");
    WriteKey("BOOT_MODE", "1");
    EXPECT_THAT(PlanThenBoot(), ElementsAre("-net/nics[n1] {\"dev\":\"n1\"}>NULL|NULL>NULL|NULL>NULL",
        "-net/switches[old] {\"name\":\"old\"}>NULL|NULL>NULL|NULL>NULL",
        "+net/switches[s1] NULL>2|NULL>NULL|NULL>NULL",
        "-network/servers[] {\"a\":1}>NULL|NULL>NULL|NULL>NULL", "+st/adapters[] NULL>NULL|NULL>w|NULL>NULL",
        "~st/adapters[i0] {\"a\":\"i0\"}>NULL|v>w|NULL>NULL", "~st/adapters[i1] 1>NULL|NULL>w|NULL>NULL",
        "~system/uptime[] NULL>{\"s\":5}|NULL>NULL|NULL>NULL"));
}

// Mode 3 on a shared object: a SET on an existing instance sets it in place,
// instances no row names go.
TEST_F(DesiredBoot, PlanAgreesWithModeThreeOnASharedObject) {
    RunSql(Store(), "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, UserValue) VALUES "
                    "('net', 'sw', 'switches', 'gone', '1');");
    TarnConfigStore::SetDesiredSmartnicConfiguration(
        Doc(R"({"net": {"sw": {"switches": [{"name": "old", "mtu": 1}, {"name": "s2"}]}}})"));
    EXPECT_THAT(PlanThenBoot(), ElementsAre("-net/switches[gone] 1>NULL|NULL>NULL|NULL>NULL",
        "~net/switches[old] {\"name\":\"old\"}>{\"name\":\"old\",\"mtu\":1}|NULL>NULL|NULL>NULL",
        "+net/switches[s2] NULL>{\"name\":\"s2\"}|NULL>NULL|NULL>NULL",
        "~network/servers[] {\"a\":1}>{\"a\":2}|NULL>NULL|NULL>NULL",
        "-st/adapters[i0] {\"a\":\"i0\"}>NULL|v>NULL|NULL>NULL", "~system/uptime[] NULL>{\"s\":5}|NULL>NULL|NULL>NULL"));
}

// A refused document leaves the stored desired rows and the boot mode as
// they were; identifiers that reach a statement are stored verbatim.
TEST_F(DesiredBoot, RefusedDocumentsChangeNothingAndHostileIdentifiersArriveVerbatim) {
    // Sorted as the database sorts them; each as it stands in the document.
    const std::vector<std::string> names = {"\"q\"", "O'Brien", std::string(10000, 'a'), "x'); DROP TABLE Config; --"};
    auto& doc = Doc(R"({"profile": {"net": {"sw": {"switches": [{"name": "\"q\""}, {"name": "O'Brien"}, {"name": ")" +
                    names[2] + R"("}, {"name": "x'); DROP TABLE Config; --"}]}}}})");
    TarnConfigStore::SetDesiredUserConfig(doc);
    EXPECT_THAT(TarnTest::Query(Store(), "SELECT Identifier FROM DesiredUserConfig WHERE Identifier IN ('s0', 'p0', 'p1');"),
                ElementsAre("p1"));  // the defaults of an object left out, but for its fixed instances
    const auto stored = TarnTest::Query(Store(), kStored);
    auto& unknown = Doc(R"({"profile": {"net": {"sw": {"switches": [{"name": "s"}], "nope": {}}}}})");
    auto& invalid = Doc(R"({"a": 1, "net": {"sw": {"switches": [{"name": 1}, {"name": 2}]}, "nic": {"nics": [{"dev": 3}]}}})");
    EXPECT_EQ(TarnTest::Thrown([&] { TarnConfigStore::SetDesiredUserConfig(unknown); }),
              "ConfigStoreException 2000 SetDesiredUserConfig failed: No schema registered for net/sw/nope");
    auto& singletonArray = Doc(R"({"net": {"sw": {"global": [{"mtu": 1}]}}})");
    TarnPlatform::Capture capture;
    for (rapidjson::Document* refused : {&invalid, &singletonArray})
        EXPECT_THAT(TarnTest::Thrown([&] { TarnConfigStore::SetDesiredSmartnicConfiguration(*refused); }),
                    testing::HasSubstr("SetDesiredSmartnicConfiguration failed: Failed to validate smartnic"));
    // Every failing object and instance is named, not only the first.
    EXPECT_THAT(Texts(capture.Logs(), 0), testing::AllOf(testing::Contains(testing::HasSubstr("switches/1/name")),
        testing::IsSupersetOf({"Validation failed for configuration {a}", "Validation failed for configuration {net/nic/nics}"})));
    EXPECT_EQ(TarnTest::Query(Store(), kStored), stored);
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);
    EXPECT_EQ(TarnTest::Query(Store(), "SELECT Identifier FROM Config WHERE Name = 'switches' ORDER BY 1;"), names);
}

// A big document's rows are made on a helper thread while they are written:
// every row arrives, and an error in the middle still refuses the whole.
TEST_F(DesiredBoot, BigDocumentsStoreEveryRowOrNone) {
    const auto big = [this](const std::string& middle, const std::string& after) -> rapidjson::Document& {
        std::string text = R"({"profile": {"net": {"sw": {"switches": [)";
        for (int i = 0; i < 3000; ++i)
            text += (i ? ", " : "") + (i == 1200 && !middle.empty() ? middle : R"({"name": "s)" + std::to_string(i) +
                                                                                 R"(", "mtu": )" + std::to_string(i) + "}");
        return Doc(text + "]" + after + "}}}}");
    };
    TarnConfigStore::SetDesiredUserConfig(big("", ""));
    const char kSummary[] = "SELECT count(DISTINCT Identifier), sum(json_extract(Value, '$.mtu')) FROM DesiredUserConfig "
                            "WHERE Name = 'switches' AND BootAction = 'SET';";
    EXPECT_THAT(TarnTest::Query(Store(), kSummary), ElementsAre("3000|4498500"));
    const auto stored = TarnTest::Query(Store(), kStored);
    EXPECT_EQ(TarnTest::Thrown([&] { TarnConfigStore::SetDesiredUserConfig(big("", R"(, "nope": {})")); }),
              "ConfigStoreException 2000 SetDesiredUserConfig failed: No schema registered for net/sw/nope");
    EXPECT_EQ(TarnTest::Thrown([&] { TarnConfigStore::SetDesiredUserConfig(big(R"({"mtu": 1})", "")); }),
              "ConfigStoreException 2000 SetDesiredUserConfig failed: Invalid value for key name");
    // A row that cannot be written stops the helper, wherever it is, and
    // decides over a later row that cannot be made, as on one thread.
    RunSql(Store(), "CREATE TRIGGER refuse BEFORE INSERT ON DesiredUserConfig WHEN NEW.Identifier = 's1100' "
                    "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    for (const char* middle : {"", R"({"mtu": 1})"})
        EXPECT_EQ(TarnTest::Thrown([&] { TarnConfigStore::SetDesiredUserConfig(big(middle, "")); }),
                  "ConfigStoreException 2000 SetDesiredUserConfig failed: Write desired config failed");
    EXPECT_EQ(TarnTest::Query(Store(), kStored), stored);
}

} // namespace
