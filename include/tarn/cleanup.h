// Removing what no installed schema describes any more: configuration
// objects without a schema, the automatic value layer, data-file metadata
// without a data-file schema, and data files the data-file store does not
// know. Host tools call these besides the boot-time load.
// The refresh that a live installation runs is in schema_processing.h.
#pragma once

#include "tarn/export.h"

namespace TarnConfigStore {

// Clears AutoConfValue of every configuration object and deletes the objects
// left without any value. Throws ConfigStoreException when either statement
// fails (the first one's effect then stays). Without a store connection it
// logs and returns.
TARN_EXPORT void CleanupAutoConfig();

// Deletes configuration objects and data-file metadata whose schema is not
// registered. boot is true for the boot-time load, which keeps the data
// directories on disk; a live cleanup (false) also removes the directories
// of the metadata rows it deletes. Reports failures by log line only.
TARN_EXPORT void CleanupStore(bool boot);

// Brings the data-file root and the data-file metadata into agreement:
// removes files and directories that no metadata row names and deletes rows
// whose file is gone. Database failures are reported by log line and the
// event "evt.user.cs.dfs.cleanup.error"; failures to read the data-file root
// itself pass to the caller as std::filesystem::filesystem_error.
TARN_EXPORT void CleanupDataFiles();

} // namespace TarnConfigStore
