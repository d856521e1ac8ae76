// Command lines and argument vectors (comments, quotes, unknown and failing
// commands, the expected-status rule, diagnostics) and tab completion.
#include <algorithm>

#include <gtest/gtest.h>

#include "completion_prefix.h"
#include "knosh_fixture.h"

using namespace KnoshTest;
using Texts = std::vector<std::string>;

TEST_F(ShellTest, LinesThatRunNothing) {
    std::string out, err;
    for (const char* line : {"", "#", "#cd /nosuch", "  \t"}) {
        EXPECT_EQ(Run(line, &out, &err), 0) << line;
        EXPECT_EQ(out + err, "") << line;
    }
    EXPECT_EQ(Run("lsx dir", &out, &err), 1);
    EXPECT_EQ(out + err, "\nError: Command not found.");
    EXPECT_EQ(Run(" # x"), 1) << "only a # in the first column starts a comment";
    EXPECT_EQ(Run("cd dir x\"y", &out, &err), 2);
    EXPECT_EQ(err, "Error: Invalid argument: \"cd dir x\"y\": unterminated quotation.");
    EXPECT_EQ(Out("pwd"), "/\n") << "the cd must not have run";
}

TEST_F(ShellTest, ExecCmdAndTheExpectedStatus) {
    auto exec = [](Texts words, std::string* err = nullptr) {
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        int rc = 0;
        const std::string e = Captured([&] { rc = KNOSH_ExecCmd(static_cast<int>(argv.size()), argv.data()); }).second;
        if (err) *err = e;
        return rc;
    };
    std::string err;
    EXPECT_EQ(exec({"cd", "/nosuch"}), 2);
    EXPECT_EQ(exec({"nosuch"}, &err), 1);
    EXPECT_EQ(err, "KNOSH_ExecCmd():KNOSHGetExecCmd failed.  Probably bad command.\n");
    // The handler works on copies: the caller's texts stay as they were.
    char cd[] = "cd", text[] = "dir/a9";
    char* argv[] = {cd, text};
    EXPECT_EQ(KNOSH_ExecCmd(2, argv), 0);
    EXPECT_STREQ(text, "dir/a9");
    Captured([&] { EXPECT_EQ(KNOSH_ExecCmd(0, argv), 1) << "no command"; });

    options.expectStatus = 1;
    options.expectedStatusCode = KES_ReturnStatusToCodeStr(KES_BAD_PARAM);
    EXPECT_EQ(exec({"cd", "/nosuch"}), 0);
    EXPECT_EQ(exec({"cd", "/dir"}), 2) << "success is now a failure";
    EXPECT_EQ(exec({"cd"}), 2) << "another code";
    EXPECT_EQ(Run("cd /nosuch"), 2) << "command lines keep their own rule";
    options.expectedStatusCode = nullptr;
    EXPECT_EQ(exec({"cd", "/dir"}), 2);
}

TEST_F(ShellTest, QuitHelpAndLogLevel) {
    for (const char* quit : {"exit", "quit", "q"}) {
        shellTerminate = 0;
        EXPECT_EQ(Run(quit), 0);
        EXPECT_EQ(shellTerminate, 1) << quit;
    }
    const std::string out = Out("help");
    EXPECT_EQ(out.rfind("\tcd\t - change working directory\n\tls\t - list nodes\n\tdir\t - list nodes\n", 0), 0u);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 14);
    Out("loglevel 010");
    EXPECT_EQ(options.logLevel, 10) << "decimal";
}

// Children in tree order and instance keys, each once for increasing
// state; only nodes of the module. A completion keeps the typed text,
// quotes names with a blank or "/", ends branches (and instances of a
// branch) with "/", and resolves again.
TEST_F(ShellTest, Completes) {
    const std::pair<const char*, Texts> cases[] = {
        {"dir/a", {"dir/a10/", "dir/a9/"}},
        {"dir/", {"dir/a10/", "dir/a9/", "dir/B/", "dir/leaf", "dir/\"my dir\"/"}}, {"dir/m", {"dir/\"my dir\"/"}},
        {"/dir/le", {"/dir/leaf"}}, {"nosuch/x", {}}, {"dir/a9/../le", {"dir/a9/../leaf"}},
        {"names", {"names/x10/", "names/\"eth 0\"/", "names/\"a/b\"/", "names/x9/"}},
        {"names/\"e", {"names/\"eth 0\"/"}}, {"names/\"a/b\"/v", {"names/\"a/b\"/value"}},
        {"names/\"eth 0", {"names/\"eth 0\"/value"}} /* an open quote is closed */,
        {"ints/2", {"ints/200/"}}, {"counters/", {"counters/2", "counters/1"}},
        {"ints/3/ports/", {"ints/3/ports/8/", "ints/3/ports/7/"}}, {"ints/16/ports/", {}},
        {"ints/3/", {"ints/3/value", "ints/3/sub/", "ints/3/ports/"}},
        {"mods/alpha/", {"mods/alpha/common", "mods/alpha/onlyAlpha"}}, {"mods/beta/only", {"mods/beta/onlyBeta"}},
    };
    for (const auto& [text, expected] : cases) {
        const Texts got = Completions(text);
        EXPECT_EQ(got, expected) << text;
        for (const std::string& c : got) EXPECT_EQ(Resolve(c).status, KES_OK) << c;
    }
}

// Several quoted candidates must not leave the line with an open quote.
TEST(CompletionPrefix, NeverEndsInsideAQuote) {
    using KnoshFrontend::CommonCompletion;
    EXPECT_EQ(CommonCompletion("names/e", "names/\"eth "), "names/e");
    EXPECT_EQ(CommonCompletion("n", "names/\"eth "), "names/");
    EXPECT_EQ(CommonCompletion("dir/a", "dir/a"), "dir/a");
    EXPECT_EQ(CommonCompletion("names/", "names/\"a/b\"/x"), "names/\"a/b\"/x");
}
