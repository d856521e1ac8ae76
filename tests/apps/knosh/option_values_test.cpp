// The knosh program refuses option values it cannot use with a usage error,
// before it starts the shell.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

int ExitStatus(const std::string& args) {
    const fs::path build = fs::read_symlink("/proc/self/exe").parent_path().parent_path();
    const fs::path sample = fs::path(__FILE__).parent_path().parent_path().parent_path().parent_path() /
                            "examples/kno/sample-tree.json";
    const std::string command = "'" + (build / "apps/knosh/frontend/knosh").string() + "' -c '" + sample.string() +
                                "' " + args + " -e pwd >/dev/null 2>&1";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(KnoshOptionValues, BadLogLevelsAndStatusCodeNamesAreUsageErrors) {
    for (const char* args : {"-l abc", "-l 5x", "-l ''", "-l 2147483648", "-l 99999999999", "-s NOPE", "-s ''"})
        EXPECT_EQ(ExitStatus(args), 2) << args;
    EXPECT_EQ(ExitStatus("-l -2147483648 -s KES_OK"), 0);
    EXPECT_EQ(ExitStatus("-l 2147483647"), 0);
}

} // namespace
