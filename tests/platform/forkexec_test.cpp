// The fork-and-exec call's descriptor list: sources may be targets of the
// list too, and nothing outside the list reaches the child.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/forkexec.h"

TEST(ForkExec, DescriptorListMayCrossItselfAndUnlistedOnesStayBehind) {
    // 8 and 9 trade places (the shell only redirects single-digit
    // descriptors); 15 is open without close-on-exec but not listed.
    const std::string a = TarnTest::Rooted("/tmp/a"), b = TarnTest::Rooted("/tmp/b");
    TarnTest::WriteFile(a, "");
    TarnTest::WriteFile(b, "");
    for (const auto& [path, fd] : {std::pair<std::string, int>{a, 8}, {b, 9}, {a, 15}}) {
        ASSERT_EQ(fcntl(fd, F_GETFD), -1) << fd << " is in use";
        const int opened = open(path.c_str(), O_WRONLY);
        ASSERT_EQ(dup2(opened, fd), fd);
        close(opened);
    }
    std::vector<int> fds = {-1, 1, 2, -1, -1, -1, -1, -1, 9, 8};
    const std::string script = "echo to8 >&8; echo to9 >&9; [ -e /proc/$$/fd/15 ] && exit 1; exit 0";
    const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    pid_t pid = -1;
    Kestrel_ForkExecParams params = {static_cast<int>(fds.size()), -1, -1, false, &pid};
    int error = 0, status = -1;
    ASSERT_EQ(Kestrel_ForkExec(argv[0], argv, nullptr, -1, fds.data(), &params, &error), 0) << error;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (int fd : {8, 9, 15}) close(fd);
    EXPECT_EQ(TarnTest::ReadFile(a), "to9\n");
    EXPECT_EQ(TarnTest::ReadFile(b), "to8\n");
}
