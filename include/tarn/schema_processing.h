// Registration of the schema files that installed crates ship, and the
// default configuration of the registered schema objects.
#pragma once

#include <string>
#include <vector>

#include "tarn/export.h"
#include "tarn/platform/schema_store.h"

namespace TarnConfigStore {

// Registers the schema files of the schema directory that belong to the
// given crates (crate ids vendor_type_name_version), each file once, removes
// the registrations of files that left the directory, and then rebuilds the
// default configuration. An empty list takes the installed crates from the
// image database and processes every file it can; with a list, the first
// file that fails stops the run with the event
// "evt.user.cs.schema.file.error". Returns false when a file failed.
// Throws ConfigStoreException for a crate id with fewer than two
// underscores; exceptions of the image database and the schema store's
// queries pass through.
TARN_EXPORT bool ProcessSchemas(std::vector<std::string> crateIds);

// Rebuilds DefaultConfig from the default files, in one transaction: every
// default value valid against its registered schema, split into its layers.
// Defaults of mutable-default schemas in newIds (registered for the first
// time by this run) are also copied into Config. isTarnio: this host is the
// SmartNIC variant. Never throws; failures are logged and roll back.
TARN_EXPORT void ProcessDefaultConfiguration(bool isTarnio, const TarnSchemaStore::SchemaObjectIdSet& newIds);

// The refresh a live installation runs: ProcessSchemas with the crate ids,
// then the live-install upgrade modules. True when both succeeded.
TARN_EXPORT bool RefreshConfigStore(std::vector<std::string> crateIds, std::vector<std::string> modulePaths);

} // namespace TarnConfigStore
