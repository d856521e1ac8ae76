// Registration of one crate's schema file, and the pieces shared by the run
// over the schema directory.
#pragma once

#include <memory>
#include <string>
#include <unordered_set>

#include "tarn/platform/schema_store.h"

namespace TarnConfigStore {

inline constexpr char SCHEMA_DIR[] = "/usr/lib/halden/configmanager/schemas";
// Present on the SmartNIC variant of the host.
inline constexpr char TARNIO_MARKER[] = "/etc/.tarnio";

// The crate schema ID of a crate ID (vendor_type_name_version): the text
// after its second underscore. Throws ConfigStoreException when there is
// no second underscore.
std::string SchemaIdFromCrateId(const std::string& crateId);

// Registers the entries of the schema file <fileId>.json when its metadata
// names a crate of crateSchemaIds, each entry as the SmartNIC split decides;
// the IDs of entries not in registeredIds go into newIds. False when the
// file was refused or failed (logged). Never throws.
bool ProcessSchemaFile(const std::shared_ptr<TarnSchemaStore::SchemaStore>& store, const std::string& fileId,
                       const std::unordered_set<std::string>& crateSchemaIds,
                       const TarnSchemaStore::SchemaObjectIdSet& registeredIds,
                       TarnSchemaStore::SchemaObjectIdSet& newIds, bool isTarnio);

} // namespace TarnConfigStore
