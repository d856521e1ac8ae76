// What a load of the store did, for a caller that reports on it (the
// preview of the next boot runs the real load and tells what it did).
#pragma once

#include <string>

#include "boot/restore_config_store.h"
#include "tarn/boot_state.h"

namespace TarnConfigStore {

struct LoadOutcome {
    RestoreReport restore;
    BOOTMODE bootMode = BOOTMODE_NORMAL;  // the mode the desired-configuration step ran in
    std::string failure;                  // the alert of a load that ended early; empty when it ran to its end
};

// LoadStore, filling outcome as far as the load got.
int LoadStore(bool restore, LoadOutcome* outcome);

} // namespace TarnConfigStore
