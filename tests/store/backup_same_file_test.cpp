// A backup of a database onto itself is refused at once, whatever name the
// destination takes.
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/capture.h"
#include "tarn/utilities.h"

namespace fs = std::filesystem;

TEST(BackupSameFile, RefusedBeforeAnythingIsOpened) {
    const std::string dir = TarnTest::Root() + "/db";
    TarnTest::WriteFile(dir + "/store", "");
    fs::create_symlink(dir + "/store", dir + "/link");
    const std::pair<std::string, std::string> pairs[] = {
        {dir + "/store", dir + "/store"},
        {dir + "/store", dir + "/../db/./store"},
        {dir + "/link", dir + "/store"},
        {dir + "/missing", dir + "/../db/missing"},
    };
    for (const auto& [src, dst] : pairs) {
        SCOPED_TRACE(dst);
        TarnPlatform::Capture capture;
        EXPECT_EQ(TarnConfigStore::backup(src, dst), 1);
        ASSERT_EQ(capture.Syslog().size(), 1u);
        EXPECT_THAT(capture.Syslog()[0].text, testing::HasSubstr("refused"));
    }
    EXPECT_FALSE(TarnTest::Exists(dir + "/missing"));
}
