// A preview of the next boot: the restore it will do, the boot mode it will
// run in, what it will add, change or remove in the layers of Config against
// the live store, and the alerts and events it will raise.
#pragma once

#include <string>
#include <vector>

#include "tarn/boot.h"
#include "tarn/boot_state.h"
#include "tarn/config_diff.h"
#include "tarn/export.h"

namespace TarnConfigStore {

struct TARN_EXPORT BootPlan {
    RestoredFrom restoredFrom = RestoredFrom::Nothing;
    // The fixed path of the backup restored, or of the one that cannot be
    // (a new store then); empty when there is none.
    std::string backup;
    BOOTMODE bootMode = BOOTMODE_NORMAL;  // the mode of the boot's desired-configuration step
    std::string failure;                  // the alert of a boot that fails; empty when it runs to its end
    std::vector<ConfigRowChange> changes; // against the live store (all added when there is none)
    std::vector<std::string> alerts;      // the system alerts it raises, in order
    std::vector<std::string> events;      // the events it raises: id, a blank, the message
};

// Runs the next boot (LoadStore(restore)) for real, in a child process on
// copies of the files it changes, and compares the store it leaves with the
// live one; the host's files stay byte for byte as they were. The caller
// holds the store's writer lock and runs single-threaded. Throws
// ConfigStoreException when the boot cannot be rehearsed, and what reading
// the live store or the rehearsed one throws. A live store that cannot be
// read counts as empty: the boot that restores a backup replaces it.
TARN_EXPORT BootPlan PlanNextBoot(bool restore = true);

} // namespace TarnConfigStore
