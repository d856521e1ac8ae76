#include "agent_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tarn/platform/host_root.h"

namespace TarnFleet {

namespace {

constexpr char kStateDir[] = "/var/lib/halden/fleet";

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::string AgentStatePath(const std::string& fleet) {
    return TarnPlatform::HostPath(std::string(kStateDir) + "/" + fleet + ".agent.json");
}

void SaveState(const std::string& fleet, const HostStatus& status) {
    const std::string path = AgentStatePath(fleet);
    TarnPlatform::MakeDirectories(TarnPlatform::HostPath(kStateDir));
    const std::string temp = path + ".tmp";
    const std::string text = StatusToJson(status);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) throw std::runtime_error("cannot write " + temp);
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot write " + path);
    const int dir = ::open(TarnPlatform::HostPath(kStateDir).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

HostStatus LoadState(const std::string& fleet, const std::string& host) {
    const auto text = ReadFile(AgentStatePath(fleet));
    std::optional<HostStatus> status = text ? StatusFromJson(*text) : std::nullopt;
    if (!status || status->host != host) {
        HostStatus fresh;
        fresh.host = host;
        return fresh;
    }
    return *status;
}

} // namespace TarnFleet
