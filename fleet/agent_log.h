// The agent's own log, /var/log/tarn-fleet-agent.log under the host root:
// one line per thing it did or could not do, with the time.
#pragma once

#include <string>

namespace TarnFleet {

class AgentLog {
public:
    AgentLog();
    void Line(const std::string& text) const;

private:
    std::string m_path;
};

} // namespace TarnFleet
