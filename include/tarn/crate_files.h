// The files that installed crates declare through schema objects named
// "files", listed by persistence category.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "tarn/export.h"
#include "tarn/platform/schema_store.h"

namespace TarnConfigStore {

// Category ("vital", "cached", "config") to the declared paths.
typedef std::unordered_map<std::string, std::vector<std::string>> CrateFileMap;

// Always the three keys "vital", "cached" and "config", each with the paths
// of the enabled declarations of that exact category, in the order the
// schema store lists them, duplicates kept. Exceptions of the schema store
// pass through.
TARN_EXPORT CrateFileMap GetCrateFiles();

// The same, read from the given schema store.
TARN_EXPORT CrateFileMap GetCrateFiles(const std::shared_ptr<TarnSchemaStore::SchemaStore>& store);

} // namespace TarnConfigStore
