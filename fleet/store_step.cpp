#include "store_step.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tarn/platform/unique_fd.h"

namespace TarnFleet {

namespace {

// The child's report: one byte saying how the step ended, then its text.
constexpr char kChanged = 'C', kUnchanged = 'U', kThrew = 'E';

[[noreturn]] void RunChild(TarnPlatform::UniqueFd out, HostStatus status,
                           const std::function<bool(HostStatus&)>& step) {
    std::string report;
    try {
        const bool changed = step(status);
        report = (changed ? kChanged : kUnchanged) + StatusToJson(status);
    } catch (const std::exception& e) {
        report = kThrew + std::string(e.what());
    }
    size_t done = 0;
    while (done < report.size()) {
        const ssize_t n = ::write(out.Get(), report.data() + done, report.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(1);
        done += static_cast<size_t>(n);
    }
    _exit(0);  // the parent's handles (etcd's sockets among them) are the parent's to close
}

std::string ReadToEnd(int fd, const std::function<void()>& whileWaiting) {
    std::string text;
    char buffer[4096];
    for (;;) {
        pollfd ready = {fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, 1000);
        if (polled == 0 && whileWaiting) whileWaiting();
        if (polled < 0 && errno != EINTR) return text;
        if (polled <= 0) continue;  // a second passed, or a signal came
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return text;
        text.append(buffer, static_cast<size_t>(n));
    }
}

} // namespace

bool RunStoreStep(HostStatus& status, const std::function<bool(HostStatus&)>& step,
                  const std::function<void()>& whileWaiting) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error(std::string("no pipe: ") + std::strerror(errno));
    TarnPlatform::UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
    std::fflush(nullptr);  // buffered output would otherwise be written twice
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("no child process: ") + std::strerror(errno));
    if (pid == 0) {
        // A step outlives no agent: one killed mid-store leaves the store as
        // a killed agent always did, to be resumed by the next.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() == 1) _exit(1);
        readEnd.Reset();
        RunChild(std::move(writeEnd), status, step);
    }
    writeEnd.Reset();  // so that the read ends when the child does
    const std::string report = ReadToEnd(readEnd.Get(), whileWaiting);
    int exit = 0;
    while (::waitpid(pid, &exit, 0) < 0)
        if (errno != EINTR) throw std::runtime_error(std::string("lost the child: ") + std::strerror(errno));
    if (!WIFEXITED(exit) || WEXITSTATUS(exit) != 0 || report.empty())
        throw std::runtime_error(WIFSIGNALED(exit) ? "the store step was killed by signal " + std::to_string(WTERMSIG(exit))
                                                   : "the store step ended without a report");
    if (report[0] == kThrew) throw std::runtime_error(report.substr(1));
    std::optional<HostStatus> next = StatusFromJson(report.substr(1));
    if (!next || (report[0] != kChanged && report[0] != kUnchanged))
        throw std::runtime_error("the store step reported what is not a status");
    status = std::move(*next);
    return report[0] == kChanged;
}

} // namespace TarnFleet
