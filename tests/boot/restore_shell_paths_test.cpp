// The restore's shell commands under a host root whose name holds blanks and
// shell syntax: they act on the root's own files and run nothing else.
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/host_root.h"

using TarnPlatform::ShellQuote;

TEST(RestoreShellPaths, HostRootWithShellSyntaxNamesOnlyItsOwnFiles) {
    const std::string base = TarnTest::Root(), root = base + "/sp ace;touch PWNED;$(touch PWNED2);o'k'";
    const std::string store = root + "/etc/halden/configstore/current-store-1";
    std::filesystem::copy(TARN_EXAMPLE_HOST, root, std::filesystem::copy_options::recursive);
    TarnTest::WriteFile(base + "/sp", "first word of the root, not to be removed");
    auto cli = [&](const std::string& args) {
        return std::system(("cd " + ShellQuote(base) + " && " + ShellQuote(TARN_CLI) + " --root " + ShellQuote(root) +
                            " " + args + " >/dev/null 2>&1").c_str());
    };
    // The second boot removes the live store and copies the backup back.
    ASSERT_EQ(cli("boot"), 0);
    TarnTest::Query(store, "INSERT INTO Config(Component, ConfigGroup, Name, UserValue) VALUES('a', 'b', 'c', '{}');");
    ASSERT_EQ(cli("backup"), 0);
    TarnTest::Query(store, "DELETE FROM Config;");
    ASSERT_EQ(cli("boot"), 0);

    EXPECT_EQ(TarnTest::Query(store, "SELECT Component FROM Config WHERE Name = 'c';"), std::vector<std::string>{"a"});
    EXPECT_TRUE(TarnTest::Exists(base + "/sp"));
    EXPECT_FALSE(TarnTest::Exists(base + "/PWNED") || TarnTest::Exists(base + "/PWNED2"));
}
