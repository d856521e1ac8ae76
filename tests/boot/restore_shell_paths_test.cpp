// The restore's shell commands under a host root whose name holds blanks and
// shell syntax: they act on the root's own files and run nothing else.
#include <cstdlib>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/host_root.h"

namespace fs = std::filesystem;
using TarnPlatform::ShellQuote;

TEST(RestoreShellPaths, HostRootWithShellSyntaxNamesOnlyItsOwnFiles) {
    const std::string base = TarnTest::Root();
    const std::string root = base + "/sp ace;touch PWNED;$(touch PWNED2);o'k'";
    fs::copy(TARN_EXAMPLE_HOST, root, fs::copy_options::recursive);
    TarnTest::WriteFile(base + "/sp", "first word of the root, not to be removed");
    auto cli = [&](const std::string& args) {
        return std::system(("cd " + ShellQuote(base) + " && " + ShellQuote(TARN_CLI) + " --root " +
                            ShellQuote(root) + " " + args + " >/dev/null 2>&1").c_str());
    };

    // The second boot removes the live store and copies the backup back.
    ASSERT_EQ(cli("boot"), 0);
    ASSERT_EQ(cli("backup"), 0);
    ASSERT_EQ(cli("boot"), 0);

    EXPECT_THAT(TarnTest::ReadFile(root + "/var/log/configstore-boot.log"),
                testing::HasSubstr("ConfigStore restored successfully from backup"));
    EXPECT_TRUE(TarnTest::Exists(base + "/sp"));
    EXPECT_FALSE(TarnTest::Exists(base + "/PWNED"));
    EXPECT_FALSE(TarnTest::Exists(base + "/PWNED2"));
}
