// Start-up: where the tree comes from, the definitions signature, the root
// option, and starting again.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "knosh_fixture.h"
#include "support/test_support.h"
#include "tarn/platform/kno/kno_tree.h"

using namespace KnoshTest;

namespace {

class StartupTest : public testing::Test {
protected:
    void SetUp() override { ResetOptions(); }

    static std::string Run(const std::string& line, int expected = 0) {
        StdCapture capture;
        int rc = KNOSH_ParseAndExecCmd(line.c_str());
        EXPECT_EQ(rc, expected) << line;
        return capture.Out();
    }

    std::string tree_;
};

const char* const kMismatch = R"({"md5": "00000000000000000000000000000000", "buildDate": "2020-01-01 00:00:00"})";

} // namespace

TEST_F(StartupTest, RootPathBecomesTheRoot) {
    tree_ = WriteTree(TreeText());
    options.cacheFile = tree_.c_str();
    options.rootPath = "/dir";
    {
        StdCapture capture;
        ASSERT_EQ(KNOSH_Init(), 0);
        EXPECT_EQ(capture.Err(), "");
    }
    EXPECT_EQ(knoshRootNodeID, 20u);
    EXPECT_EQ(knoshRootNodeStr, options.rootPath);
    EXPECT_STREQ(knoshPrompt, "/dir/> ");
    EXPECT_EQ(Run("ls"), "a9/\na10/\nB/\nleaf\nmy dir/\n");
    Run("cd a9");
    EXPECT_EQ(Run("pwd"), "/dir/a9/\n");
    // What the prompt shows resolves again.
    Run("cd /dir/a10");
    EXPECT_EQ(Run("pwd"), "/dir/a10/\n");
    Run("cd ..");
    EXPECT_EQ(Run("pwd"), "/dir/\n");
    Run("cd ..", 2);

    int state = 0;
    char* completion = KNOSH_CommandGenerator("a", &state);
    ASSERT_NE(completion, nullptr);
    EXPECT_STREQ(completion, "/dir/a10/");
    free(completion);

    // Starting again without the option goes back to the tree's root, with
    // a fresh working path; the old one is freed.
    Run("cd a9");  // two elements
    uint32_t held = KNO_OutstandingNodeInfos();
    options.rootPath = nullptr;
    ASSERT_EQ(KNOSH_Init(), 0);
    EXPECT_EQ(KNO_OutstandingNodeInfos(), held - 1);
    EXPECT_EQ(Run("pwd"), "/\n");
    EXPECT_EQ(knoshRootNodeID, 0u);
    EXPECT_STREQ(knoshRootNodeStr, "");
    EXPECT_STREQ(knoshPrompt, "/> ");
}

TEST_F(StartupTest, InvalidRootEndsTheProcess) {
    tree_ = WriteTree(TreeText());
    options.cacheFile = tree_.c_str();
    options.rootPath = "/dir/leaf/x";
    EXPECT_EXIT(KNOSH_Init(), testing::ExitedWithCode(1),
                "KNOSHPath_Form\\(\\):Extraneous 'x' in path.\nKNOSH_Init\\(\\):Invalid root node specified: "
                "/dir/leaf/x\n");
}

TEST_F(StartupTest, MissingTrees) {
    std::string missing = TarnTest::Rooted("/trees/none.json");
    options.cacheFile = missing.c_str();
    EXPECT_EXIT(KNOSH_Init(), testing::ExitedWithCode(1), "KNOSH_Init\\(\\):Couldn't open cache file .*none.json: ");

    options.cacheFile = nullptr;  // the live tree, which does not exist
    EXPECT_EXIT(KNOSH_Init(), testing::ExitedWithCode(255),
                "KNOSH_Init\\(\\):Try 'knosh -h' for help and more options.\n");
}

TEST_F(StartupTest, LiveTree) {
    TarnTest::WriteFile(KNO_LiveTreePath(), TreeText());
    ASSERT_EQ(KNOSH_Init(), 0);
    EXPECT_EQ(Run("ls /ints"), "3/\n16/\n200/\n");
}

TEST_F(StartupTest, SignatureMismatchIsFatalUnlessOnlyWarned) {
    tree_ = WriteTree(TreeText(kMismatch));
    options.cacheFile = tree_.c_str();
    EXPECT_EXIT(KNOSH_Init(), testing::ExitedWithCode(1),
                "^Error: error: md5 signature mismatch with running kestrel built on 2020-01-01 00:00:00 "
                "\\(my build date: .*\\)\n$");

    options.sigMismatchFatal = 0;
    StdCapture capture;
    ASSERT_EQ(KNOSH_Init(), 0);
    std::string err = capture.Err();
    EXPECT_EQ(err.rfind("Error: warning: md5 signature mismatch with running kestrel built on 2020-01-01 00:00:00 "
                        "(my build date: ",
                        0),
              0u)
        << err;
    EXPECT_EQ(capture.Out(), "\n");
    EXPECT_EQ(Run("ls /counters"), "1\n2\n") << "the shell works on";
}
