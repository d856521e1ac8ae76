// The upgrade runner: loads each module, calls its entry point, reports and
// counts the modules that cannot be loaded or fail.
#include <cstdlib>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/config_upgrade.h"
#include "tarn/platform/db_store.h"

namespace {

using testing::ElementsAre;
using testing::HasSubstr;

class UpgradeRunner : public testing::Test {
protected:
    void SetUp() override {
        unsetenv("TARN_EXAMPLE_UPGRADE");
        ASSERT_EQ(DBStore::CreateDatabases(), 0);
        TarnTest::WriteFile(notModule, "not a shared object");
    }
    void TearDown() override { unsetenv("TARN_EXAMPLE_UPGRADE"); }

    // What the example module recorded: one "value" per run.
    static std::vector<std::string> Recorded() {
        std::vector<std::string> values;
        DBStore::ExecuteV2(DBStore::GetConnection(DBStore::CONFIG_STORE), "SELECT Value FROM UpgradeStatus;",
                           [](void* out, int, char** v, char**) {
                               static_cast<std::vector<std::string>*>(out)->push_back(v[0]);
                               return 0;
                           },
                           &values, 3000);
        return values;
    }

    const std::string module = TARN_EXAMPLE_UPGRADE_MODULE;
    const std::string noEntry = TARN_PLATFORM_LIBRARY;  // a shared object without the entry point
    const std::string notModule = TarnTest::Rooted("/modules/broken.so");
};

TEST_F(UpgradeRunner, CountsEveryModuleThatCannotBeLoadedOrFails) {
    TarnPlatform::Capture capture;
    EXPECT_EQ(TarnConfigUpgrade::ExecuteBootTimeModules({module, notModule, noEntry, "/no/such.so"}, true), 3);
    EXPECT_THAT(Recorded(), ElementsAre(R"({"phase":"boot","isolated":false})"));

    std::vector<std::string> failures;
    for (const auto& line : capture.Logs())
        if (line.priority == 0) failures.push_back(line.text);
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_THAT(failures[0], HasSubstr("Upgrade module " + notModule + " cannot be loaded: "));
    EXPECT_THAT(failures[1], HasSubstr("Upgrade module " + noEntry + " has no entry point TarnConfigUpgradeModuleRun"));
    EXPECT_THAT(failures[2], HasSubstr("Upgrade module /no/such.so cannot be loaded: "));
    EXPECT_EQ(capture.Logs().back().text, "Upgrade modules run: 4, failed: 3");

    setenv("TARN_EXAMPLE_UPGRADE", "fail", 1);
    EXPECT_EQ(TarnConfigUpgrade::ExecuteBootTimeModules({module}, true), 1);
    EXPECT_EQ(TarnConfigUpgrade::ExecuteBootTimeModules({}, true), 0);
}

TEST_F(UpgradeRunner, LiveInstallCountsModulesRunOrFailures) {
    EXPECT_EQ(TarnConfigUpgrade::ExecuteLiveInstallModules({module, module}), 2);
    EXPECT_THAT(Recorded(), ElementsAre(R"({"phase":"live-install","isolated":false})"));
    EXPECT_EQ(TarnConfigUpgrade::ExecuteLiveInstallModules({}), 0);
    EXPECT_EQ(TarnConfigUpgrade::ExecuteLiveInstallModules({module, notModule}), -1);
}

} // namespace
