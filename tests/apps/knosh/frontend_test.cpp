// The knosh program: options, -e lines and their exit status, standard
// input, and the sample tree shipped with the project.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "knosh_fixture.h"
#include "support/test_support.h"
#include "tarn/platform/kno/kno_tree.h"

using namespace KnoshTest;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

std::string Quote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The program is built next to the tests: <build>/apps/knosh/frontend/knosh.
std::string Program() {
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "apps/knosh/frontend/knosh").string();
}

std::string SampleTree() {
    return (fs::path(__FILE__).parent_path().parent_path().parent_path().parent_path() / "examples/kno/sample-tree.json")
        .string();
}

Outcome Knosh(const std::vector<std::string>& args, const std::string& input = "") {
    std::string in = TarnTest::Rooted("/knosh.in"), out = TarnTest::Rooted("/knosh.out"),
                err = TarnTest::Rooted("/knosh.err");
    TarnTest::WriteFile(in, input);
    std::string command = Quote(Program());
    for (const std::string& a : args) command += " " + Quote(a);
    command += " <" + Quote(in) + " >" + Quote(out) + " 2>" + Quote(err);
    int raw = std::system(command.c_str());
    return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, TarnTest::ReadFile(out), TarnTest::ReadFile(err)};
}

class FrontendTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(Program())) << Program();
        tree_ = WriteTree(TreeText());
    }
    Outcome Run(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), {"-c", tree_});
        return Knosh(args, input);
    }
    std::string tree_;
};

} // namespace

TEST_F(FrontendTest, LinesFromOptions) {
    Outcome o = Run({"-e", "cd dir", "-e", "ls", "-e", "pwd"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "a9/\na10/\nB/\nleaf\nmy dir/\n/dir/\n");
    EXPECT_EQ(o.err, "");
}

TEST_F(FrontendTest, ExitStatusOfTheLastFailingLine) {
    EXPECT_EQ(Run({"-e", "nosuch"}).status, 1);
    EXPECT_EQ(Run({"-e", "cd /nosuch"}).status, 2);
    EXPECT_EQ(Run({"-e", "cd /nosuch", "-e", "pwd"}).status, 2);
    EXPECT_EQ(Run({"-e", "nosuch", "-e", "cd /nosuch", "-e", "pwd"}).status, 2);
    EXPECT_EQ(Run({"-e", "cd /nosuch", "-e", "nosuch", "-e", "pwd"}).status, 1);
    Outcome quit = Run({"-e", "pwd", "-e", "q", "-e", "nosuch"});
    EXPECT_EQ(quit.status, 0) << "lines after a quit do not run";
    EXPECT_EQ(quit.out, "/\n");
    Outcome open = Run({"-e", "ls \"dir"});
    EXPECT_EQ(open.status, 2);
    EXPECT_EQ(open.err, "Error: Invalid argument: \"ls \"dir\": unterminated quotation.");
}

TEST_F(FrontendTest, Options) {
    EXPECT_EQ(Run({"-r", "/dir", "-R", "-e", "pwd", "-e", "ls"}).out, "/dir/\na9\na10\nB\nleaf\nmy dir\n");
    EXPECT_EQ(Run({"-e", "ls /ints/17"}).status, 2);
    EXPECT_EQ(Run({"-n", "-e", "ls /ints/17"}).out, "ports/\nsub/\nvalue\n");
    EXPECT_EQ(Run({"-s", "KES_BAD_PARAM", "-e", "cd /nosuch"}).status, 0);
    EXPECT_EQ(Run({"-s", "KES_BAD_PARAM", "-e", "cd /dir"}).status, 2);
    EXPECT_EQ(Run({"-s", "KES_BAD_PARAM"}, "cd /nosuch\n").status, 0);
    Outcome verbose = Run({"-l", "12", "-e", "cd dir"});
    EXPECT_NE(verbose.err.find("KNOSHPath_Form():pathStr=dir, nextPathStr=\n"), std::string::npos) << verbose.err;

}

TEST_F(FrontendTest, UsageAndStart) {
    Outcome help = Knosh({"-h"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: knosh", 0), 0u);
    EXPECT_EQ(Knosh({"-x"}).status, 2);
    EXPECT_EQ(Knosh({"-c", tree_, "extra"}).status, 2);

    const std::string missing = TarnTest::Rooted("/trees/none.json");
    const std::string mismatch = WriteTree(
        TreeText(R"({"md5": "00000000000000000000000000000000", "buildDate": "2020-01-01 00:00:00"})"), "mismatch.json");
    const std::string sigLine = "md5 signature mismatch with running kestrel built on 2020-01-01 00:00:00 \\(my build date: .*\\)\n";
    struct Case {
        std::vector<std::string> args;
        bool liveTree;
        int status;
        std::string err, out;  // err: a regular expression it contains
    } cases[] = {
        {{"-c", tree_, "-r", "/dir/leaf/x"}, false, 1,
         "KNOSHPath_Form\\(\\):Extraneous 'x' in path.\nKNOSH_Init\\(\\):Invalid root node specified: /dir/leaf/x\n", ""},
        {{"-c", missing}, false, 1, "KNOSH_Init\\(\\):Couldn't open cache file " + missing + ": .*", ""},
        {{}, false, 255, "KNOSH_Init\\(\\):Try 'knosh -h' for help and more options.\n", ""},
        {{"-e", "ls /ints"}, true, 0, "^$", "3/\n16/\n200/\n"},
        {{"-c", mismatch}, false, 1, "^Error: error: " + sigLine + "$", "\n"},
        // Only warned, the shell works on.
        {{"-w", "-c", mismatch, "-e", "ls /counters"}, false, 0, "^Error: warning: " + sigLine + "$", "\n1\n2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        if (c.liveTree) TarnTest::WriteFile(KNO_LiveTreePath(), TreeText());
        Outcome o = Knosh(c.args);
        EXPECT_EQ(o.status, c.status);
        EXPECT_THAT(o.err, testing::ContainsRegex(c.err));
        EXPECT_EQ(o.out, c.out);
        fs::remove(KNO_LiveTreePath());
    }
}

TEST_F(FrontendTest, SampleTree) {
    Outcome o = Knosh({"-c", SampleTree(), "-e", "ls /net/nics", "-e", "ls /modules/vmxnet/params", "-e",
                       "ls /system/lumenfs/inodes", "-e", "typels /system/lumenfs/inodes/4711/stats"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "vnic0/\nvnic1/\nringSize\n4711/\n4712/\n5120/\nInodeStats\n");
}
