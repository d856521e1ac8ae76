#include "tarn/store_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"

namespace TarnConfigStore {
namespace {

using Clock = std::chrono::steady_clock;
using TarnPlatform::UniqueFd;

constexpr std::chrono::milliseconds kPoll{10};

std::string LockPath() { return TarnPlatform::HostPath(STORE_LOCK_PATH); }

[[noreturn]] void Fail(const std::string& message) { throw ConfigStoreException(message.c_str()); }

std::string ReadHolder(int fd) {
    std::string text;
    char buffer[512];
    for (off_t at = 0;;) {
        ssize_t n = pread(fd, buffer, sizeof buffer, at);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
        at += n;
        if (text.size() > 4096) break;  // a holder's text is one short line
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
    return text;
}

bool TryLock(int fd) {
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return false;
        Fail(std::string("Cannot lock the configuration store (") + LockPath() + "): " + std::strerror(errno));
    }
    return true;
}

} // namespace

StoreLock::StoreLock(const std::string& holder, std::chrono::milliseconds wait, const WaitNotice& notice)
    : m_holder(holder) {
    const std::string path = LockPath();
    TarnPlatform::MakeDirectories(path.substr(0, path.rfind('/')));
    m_fd.Reset(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (m_fd.Get() < 0) Fail("Cannot open the configuration store's lock " + path + ": " + std::strerror(errno));

    const Clock::time_point deadline = Clock::now() + wait;
    bool noticed = false;
    while (!TryLock(m_fd.Get())) {
        if (!noticed && notice) notice(ReadHolder(m_fd.Get()));
        noticed = true;
        if (wait.count() >= 0 && Clock::now() >= deadline) {
            std::string by = ReadHolder(m_fd.Get());
            if (by.empty()) by = "another process";
            Fail("The configuration store is in use by " + by + "; gave up after " +
                 std::to_string(wait.count()) + " ms (lock " + path + ")");
        }
        std::this_thread::sleep_for(kPoll);
    }
    const std::string line = holder + "\n";
    if (ftruncate(m_fd.Get(), 0) != 0 || pwrite(m_fd.Get(), line.data(), line.size(), 0) < 0)
        CSLogger::Log(0, "Cannot record the holder in %s: %s", path.c_str(), std::strerror(errno));
    CSLogger::Log(3, "Store lock taken by %s", holder.c_str());
}

StoreLock::~StoreLock() {
    // Emptied before the lock goes, so a waiter never names a holder that left.
    if (ftruncate(m_fd.Get(), 0) != 0) {
        // Closing the descriptor below still releases the lock.
    }
    CSLogger::Log(3, "Store lock released by %s", m_holder.c_str());
}

std::string StoreLockHolder() {
    UniqueFd fd(open(LockPath().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.Get() < 0) return std::string();
    if (flock(fd.Get(), LOCK_SH | LOCK_NB) == 0) return std::string();
    return ReadHolder(fd.Get());
}

} // namespace TarnConfigStore
