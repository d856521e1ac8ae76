// The upgrade runner names and counts the modules that cannot be loaded;
// running, failing and crashing modules are driven by the boot tests.
#include <cstdlib>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/configstore.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/config_upgrade.h"

using testing::HasSubstr;

TEST(UpgradeRunner, ModulesThatCannotBeLoadedAreNamedAndCounted) {
    unsetenv("TARN_EXAMPLE_UPGRADE");
    ASSERT_EQ(DBStore::CreateDatabases(), 0);
    const std::string noEntry = TARN_PLATFORM_LIBRARY;  // a shared object without the entry point
    const std::string notModule = TarnTest::Rooted("/modules/broken.so");
    TarnTest::WriteFile(notModule, "not a shared object");
    TarnPlatform::Capture capture;
    EXPECT_EQ(TarnConfigUpgrade::ExecuteBootTimeModules({TARN_EXAMPLE_UPGRADE_MODULE, notModule, noEntry, "/no/such.so"}, true), 3);
    std::vector<std::string> failures;
    for (const auto& line : capture.Logs())
        if (line.priority == 0) failures.push_back(line.text);
    EXPECT_THAT(failures, testing::ElementsAre(
                              HasSubstr("Upgrade module " + notModule + " cannot be loaded: "),
                              HasSubstr("Upgrade module " + noEntry + " has no entry point TarnConfigUpgradeModuleRun"),
                              HasSubstr("Upgrade module /no/such.so cannot be loaded: ")));
    EXPECT_EQ(capture.Logs().back().text, "Upgrade modules run: 4, failed: 3");
}
