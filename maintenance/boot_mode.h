// Setting the boot mode inside a transaction that is open on a connection.
#pragma once

#include <memory>

#include "tarn/boot_state.h"
#include "tarn/platform/db_store.h"

namespace TarnConfigStore {

// SetBootMode on conn, so that the mode commits or rolls back with the
// caller's transaction (a second connection would wait for that transaction
// and fail). Unlike SetBootMode, a failed write throws ConfigStoreException:
// the caller's transaction must not commit without it.
void SetBootModeOn(BOOTMODE mode, const std::shared_ptr<DBStore::StoreConnection>& conn);

} // namespace TarnConfigStore
