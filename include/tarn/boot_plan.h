// A preview of the next boot's desired-configuration step: what it would
// add, change or remove in the layers of Config. The earlier boot steps
// (restore, schema processing, upgrade) are not part of it.
#pragma once

#include <vector>

#include "tarn/boot_state.h"
#include "tarn/config_diff.h"
#include "tarn/export.h"

namespace TarnConfigStore {

struct TARN_EXPORT BootPlan {
    BOOTMODE bootMode;
    std::vector<ConfigRowChange> changes;
};

// Runs the step's work (the boot mode's routine and the promotion) in a
// transaction on the live store that is always rolled back, so that the
// store's file is left byte for byte as it was; the store's write lock is
// held meanwhile. Throws ConfigStoreException "The next boot's desired
// configuration step fails: <reason>" when the work fails (the boot would
// then change nothing), and what connecting to the store throws.
TARN_EXPORT BootPlan PlanNextBoot();

} // namespace TarnConfigStore
