// The load's desired-configuration step: the work of the boot mode, then the
// promotion of every desired value to the user value, in one transaction
// with the schema store attached as ss.
#pragma once

namespace TarnConfigStore {

// Every failure inside the transaction cancels it, so that nothing of this
// step survives; failures of attach, begin, the step's work and detach are
// logged and raised as the event "evt.user.cs.desired.config.error", and
// the caller goes on. Throws what reading the boot mode and connecting to
// the store throw.
void GenerateDesiredConfiguration();

} // namespace TarnConfigStore
