// A child started by ExecCommand under a private host root works on that
// root: its environment holds TARN_ROOT and nothing else.
#include <filesystem>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/utilities.h"

TEST(ExecCommandRoot, ChildGetsTheHostRootOnly) {
    const std::string script = TarnTest::Root() + "/print-env.sh", out = TarnTest::Root() + "/env.out";
    TarnTest::WriteFile(script, "#!/bin/sh\nprintf '%s|%s' \"$TARN_ROOT\" \"$HOME\" >\"$1\"\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const char* argv[] = {script.c_str(), out.c_str(), nullptr};
    ASSERT_TRUE(TarnConfigStore::ExecCommand(argv));
    EXPECT_EQ(TarnTest::ReadFile(out), TarnTest::Root() + "|");
}
