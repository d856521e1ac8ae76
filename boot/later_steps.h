// Boot steps whose work comes with later parts of the system. The load calls
// each of them at its place; each does nothing (and logs nothing) until its
// work is added here, so that adding one changes the load in one place.
#pragma once

#include <memory>

#include "tarn/platform/db_store.h"

namespace TarnConfigStore {

// Boot-mode work, run inside the load's transaction with the schema store
// attached as ss. Each throws on failure and leaves the rollback to the load.
// Not built yet: each does nothing.

// Boot mode 1: the stored desired user configuration replaces the user
// configuration of the objects that take part in desired-state configuration.
void BootWithNewDesiredConfiguration(const std::shared_ptr<DBStore::StoreConnection>& conn);
// Boot mode 2: the boot configuration document becomes user configuration.
void ProcessBootDocument(const std::shared_ptr<DBStore::StoreConnection>& conn);
// Boot mode 3: the SmartNIC boot actions of the stored desired configuration.
void SetupSmartnicBootConfiguration(const std::shared_ptr<DBStore::StoreConnection>& conn);

} // namespace TarnConfigStore
