// The tools under an image root prepared by someone else: the directories
// they write into are links to a directory beside the root. Boot, backup and
// the image dump write below the root all the same, nothing beside it.
#include <filesystem>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/host_root.h"

namespace {

namespace fs = std::filesystem;
using TarnPlatform::ShellQuote;

// Runs the program on root; its standard output, or a failure of the test.
std::string RunCli(const std::string& root, const std::string& args) {
    const std::string out = TarnTest::Root() + "/cli.out", err = TarnTest::Root() + "/cli.err";
    const std::string command = ShellQuote(TARN_CLI) + " --root " + ShellQuote(root) + " " + args + " >" +
                                ShellQuote(out) + " 2>" + ShellQuote(err);
    const int rc = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << args << ": " << TarnTest::ReadFile(err);
    return TarnTest::ReadFile(out);
}

std::vector<std::string> FilesBelow(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (!entry.is_directory()) files.push_back(entry.path().string());
    return files;
}

TEST(Confinement, ToolsWriteInsideAnImageRootWhoseDirectoriesLinkOutside) {
    const std::string root = TarnTest::Rooted("/image"), outside = TarnTest::Rooted("/outside");
    fs::copy(TARN_EXAMPLE_HOST, root, fs::copy_options::recursive);
    // Absolute links name a path from the image root; relative ones climb
    // above it with "..", which stops at the image root.
    const struct {
        const char* link;
        std::string target;
    } links[] = {
        {"/etc/halden/configstore", outside + "/configstore"},
        {"/etc/halden/schemastore", outside + "/schemastore"},
        {"/var/lib/halden/configstore/backup", "../../../../../outside/backup"},
        {"/var/log", outside + "/log"},
        {"/tmp", "../outside/tmp"},
    };
    for (const auto& l : links) {
        fs::create_directories(outside + "/" + fs::path(l.link).filename().string());  // where an unconfined tool writes
        fs::remove_all(root + l.link);
        fs::create_directory_symlink(l.target, root + l.link);
    }

    RunCli(root, "boot");
    RunCli(root, "backup");
    const std::string dump = RunCli(root, "image dump");

    EXPECT_THAT(FilesBelow(outside), testing::IsEmpty());
    // Below the root, where the links lead when the root is taken as "/".
    const std::vector<std::string> inside = FilesBelow(root);
    for (const char* file : {"/outside/configstore/current-store-1", "/outside/configstore/datafile-store",
                             "/outside/schemastore/schema-store-1", "/outside/log/configstore.log",
                             "/outside/backup/current-store-1", "/outside/tmp/image-info.csv"})
        EXPECT_THAT(inside, testing::Contains(testing::EndsWith(file)));
    EXPECT_EQ(dump, root + "/outside/tmp/image-info.csv\n");
}

} // namespace
