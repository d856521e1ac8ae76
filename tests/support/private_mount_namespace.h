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
    std::string reason;  // why it was skipped, or what went wrong in the child
    std::string report;  // what the body returned
};

// body runs in the child; its text is handed back. An exception in the body
// becomes the report "exception: <what>".
inline NamespaceRun RunInPrivateMountNamespace(const std::function<std::string()>& body) {
    NamespaceRun run;
    int fds[2];
    if (pipe(fds) != 0) {
        run.skipped = true;
        run.reason = std::string("pipe: ") + std::strerror(errno);
        return run;
    }
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string out;
        if (unshare(CLONE_NEWNS) != 0) {
            out = std::string("S") + "cannot create a private mount namespace (unshare): " + std::strerror(errno);
        } else if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            out = std::string("S") + "cannot make the mounts private: " + std::strerror(errno);
        } else {
            try {
                out = "R" + body();
            } catch (const std::exception& e) {
                out = std::string("R") + "exception: " + e.what();
            }
        }
        size_t done = 0;
        while (done < out.size()) {
            ssize_t n = write(fds[1], out.data() + done, out.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        _exit(0);  // no test teardown in the child
    }
    close(fds[1]);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    if (out.empty()) {
        run.reason = pid < 0 ? std::string("fork: ") + std::strerror(errno) : "the child reported nothing";
        run.report = "child failed: " + run.reason;
        return run;
    }
    run.skipped = out[0] == 'S';
    (run.skipped ? run.reason : run.report) = out.substr(1);
    return run;
}

} // namespace TarnTest

// Skips the current test when the run could not get its namespace.
#define TARN_SKIP_WITHOUT_NAMESPACE(run)                                   \
    if ((run).skipped) GTEST_SKIP() << "no private mount namespace: " << (run).reason
