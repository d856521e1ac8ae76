// Command lines and argument vectors: comments, splitting and quotes,
// unknown and failing commands, the expected-status rule, diagnostics.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "knosh_fixture.h"

using namespace KnoshTest;
using Words = std::vector<std::string>;

namespace {

int Exec(Words words, std::string* err = nullptr) {
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    StdCapture capture;
    int rc = KNOSH_ExecCmd(static_cast<int>(argv.size()), argv.data());
    if (err) *err = capture.Err();
    return rc;
}

Words Split(const char* line) {
    Words words;
    const char* start = nullptr;
    const char* end = nullptr;
    for (const char* p = line; (p = KNOSHParseArgument(p, &start, &end));)
        words.push_back(end ? std::string(start, end) : "<open>");
    return words;
}

const std::string kBadParam = KES_ReturnStatusToString(KES_BAD_PARAM);

} // namespace

TEST(KnoshParseArgument, WhitespaceAndQuotes) {
    EXPECT_EQ(Split("  ls \t dir\n"), (Words{"ls", "dir"}));
    EXPECT_EQ(Split("cd \"a b\"/c x\"y z\"w"), (Words{"cd", "\"a b\"/c", "x\"y z\"w"}));
    EXPECT_EQ(Split("ls a \"b c").back(), "<open>");
    EXPECT_EQ(Split("   "), Words{});
}

TEST_F(ShellTest, LinesThatRunNothing) {
    std::string out, err;
    for (const char* line : {"", "#", "#cd /nosuch", "  \t"}) {
        EXPECT_EQ(Run(line, &out, &err), 0) << line;
        EXPECT_EQ(out + err, "") << line;
    }
    EXPECT_EQ(Run("lsx dir", &out, &err), 1);
    EXPECT_EQ(err, "Error: Command not found.");
    EXPECT_EQ(out, "\n");
    EXPECT_EQ(Run(" # x", &out, &err), 1) << "only a # in the first column starts a comment";

    EXPECT_EQ(Run("cd dir x\"y", &out, &err), 2);
    EXPECT_EQ(err, "Error: Invalid argument: \"cd dir x\"y\": unterminated quotation.");
    Run("pwd", &out);
    EXPECT_EQ(out, "/\n") << "the cd must not have run";
}

TEST_F(ShellTest, FailingCommandReportsItsStatus) {
    std::string out, err;
    EXPECT_EQ(Run("cd /nosuch", &out, &err), 2);
    EXPECT_EQ(err, "KNOSHPath_Form():Extraneous 'nosuch' in path.\nError: Error in command cd: " + kBadParam);
    EXPECT_EQ(Run("cd", &out, &err), 2);
    EXPECT_EQ(err, std::string("Error: Error in command cd: ") + KES_ReturnStatusToString(KES_INCOMPLETE));
}

TEST_F(ShellTest, ExecCmdAndTheExpectedStatus) {
    std::string err;
    EXPECT_EQ(Exec({"cd", "/nosuch"}), 2);
    EXPECT_EQ(Exec({"nosuch"}, &err), 1);
    EXPECT_EQ(err, "KNOSH_ExecCmd():KNOSHGetExecCmd failed.  Probably bad command.\n");
    EXPECT_EQ(Exec({}), 1);
    // The handler works on copies: the caller's texts stay as they were.
    std::vector<char> text{'d', 'i', 'r', '/', 'a', '9', '\0'};
    char cd[] = "cd";
    char* argv[] = {cd, text.data()};
    EXPECT_EQ(KNOSH_ExecCmd(2, argv), 0);
    EXPECT_STREQ(text.data(), "dir/a9");

    options.expectStatus = 1;
    options.expectedStatusCode = KES_ReturnStatusToCodeStr(KES_BAD_PARAM);
    EXPECT_EQ(Exec({"cd", "/nosuch"}), 0);
    EXPECT_EQ(Exec({"cd", "/dir/leaf"}), 0);
    EXPECT_EQ(Exec({"cd", "/dir"}), 2) << "success is now a failure";
    EXPECT_EQ(Exec({"cd"}), 2) << "another code";
    EXPECT_EQ(Exec({"nosuch"}), 1);
    EXPECT_EQ(Run("cd /nosuch"), 2) << "command lines keep their own rule";
    options.expectedStatusCode = nullptr;
    EXPECT_EQ(Exec({"cd", "/dir"}), 2);
}

TEST_F(ShellTest, DiagnosticsFollowTheLogLevel) {
    std::string out, err;
    EXPECT_EQ(Run("loglevel 12", &out, &err), 0);
    Run("cd dir/a9", &out, &err);
    for (const char* line : {"KNOSHCmdStr2Cmd():Looking for cd\n", "KNOSHGetCmdArgs():Got argument #1: \"dir/a9\"\n",
                             "KNOSHPath_Form():pathStr=dir, nextPathStr=a9\n"})
        EXPECT_NE(err.find(line), std::string::npos) << line << err;
    EXPECT_EQ(err.find("KNOSHPathFormNext"), std::string::npos) << "level 15 stays quiet";

    Run("loglevel 15", &out, &err);
    Run("cd /ints/3", &out, &err);
    EXPECT_NE(err.find("KNOSHPathFormNext():Adding 30:ints: not-leaf; inst; int; has-param;\n"), std::string::npos);
    EXPECT_NE(err.find("KNOSHExtractModuleID():Returning moduleID 0 (is mod branch = 0)\n"), std::string::npos);

    Run("loglevel nonsense", &out, &err);
    EXPECT_EQ(options.logLevel, 0);
    Run("loglevel -1", &out, &err);
    EXPECT_EQ(Run("cd /nosuch", &out, &err), 2);
    EXPECT_EQ(err, "Error: Error in command cd: " + kBadParam) << "errors are not diagnostics";
}

TEST_F(ShellTest, QuitAndHelp) {
    for (const char* quit : {"exit", "quit", "q"}) {
        shellTerminate = 0;
        EXPECT_EQ(Run(quit), 0);
        EXPECT_EQ(shellTerminate, 1) << quit;
    }
    std::string out;
    EXPECT_EQ(Run("help", &out), 0);
    EXPECT_EQ(out.rfind("\tcd\t - change working directory\n\tls\t - list nodes\n\tdir\t - list nodes\n", 0), 0u);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 14);
}
