// Paths put into shell command texts: unchanged when the shell reads them
// literally, otherwise quoted so that the shell hands over exactly the path.
#include <cstdlib>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/host_root.h"

using TarnPlatform::ShellQuote;

TEST(ShellQuote, LiteralPathsStayAsTheyAreAndTheShellGetsBackExactlyThePath) {
    for (const char* path : {"/etc/halden/configstore/current-store-1", "/tmp/a-b_c.d/e+f,g:h@i%j=k"})
        EXPECT_EQ(ShellQuote(path), path);
    const std::string out = TarnTest::Root() + "/echoed";
    for (const std::string path : {"/tmp/x/sp ace", "m;touch PWNED;x", "/it's", "$(touch PWNED)`touch PWNED`",
                                   "\"\\$HOME*?[a]~!#&|<>(){}\t\n", "", "''", "-n"}) {
        SCOPED_TRACE(path);
        ASSERT_EQ(std::system(("printf %s " + ShellQuote(path) + " >" + ShellQuote(out)).c_str()), 0);
        EXPECT_EQ(TarnTest::ReadFile(out), path);
    }
}
