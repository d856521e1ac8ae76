// A step of the agent that touches the host's store, run in a child process.
// The store's and the schemas' code and everything the step allocates are
// the child's, handed back to the host when it exits: an agent that waits
// between documents stays as small as one that never stored any.
#pragma once

#include <functional>

#include "host_status.h"

namespace TarnFleet {

// Runs step on a copy of status in a child and takes the status it ends
// with; returns what step returned. An exception of step is thrown again
// here as std::runtime_error with its text; a child that ends without a
// report (killed, crashed) throws too, leaving status as it was.
// While the child runs, whileWaiting (when given) is called about once a
// second: the agent keeps its lease through a long store.
bool RunStoreStep(HostStatus& status, const std::function<bool(HostStatus&)>& step,
                  const std::function<void()>& whileWaiting = {});

} // namespace TarnFleet
