// The agent's own record of what it handled and stored, in a file under the
// host root (/var/lib/halden/fleet/<fleet>.agent.json): what a restarted
// agent resumes from. The same object as the status it reports.
#pragma once

#include <string>

#include "host_status.h"

namespace TarnFleet {

std::string AgentStatePath(const std::string& fleet);
// The saved state of host; a fresh one when there is none, or it is not
// readable, or it is another host's.
HostStatus LoadState(const std::string& fleet, const std::string& host);
// Replaces the file whole (a temporary file, synced, renamed, the directory
// synced): a kill leaves the old state or the new one. Throws when it cannot.
void SaveState(const std::string& fleet, const HostStatus& status);

} // namespace TarnFleet
