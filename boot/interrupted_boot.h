// What makes a boot that was cut short (killed, or the host lost power) end,
// at the next boot, exactly as if it had never started.
//
// A boot rebuilds the live store from its backup, so every change it made
// there is redone by the next one. The schema store is different: it is
// kept, and the schema step judges what is new against it; a boot cut
// short after registering a crate's schema file would leave the file
// registered while the mutable defaults it copied into the live store are
// gone with that store, and no later boot would copy them again. So before
// the schema step changes anything, the schema store is copied aside; the
// copy goes when the load ends, and a boot that finds it puts it back first.
#pragma once

#include <string>

#include "tarn/export.h"

namespace TarnConfigStore {

// Where the copy of the schema store taken before this boot's schema step lives.
TARN_EXPORT std::string SchemaStoreSnapshotPath();

// First step of a load: puts back the schema store of a boot cut short
// (logged), then removes the super-journals such a boot left beside the live
// store once no journal that may still name one is left. Throws
// ConfigStoreException when the schema store cannot be put back.
TARN_EXPORT void RecoverInterruptedBoot();

// Before the schema step: copies the schema store aside, whole or not at all
// (an empty file when there is none yet, which opens as an empty database).
// Throws ConfigStoreException when the copy cannot be made.
TARN_EXPORT void SnapshotSchemaStore();

// When the load ends, whatever its result: the copy is no longer needed.
TARN_EXPORT void DiscardSchemaStoreSnapshot();

} // namespace TarnConfigStore
