#include "upgrade/isolated_call.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tarn/platform/unique_fd.h"

namespace TarnConfigUpgrade {
namespace {

using TarnPlatform::UniqueFd;

bool ReadAll(int fd, void* buffer, size_t size) {
    auto* at = static_cast<char*>(buffer);
    while (size > 0) {
        ssize_t n = ::read(fd, at, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

[[noreturn]] void RunChild(int writeFd, TarnConfigUpgradeEntry entry, const TarnConfigUpgradeContext& context) {
    int result = entry(&context);
    ssize_t written;
    do {
        written = ::write(writeFd, &result, sizeof result);
    } while (written < 0 && errno == EINTR);
    std::fflush(nullptr);
    _exit(written == static_cast<ssize_t>(sizeof result) ? 0 : 1);
}

std::string Describe(int status) {
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    return "status " + std::to_string(status);
}

} // namespace

IsolatedOutcome CallIsolated(TarnConfigUpgradeEntry entry, const TarnConfigUpgradeContext& context) {
    int fds[2];
    if (::pipe(fds) != 0) return {false, 0, std::string("no pipe: ") + std::strerror(errno)};
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);

    std::fflush(nullptr);  // buffered output would otherwise be written twice
    pid_t pid = ::fork();
    if (pid < 0) return {false, 0, std::string("no child process: ") + std::strerror(errno)};
    if (pid == 0) RunChild(writeEnd.Get(), entry, context);

    writeEnd.Reset();  // so that the read ends when the child does
    int result = 0;
    bool reported = ReadAll(readEnd.Get(), &result, sizeof result);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return {false, 0, std::string("lost the child: ") + std::strerror(errno)};
    }
    if (reported && WIFEXITED(status) && WEXITSTATUS(status) == 0) return {true, result, ""};
    return {false, 0, Describe(status)};
}

} // namespace TarnConfigUpgrade
