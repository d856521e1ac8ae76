// The fork-and-exec call's parameters: descriptor list, working directory,
// environment and session.
#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/forkexec.h"

namespace {

// Starts /bin/sh -c script and waits; returns the child's pid, or -errno.
pid_t RunShell(const std::string& script, const std::vector<int>& fds, int workingDirFd = -1,
               const char* const* envp = nullptr, bool newSession = false) {
    const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    pid_t pid = -1;
    Kestrel_ForkExecParams params = {static_cast<int>(fds.size()), -1, -1, newSession, &pid};
    int error = 0;
    if (Kestrel_ForkExec(argv[0], argv, envp, workingDirFd, fds.data(), &params, &error) != 0) return error;
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << script;
    return pid;
}

} // namespace

TEST(ForkExec, DescriptorListMayCrossItself) {
    // Sources that are themselves targets of the list: 8 and 9 trade places
    // (the shell only redirects single-digit descriptors).
    const std::string a = TarnTest::Rooted("/tmp/a"), b = TarnTest::Rooted("/tmp/b");
    TarnTest::WriteFile(a, "");
    TarnTest::WriteFile(b, "");
    const int unlisted = 15;
    for (int fd : {8, 9, unlisted}) ASSERT_EQ(fcntl(fd, F_GETFD), -1) << fd << " is in use";
    const int fa = open(a.c_str(), O_WRONLY), fb = open(b.c_str(), O_WRONLY);
    ASSERT_EQ(dup2(fa, 8), 8);
    ASSERT_EQ(dup2(fb, 9), 9);
    close(fa);
    close(fb);

    // Open without close-on-exec beyond the list: the child must still not get it.
    const int fu = open(a.c_str(), O_RDONLY);
    ASSERT_EQ(dup2(fu, unlisted), unlisted);
    close(fu);

    std::vector<int> fds(10, -1);
    fds[1] = 1;
    fds[2] = 2;
    fds[8] = 9;
    fds[9] = 8;
    const std::string unlistedFd = "/proc/$$/fd/" + std::to_string(unlisted);
    EXPECT_GT(RunShell("echo to8 >&8; echo to9 >&9; [ -e " + unlistedFd + " ] && exit 1; exit 0", fds), 0);
    close(unlisted);
    close(8);
    close(9);
    EXPECT_EQ(TarnTest::ReadFile(a), "to9\n");
    EXPECT_EQ(TarnTest::ReadFile(b), "to8\n");
}

TEST(ForkExec, ReportsWhatItCannotStart) {
    const char* argv[] = {"/nonexistent/program", nullptr};
    const int fds[] = {0, 1, 2};
    pid_t pid = -1;
    int error = 0;
    Kestrel_ForkExecParams params = {3, -1, -1, false, &pid};
    EXPECT_NE(Kestrel_ForkExec(argv[0], argv, nullptr, -1, fds, &params, &error), 0);
    EXPECT_EQ(error, -ENOENT);

    params.uid = 0;
    argv[0] = "/bin/true";
    EXPECT_NE(Kestrel_ForkExec(argv[0], argv, nullptr, -1, fds, &params, &error), 0);
    EXPECT_EQ(error, -ENOTSUP);
}
