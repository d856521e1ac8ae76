// Removing the files of the non-schema file list that no installed crate
// declares.
#pragma once

namespace TarnConfigStore {

// The list that the file tracking writes for the host: whitespace-separated
// paths relative to "/".
inline constexpr char NON_SCHEMA_FILE_LIST[] = "/var/run/nonSchemaFiles";

// Reads the list, logs for each path whether a crate declares it, and
// removes the existing files that none declares. When the crates'
// declarations cannot be read, nothing is removed. The list stays in place.
// Throws only what file removal throws.
void RemoveNonSchemaFiles();

} // namespace TarnConfigStore
