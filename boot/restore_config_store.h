// Bringing the store databases back from their backups at boot; the first
// step of the load. Internal to the library: exported only so that the
// library's tests and benchmarks can drive the step on its own.
#pragma once

#include <string>

#include "tarn/boot.h"
#include "tarn/export.h"

namespace TarnConfigStore {

// With restore false: does nothing and returns 0. Otherwise removes a stale
// live configuration store, copies the configuration store and the data-file
// store back from backups that pass the integrity check, creates whatever
// database is still missing, and returns 1 (after setting boot mode 2) when
// the configuration store had to be created new, else 0. Only exceptions of
// the database service or SetBootMode leave it.
TARN_EXPORT int RestoreConfigStore(bool restore);

// The same, saying what it did.
int RestoreConfigStore(bool restore, RestoreReport* report);

} // namespace TarnConfigStore
