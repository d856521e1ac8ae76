#include "agent_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

#include "tarn/platform/host_root.h"

namespace TarnFleet {

AgentLog::AgentLog() : m_path(TarnPlatform::HostPath("/var/log/tarn-fleet-agent.log")) {
    TarnPlatform::MakeDirectories(TarnPlatform::HostPath("/var/log"));
}

void AgentLog::Line(const std::string& text) const {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    const std::string line = std::string(stamp) + " " + text + "\n";
    // One write per line on an O_APPEND descriptor: lines of agents of other
    // fleets sharing the file never interleave within a line.
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return;  // the log is not worth stopping the agent for
    [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
}

} // namespace TarnFleet
