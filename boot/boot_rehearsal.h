// The next boot, run for real in a child process on copies of the files it
// changes, so that the host's own files stay byte for byte as they were.
// The preview of the next boot is what this rehearsal did.
#pragma once

#include <string>
#include <vector>

#include "tarn/boot.h"
#include "tarn/config_diff.h"

namespace TarnConfigStore {

struct RehearsedBoot {
    LoadOutcome outcome;
    std::vector<ConfigLayerRow> layers;  // Config as the boot left it
    std::vector<std::string> alerts;     // the system alerts it raised, in order
    std::vector<std::string> events;     // the events it raised: id, a blank, the message
};

// Runs LoadStore(restore) in a child process whose host paths of the store,
// its backups, the boot's records and logs are redirected to a scratch
// directory holding copies of them; the scratch directory is removed
// afterwards. The caller holds the store's writer lock, so that nothing
// changes while the copies are taken. Call it from a single-threaded
// process. Throws ConfigStoreException "The next boot cannot be rehearsed:
// <reason>" when the child could not be run or the copies not taken.
RehearsedBoot RehearseBoot(bool restore);

} // namespace TarnConfigStore
