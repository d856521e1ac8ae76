// How the load contains failures: inside the desired-configuration step the
// transaction is cancelled and the load goes on; anything else ends the load
// with one failure alert and leaves the store as the earlier steps left it.
#include <filesystem>
#include <functional>
#include <syslog.h>

#include "boot/load_store_fixture.h"

namespace LoadStoreTest {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::StartsWith;

using LoadStoreFailure = LoadStoreHost;

const TarnPlatform::CapturedLine kStoiFailure{LOG_ERR, "Generic ConfigStore Failure: stoi"};

TEST_F(LoadStoreFailure, AFailedDesiredConfigurationStepIsRolledBackAndTheLoadGoesOn) {
    const struct {
        std::function<void()> breakIt;
        std::string failure;
        bool attached;
    } cases[] = {
        // The promotion fails at its last row, after it changed the others.
        {[] { RunSql(Store(), "CREATE TRIGGER boom AFTER UPDATE OF UserValue ON Config WHEN NEW.Component = 'system' "
                              "BEGIN SELECT RAISE(FAIL, 'boom'); END;"); },
         "GenerateDesiredConfiguration failed: Failed to reset success flag for configuration", true},
        {[] {
             const std::string schemaStore = TarnTest::Rooted(TarnConfigStore::SCHEMA_STORE_PATH);
             fs::remove(schemaStore);
             fs::create_directories(schemaStore);  // a directory cannot be attached
         }, "Failed to attach schema store", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure);
        TarnTest::ResetRoot();
        SetUp();
        c.breakIt();
        const auto before = ConfigRows();
        TarnPlatform::Capture capture;
        ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);

        EXPECT_EQ(ConfigRows(), before);
        std::vector<std::string> failures;  // without the database service's own lines
        for (const std::string& text : Texts(capture.Logs(), 0))
            if (text.rfind("DBStore: ", 0) != 0) failures.push_back(text);
        EXPECT_THAT(failures, ElementsAre(c.failure));
        EXPECT_EQ(TarnTest::Events(capture), std::vector<std::string>{"evt.user.cs.desired.config.error: Failed to setup desired configuration."});
        EXPECT_TRUE(Contains(Texts(capture.Logs()), "LoadStore End."));
        EXPECT_EQ(StoredKey("BOOT_MODE"), "0");
        // The schema store is detached after the cancel.
        EXPECT_EQ(Contains(TarnTest::SqlTexts(capture), "DETACH DATABASE ss;"), c.attached);
    }
}

TEST_F(LoadStoreFailure, ABootModeThatIsNotANumberEndsTheLoadWithOneAlert) {
    WriteKey("BOOT_MODE", "abc");
    WriteKey("BOOT_APPLY_RESULT", "kept");
    const auto before = ConfigRows();
    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 1);

    EXPECT_THAT(capture.Alerts(), ElementsAre("Generic ConfigStore Failure: stoi"));
    EXPECT_THAT(capture.Syslog(), ElementsAre(kStoiFailure));
    // The steps after the failure did not run.
    EXPECT_EQ(ConfigRows(), before);
    EXPECT_EQ(StoredKey("BOOT_MODE") + StoredKey("BOOT_APPLY_RESULT") + StoredKey("IS_BOOT"), "abckept<unset>");
    EXPECT_FALSE(Contains(Texts(capture.Logs()), "LoadStore End."));

    // Without the alert node the alert is lost, logged; the system log still tells why.
    WriteTree("runweasel", /*withAlertNode=*/false);
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 1);
    EXPECT_EQ(capture.Alerts().size(), 1u);
    EXPECT_THAT(Texts(capture.Logs(), 0), testing::Contains(StartsWith("Failed to raise sysAlert with status: ")));
    EXPECT_THAT(capture.Syslog(), ElementsAre(kStoiFailure, kStoiFailure));
}

TEST_F(LoadStoreFailure, AMissingModuleDirectoryOnAnUpgradeBootEndsTheLoad) {
    MakeUpgradeBoot();
    fs::remove(TarnTest::Rooted(kModuleDir));
    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 1);
    EXPECT_THAT(capture.Alerts(), ElementsAre(testing::AllOf(StartsWith("Generic ConfigStore Failure: "),
                                                             testing::HasSubstr("upgrade/lib"))));
    EXPECT_EQ(ConfigRows().size(), 3u);  // no cleanup ran, nothing was promoted
}

} // namespace
} // namespace LoadStoreTest
