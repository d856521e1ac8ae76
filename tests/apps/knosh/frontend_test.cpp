// The knosh program: options and their values, -e lines and their exit
// status, standard input, start-up failures, the sample tree.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "knosh_fixture.h"
#include "tarn/platform/host_root.h"

using namespace KnoshTest;
namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

namespace {

struct Outcome { int status; std::string out, err; };

Outcome Knosh(const std::vector<std::string>& args, const std::string& input = "") {
    using TarnPlatform::ShellQuote;
    // The program is built next to the tests: <build>/apps/knosh/frontend/knosh.
    const fs::path program = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "apps/knosh/frontend/knosh";
    const std::string in = TarnTest::Rooted("/knosh.in"), out = TarnTest::Rooted("/knosh.out"),
                      err = TarnTest::Rooted("/knosh.err");
    TarnTest::WriteFile(in, input);
    std::string command = ShellQuote(program.string());
    for (const std::string& a : args) command += " " + ShellQuote(a);
    const int raw = std::system((command + " <" + ShellQuote(in) + " >" + ShellQuote(out) + " 2>" + ShellQuote(err)).c_str());
    return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, TarnTest::ReadFile(out), TarnTest::ReadFile(err)};
}

TEST(Frontend, OptionsLinesAndExitStatus) {
    const std::string missing = TarnTest::Rooted("/trees/none.json");
    const std::string sample = (fs::path(__FILE__).parent_path() / "../../../examples/kno/sample-tree.json").string();
    const std::string mismatch = WriteTree(
        TreeText(R"({"md5": "00000000000000000000000000000000", "buildDate": "2020-01-01 00:00:00"})"), "mismatch.json");
    const std::string sigLine = "md5 signature mismatch with running kestrel built on 2020-01-01 00:00:00 \\(my build date: .*\\)\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err;  // err: a regular expression it contains
        std::string input = "";
    } cases[] = {
        {{"-e", "cd dir", "-e", "ls", "-e", "pwd"}, 0, "a9/\na10/\nB/\nleaf\nmy dir/\n/dir/\n", "^$"},
        // The status of the last failing line; lines after a quit do not run.
        {{"-e", "nosuch"}, 1, "\n", "Command not found"},
        {{"-e", "cd /nosuch", "-e", "pwd"}, 2, "\n/\n", ""},
        {{"-e", "nosuch", "-e", "cd /nosuch", "-e", "pwd"}, 2, "\n\n/\n", ""},
        {{"-e", "cd /nosuch", "-e", "nosuch", "-e", "pwd"}, 1, "\n\n/\n", ""},
        {{"-e", "pwd", "-e", "q", "-e", "nosuch"}, 0, "/\n", "^$"},
        {{"-e", "ls \"dir"}, 2, "\n", "^Error: Invalid argument: \"ls \"dir\": unterminated quotation.$"},
        {{"-r", "/dir", "-R", "-e", "pwd", "-e", "ls"}, 0, "/dir/\na9\na10\nB\nleaf\nmy dir\n", "^$"},
        {{"-n", "-e", "ls /ints/17"}, 0, "ports/\nsub/\nvalue\n", "^$"},
        {{"-p", "-R", "-e", "get /ints/3/value"}, 0, "0x00000000\n", "^$"},  // raw output wins
        {{"-s", "KES_BAD_PARAM", "-e", "cd /nosuch"}, 0, "", ""},
        {{"-s", "KES_BAD_PARAM", "-e", "cd /dir"}, 2, "", ""},
        {{"-s", "KES_BAD_PARAM"}, 0, "", "", "cd /nosuch\n"},
        {{"-l", "12", "-e", "cd dir"}, 0, "", "KNOSHPath_Form\\(\\):pathStr=dir, nextPathStr=\n"},
        {{"-l", "-2147483648", "-s", "KES_OK", "-e", "pwd"}, 0, "/\n", "^$"},
        {{"-l", "2147483647", "-e", "pwd"}, 0, "/\n", ""},
        {{"-r", "/dir/leaf/x"}, 1, "",
         "KNOSHPath_Form\\(\\):Extraneous 'x' in path.\nKNOSH_Init\\(\\):Invalid root node specified: /dir/leaf/x\n"},
        {{"-c", missing}, 1, "", "KNOSH_Init\\(\\):Couldn't open cache file " + missing + ": .*"},
        {{"-c", mismatch}, 1, "\n", "^Error: error: " + sigLine + "$"},
        // Only warned, the shell works on.
        {{"-w", "-c", mismatch, "-e", "ls /counters"}, 0, "\n1\n2\n", "^Error: warning: " + sigLine + "$"},
        {{"-c", sample, "-e", "ls /net/nics", "-e", "ls /modules/vmxnet/params", "-e", "ls /system/lumenfs/inodes", "-e",
          "typels /system/lumenfs/inodes/4711/stats"}, 0, "vnic0/\nvnic1/\nringSize\n4711/\n4712/\n5120/\nInodeStats\n", "^$"},
        // The live tree of another host root than TARN_ROOT's.
        {{"--root", TarnTest::Rooted("/other"), "-e", "ls /net/nics"}, 0, "vnic0/\nvnic1/\n", "^$"},
    };
    TarnTest::WriteFile(TarnTest::Rooted("/other" KNO_LIVE_TREE_PATH), TarnTest::ReadFile(sample));
    // Without -c the live tree is read.
    const Outcome noTree = Knosh({});
    EXPECT_EQ(noTree.status, 255);
    EXPECT_THAT(noTree.err, testing::EndsWith("KNOSH_Init():Try 'knosh -h' for help and more options.\n"));
    TarnTest::WriteFile(KNO_LiveTreePath(), TreeText());
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        Outcome o = Knosh(c.args, c.input);
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(o.out, c.out);
        EXPECT_THAT(o.err, testing::ContainsRegex(c.err));
    }
    const Outcome help = Knosh({"-h"});
    EXPECT_EQ(std::to_string(help.status) + help.out.substr(0, 12), "0Usage: knosh");
    // Usage errors, refused before the shell starts.
    for (const Texts& bad : std::vector<Texts>{{"-x"}, {"-l", "abc"}, {"-l", "5x"}, {"-l", ""}, {"-l", "2147483648"},
                                               {"-l", "99999999999"}, {"-s", "NOPE"}, {"-s", ""}, {"-e", "pwd", "extra"},
                                               {"--root", missing}, {"--listen", "127.0.0.1"}, {"--port", "80"},
                                               {"-d", "--listen", "localhost"}, {"--connect", "127.0.0.1", "--port", "0"},
                                               {"--connect", "127.0.0.1", "--port", "+80"},
                                               {"--connect", "127.0.0.1", "--port", "65536"}}) {
        const Outcome o = Knosh(bad);
        EXPECT_EQ(o.status, 2) << testing::PrintToString(bad);
        EXPECT_THAT(o.err, testing::HasSubstr("\nUsage: knosh")) << testing::PrintToString(bad);
    }
}

} // namespace
