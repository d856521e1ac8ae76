// Running a piece of a test in a child process inside a private mount
// namespace, so mounts made there never reach the machine and vanish with the
// child. Where the test may not create one (no privilege, no namespaces),
// the run reports why, and the test skips visibly.
#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <string>

namespace TarnTest {

struct NamespaceRun {
    bool skipped = false;
    std::string reason;  // why it was skipped, or what went wrong
    std::string report;  // what the body returned ("exception: <what>" for one it threw)
};

inline NamespaceRun RunInPrivateMountNamespace(const std::function<std::string()>& body) {
    int fds[2];
    if (pipe(fds) != 0) return {true, std::string("pipe: ") + std::strerror(errno), ""};
    pid_t pid = fork();
    if (pid == 0) {  // the first byte says skipped (S) or ran (R)
        close(fds[0]);
        std::string out = "R";
        if (unshare(CLONE_NEWNS) != 0) out = std::string("Sunshare: ") + std::strerror(errno);
        else if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            out = std::string("Sprivate mounts: ") + std::strerror(errno);
        else try {
            out += body();
        } catch (const std::exception& e) {
            out += std::string("exception: ") + e.what();
        }
        for (size_t done = 0; done < out.size();) {
            ssize_t n = write(fds[1], out.data() + done, out.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        _exit(0);  // no test teardown in the child
    }
    close(fds[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    if (pid > 0) waitpid(pid, nullptr, 0);
    if (out.empty()) return {false, "child failed", "child failed: " + std::string(pid < 0 ? "fork" : "no report")};
    if (out[0] == 'S') return {true, out.substr(1), ""};
    return {false, "", out.substr(1)};
}

} // namespace TarnTest

// Skips the current test when the run could not get its namespace.
#define TARN_SKIP_WITHOUT_NAMESPACE(run)                                   \
    if ((run).skipped) GTEST_SKIP() << "no private mount namespace: " << (run).reason
