// The exit status of cleanup follows what the operation reported.
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/host_root.h"

namespace {

using TarnPlatform::ShellQuote;

int Cli(const std::string& args) {
    const std::string err = TarnTest::Root() + "/cli.err";
    int rc = std::system((ShellQuote(TARN_CLI) + " --root " + ShellQuote(TarnTest::Root()) + " " + args +
                          " >/dev/null 2>" + ShellQuote(err)).c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(CleanupExit, FailureWithoutAStoreSuccessOnABootedHost) {
    const char* const kinds[] = {"store", "live-store", "autoconf", "datafiles"};
    for (const char* kind : kinds) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(Cli(std::string("cleanup ") + kind), 1);
        EXPECT_THAT(TarnTest::ReadFile(TarnTest::Root() + "/cli.err"), testing::HasSubstr("could not connect"));
    }
    std::filesystem::copy(TARN_EXAMPLE_HOST, TarnTest::Root(), std::filesystem::copy_options::recursive);
    ASSERT_EQ(Cli("boot"), 0);
    for (const char* kind : kinds) EXPECT_EQ(Cli(std::string("cleanup ") + kind), 0) << kind;
}

} // namespace
