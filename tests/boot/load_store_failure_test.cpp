// How the load contains failures: inside the desired-configuration step the
// transaction is cancelled and the load goes on; anything else ends the load
// with one failure alert and leaves the store as the earlier steps left it.
#include <filesystem>
#include <syslog.h>

#include "boot/load_store_fixture.h"

namespace LoadStoreTest {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::StartsWith;

using LoadStoreFailure = LoadStoreHost;

constexpr char kDesiredEvent[] = "evt.user.cs.desired.config.error";
const TarnPlatform::CapturedLine kStoiFailure{LOG_ERR, "Generic ConfigStore Failure: stoi"};

// The load's own failure lines, without the database service's.
std::vector<std::string> LoadFailures(const TarnPlatform::Capture& capture) {
    std::vector<std::string> lines;
    for (const std::string& text : Texts(capture.Logs(), 0))
        if (text.rfind("DBStore: ", 0) != 0) lines.push_back(text);
    return lines;
}

size_t CountEvents(const TarnPlatform::Capture& capture, const std::string& id) {
    size_t n = 0;
    for (const auto& e : capture.Events()) n += e.id == id;
    return n;
}

TEST_F(LoadStoreFailure, AFailingPromotionIsRolledBackAndTheLoadGoesOn) {
    // The promotion fails at its last row, after it changed the others.
    RunSql(Store(), "CREATE TRIGGER boom AFTER UPDATE OF UserValue ON Config WHEN NEW.Component = 'system' "
                    "BEGIN SELECT RAISE(FAIL, 'boom'); END;");
    const auto before = ConfigRows();
    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);

    EXPECT_EQ(ConfigRows(), before);
    EXPECT_THAT(LoadFailures(capture),
                ElementsAre("GenerateDesiredConfiguration failed: Failed to reset success flag for configuration"));
    EXPECT_EQ(CountEvents(capture, kDesiredEvent), 1u);
    auto logs = Texts(capture.Logs());
    EXPECT_FALSE(Contains(logs, "Desired user config generated successfully."));
    EXPECT_TRUE(Contains(logs, "LoadStore End."));
    EXPECT_EQ(StoredKey("BOOT_MODE"), "0");
    // The schema store was detached after the cancel.
    auto sql = capture.Sql();
    EXPECT_TRUE(std::any_of(sql.begin(), sql.end(), [](const auto& s) { return s.text == "DETACH DATABASE ss;"; }));
}

TEST_F(LoadStoreFailure, AnUnreachableSchemaStoreSkipsTheRestOfTheStep) {
    const std::string schemaStore = TarnTest::Rooted(TarnConfigStore::SCHEMA_STORE_PATH);
    fs::remove(schemaStore);
    fs::create_directories(schemaStore);  // a directory cannot be attached
    const auto before = ConfigRows();
    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);

    EXPECT_THAT(LoadFailures(capture), ElementsAre("Failed to attach schema store"));
    EXPECT_EQ(CountEvents(capture, kDesiredEvent), 1u);
    EXPECT_EQ(ConfigRows(), before);
    auto sql = capture.Sql();
    EXPECT_FALSE(std::any_of(sql.begin(), sql.end(), [](const auto& s) { return s.text == "DETACH DATABASE ss;"; }));
    EXPECT_TRUE(Contains(Texts(capture.Logs()), "LoadStore End."));
}

TEST_F(LoadStoreFailure, ABootModeThatIsNotANumberEndsTheLoadWithOneAlert) {
    WriteKey("BOOT_MODE", "abc");
    WriteKey("BOOT_APPLY_RESULT", R"({"isBootComplete":true,"bootApplyRecord":"kept"})");
    const auto before = ConfigRows();
    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 1);

    EXPECT_THAT(capture.Alerts(), ElementsAre("Generic ConfigStore Failure: stoi"));
    EXPECT_THAT(capture.Syslog(), ElementsAre(kStoiFailure));
    // The steps after the failure did not run.
    EXPECT_EQ(ConfigRows(), before);
    EXPECT_EQ(StoredKey("BOOT_MODE"), "abc");
    EXPECT_EQ(StoredKey("BOOT_APPLY_RESULT"), R"({"isBootComplete":true,"bootApplyRecord":"kept"})");
    EXPECT_EQ(StoredKey("IS_BOOT"), "<unset>");
    EXPECT_FALSE(Contains(Texts(capture.Logs()), "LoadStore End."));
}

TEST_F(LoadStoreFailure, AMissingModuleDirectoryOnAnUpgradeBootEndsTheLoad) {
    MakeUpgradeBoot();
    fs::remove(TarnTest::Rooted(kModuleDir));
    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 1);

    ASSERT_EQ(capture.Alerts().size(), 1u);
    EXPECT_THAT(capture.Alerts()[0], StartsWith("Generic ConfigStore Failure: "));
    EXPECT_NE(capture.Alerts()[0].find("upgrade/lib"), std::string::npos);
    EXPECT_EQ(ConfigRows().size(), 3u);  // no cleanup ran, nothing was promoted
}

TEST_F(LoadStoreFailure, AnAlertThatCannotBeRaisedIsLoggedAndTheSystemLogStillTellsWhy) {
    WriteTree("runweasel", /*withAlertNode=*/false);
    WriteKey("BOOT_MODE", "99999999999");
    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 1);

    EXPECT_TRUE(capture.Alerts().empty());
    ASSERT_EQ(Texts(capture.Logs(), 0).size(), 1u);
    EXPECT_THAT(Texts(capture.Logs(), 0)[0], StartsWith("Failed to raise sysAlert with status: "));
    EXPECT_THAT(capture.Syslog(), ElementsAre(kStoiFailure));
}

} // namespace
} // namespace LoadStoreTest
