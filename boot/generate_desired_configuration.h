// The load's desired-configuration step: the work of the boot mode, then the
// promotion of every desired value to the user value, in one transaction
// with the schema store attached as ss.
#pragma once

#include <memory>

#include "tarn/boot_state.h"
#include "tarn/export.h"
#include "tarn/platform/db_store.h"

namespace TarnConfigStore {

// The step's work without its transaction: the boot mode's routine, then the promotion. The
// caller has begun the transaction and attached the schema store as ss;
// throws on the first failure and leaves the rollback to it.
TARN_EXPORT void RunDesiredConfigurationWork(BOOTMODE mode, const std::shared_ptr<DBStore::StoreConnection>& conn);

// Every failure inside the transaction cancels it, so that nothing of this
// step survives; failures of attach, begin, the step's work and detach are
// logged and raised as the event "evt.user.cs.desired.config.error", and
// the caller goes on. Throws what reading the boot mode and connecting to
// the store throw. Returns the boot mode it ran in.
TARN_EXPORT BOOTMODE GenerateDesiredConfiguration();

} // namespace TarnConfigStore
