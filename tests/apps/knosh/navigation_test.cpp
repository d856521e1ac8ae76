// cd, pwd and the prompt; ls, dir and typels: order, suffixes, several
// paths, instances; typeget.
#include <gtest/gtest.h>

#include "knosh_fixture.h"

using namespace KnoshTest;

TEST_F(ShellTest, CdMovesAndRendersThePrompt) {
    // cd target, then what pwd prints and the prompt shows (pwd does not quote).
    const std::pair<const char*, const char*> steps[] = {
        {"dir", "/dir/"}, {"a9", "/dir/a9/"}, {"../../ints/0x10", "/ints/16/"}, {"ports", "/ints/16/ports/"},
        {"/names/\"a/b\"", "/names/a/b/"}, {"..", "/names/"}, {"/\"dir\"/\"my dir\"", "/dir/my dir/"},
        {"/counters", "/counters/"} /* an instance leaf without key is a place */, {"/mods/beta", "/mods/beta/"},
    };
    for (const auto& [target, where] : steps) {
        EXPECT_EQ(Out(std::string("cd ") + target), "");
        EXPECT_EQ(Out("pwd"), where + std::string("\n"));
        EXPECT_EQ(knoshPrompt, where + std::string("> "));
    }
    EXPECT_EQ(Completions("only"), std::vector<std::string>{"onlyBeta"}) << "relative to a place in a module";
}

TEST_F(ShellTest, CdRefusesLeavesAndKeepsThePlace) {
    Out("cd dir");
    options.logLevel = 1;
    for (const char* target : {"leaf", "/counters/1", "/ints/3/value"}) {
        std::string err;
        EXPECT_EQ(Run(std::string("cd ") + target, nullptr, &err), 2) << target;
        EXPECT_EQ(err, std::string("KNOSHCmdCD():Cannot cd to a leaf (or param-inst leaf) node.\n") +
                           "Error: Error in command cd: " + KES_ReturnStatusToString(KES_BAD_PARAM));
    }
    for (const char* line : {"cd a9 b", "cd nosuch", "cd ../.."}) EXPECT_EQ(Out(line, 2), "\n") << line;
    EXPECT_EQ(Out("pwd"), "/dir/\n");
    EXPECT_STREQ(knoshPrompt, "/dir/> ");
}

TEST_F(ShellTest, ListsInNaturalOrderWithSuffixes) {
    const std::pair<const char*, const char*> cases[] = {
        {"ls dir", "a9/\na10/\nB/\nleaf\nmy dir/\n"}, {"ls /", "counters/\ncpus/\ndir/\nints/\nmods/\nnames/\n"},
        {"dir /ints/3", "ports/\nsub/\nvalue\n"}, {"ls dir/leaf", "leaf\n"} /* a leaf lists itself */, {"ls dir/a9", ""},
        {"ls ints", "3/\n16/\n200/\n"} /* integers ascending */, {"ls names", "a/b/\neth 0/\nx9/\nx10/\n"},
        {"ls counters", "1\n2\n"} /* instance leaves carry no suffix */, {"ls counters/2", "2\n"},
        {"ls ints/3/ports", "7/\n8/\n"}, {"ls ints/16/ports", ""}, {"ls cpus", "0/\n1/\nload\n"} /* keys, then children */,
        {"ls mods", "alpha/\nbeta/\n"}, {"ls mods/alpha", "common\nonlyAlpha\n"}, {"ls mods/beta", "common\nonlyBeta\n"},
        {"ls dir/a9 counters dir/leaf", "dir/a9:\n\ncounters:\n1\n2\n\ndir/leaf:\nleaf\n"},
        {"typels dir ints ints/3 counters counters/2", "dir:\nbranchType/\n\nints:\ninstBranchType/\n\nints/3:\nbranchType/\n\n"
                                                        "counters:\ninstLeafType\n\ncounters/2:\nuint32\n"},
    };
    for (const auto& [line, out] : cases) EXPECT_EQ(Out(line), out) << line;
    EXPECT_EQ(Out("ls counters nosuch dir", 2), "counters:\n1\n2\n\nnosuch:\n\n") << "stops at the failing path";
    Out("cd dir");
    options.rawOutput = 1;
    EXPECT_EQ(Out("ls"), "a9\na10\nB\nleaf\nmy dir\n") << "no argument: the working path";
    EXPECT_EQ(Out("ls /ints"), "3\n16\n200\n");
}

TEST_F(ShellTest, TypeGet) {
    EXPECT_EQ(Out("typeget Pair Color Name uint32"),
              "structType Pair {\n \tuint32 : first\n\tColor : color\n}\nenumType Color {\n\tRED = 0\n\tGREEN = 7\n}\n"
              "arrType char[16] \nbaseType uint32\n");
    std::string out, err;
    EXPECT_EQ(Run("typeget uint32 nosuch Pair", &out, &err), 2);
    EXPECT_EQ(out, "baseType uint32\n\n") << "stops at the unknown type";
    EXPECT_EQ(err.find("KNOSHCmdTypeGet():type nosuch does not exist\n"), 0u) << err;
    EXPECT_EQ(Out("typeget"), "");
}

TEST_F(ShellTest, RootOptionBecomesTheRootUntilTheNextStart) {
    options.rootPath = "/dir";
    ASSERT_EQ(KNOSH_Init(), 0);
    EXPECT_STREQ(knoshPrompt, "/dir/> ");
    Out("cd /dir/a10");  // what the prompt shows resolves again
    EXPECT_EQ(Out("ls /leaf"), "leaf\n") << "the root text is skipped only in front of a longer path";
    Out("cd ..");
    Out("cd ..", 2);
    EXPECT_EQ(Completions("a").at(0), "a10/");
    EXPECT_EQ(Completions("/my d").at(0), "/\"my dir\"/");  // as long as the root text
    // Starting again without the option goes back to the tree's root, with
    // a fresh working path; the old one is freed.
    Out("cd a9");  // two elements
    const uint32_t held = KNO_OutstandingNodeInfos();
    options.rootPath = nullptr;
    ASSERT_EQ(KNOSH_Init(), 0);
    EXPECT_EQ(KNO_OutstandingNodeInfos(), held - 1);
    EXPECT_EQ(Out("pwd"), "/\n");
}
