#pragma once

#include <memory>
#include <string>

#include "tarn/export.h"
#include "tarn/platform/db_store.h"

namespace TarnConfigStore {

// A connection of the given type. When none can be made: throws
// ConfigStoreException "Failed to connect to database" if required is true,
// else returns the empty pointer.
TARN_EXPORT std::shared_ptr<DBStore::StoreConnection> GetDBConnection(DBStore::Type type, bool required);

// The value of a key/value key (empty when unset). Throws ConfigStoreException
// "Failed to read value for key <key>" when it cannot be read.
TARN_EXPORT std::string ReadKeyValueOrThrow(const std::string& key,
                                            const std::shared_ptr<DBStore::StoreConnection>& conn);

// Runs sql on conn (its busy timeout waited out); throws ConfigStoreException
// failure when it fails.
TARN_EXPORT void ExecuteOrThrow(const std::shared_ptr<DBStore::StoreConnection>& conn, const std::string& sql,
                                const char* failure);

// The statement that attaches the schema store as ss, its path under the
// host root.
TARN_EXPORT std::string AttachSchemaStoreStatement();

} // namespace TarnConfigStore
