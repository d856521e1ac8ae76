// Calling a module's entry point in a child process, so that a module that
// crashes cannot take the caller with it.
#pragma once

#include <string>

#include "tarn/platform/config_upgrade.h"

namespace TarnConfigUpgrade {

struct IsolatedOutcome {
    bool completed;      // the child reported the entry point's result
    int result;          // the entry point's result when completed
    std::string abnormal;  // how the child ended otherwise ("signal 6", "exit status 3", ...)
};

// Forks; the child calls entry(context), sends the result back through a
// pipe and ends with _exit, running no destructors of the caller's objects.
IsolatedOutcome CallIsolated(TarnConfigUpgradeEntry entry, const TarnConfigUpgradeContext& context);

} // namespace TarnConfigUpgrade
