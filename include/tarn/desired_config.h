// Desired configuration: checking a desired document against the registered
// schemas and storing it, or a SmartNIC configuration, for the next boot.
// Nothing changes in Config until the next load applies the stored rows
// (boot mode 1 or 3). Formats and decisions: docs/desired-configuration.md.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tarn/export.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/schema_store.h"
#include "tarn/rapidjson.h"

namespace TarnConfigStore {

// True when every object the document names satisfies its user schema:
// {"profile": {component: {group: {key: value}}}}. Every error is logged
// (code 1083); invalid content does not throw.
TARN_EXPORT bool ValidateDesiredDocument(const rapidjson::Document& document,
                                         const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache);

// One error of a desired document, for a caller that shows them.
struct TARN_EXPORT DesiredDocumentError {
    std::string object;    // component/group/key, empty above the key level
    std::string instance;  // the instance's identifier, "#<index>" without one, empty for a singleton
    std::string pointer;   // JSON pointer of the offending value in the document
    std::string reason;
};

// The errors ValidateDesiredDocument would log, in the validator's order;
// empty when the document is valid. Logs nothing.
TARN_EXPORT std::vector<DesiredDocumentError>
ListDesiredDocumentErrors(const rapidjson::Document& document,
                          const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache);

// Writes the document's values into DesiredUserConfig (boot action "SET")
// and copies the defaults of mutable-default objects the document does not
// name. The caller owns the transaction. A generated identifier is added to
// the document's values where the schema asks for one. Throws on failure; a
// key without a registered schema throws ConfigStoreException. The schema
// objects are read through cache, a fresh one when none is given; the one
// the document was validated with spares reading each object again (for
// objects of 10 values, 6% of the work).
TARN_EXPORT void ProcessDesiredDocument(rapidjson::Document& document,
                                        const std::shared_ptr<DBStore::StoreConnection>& conn,
                                        std::shared_ptr<TarnSchemaStore::SchemaObjectCache> cache = nullptr);

// Replaces DesiredUserConfig by the document's rows and sets boot mode 1, in
// one transaction. The document is not validated here: run
// ValidateDesiredDocument first, and pass its cache on. Throws
// ConfigStoreException "SetDesiredUserConfig failed: <reason>" with nothing
// changed.
TARN_EXPORT void SetDesiredUserConfig(rapidjson::Document& document,
                                      const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache = nullptr);

// The SmartNIC form {component: {group: {key: value}}} (no "profile"): every
// object is validated, shared objects the document omits are reset to their
// defaults or deleted, and boot mode 3 is set, in one transaction. Throws
// ConfigStoreException "SetDesiredSmartnicConfiguration failed: <reason>"
// with nothing changed.
TARN_EXPORT void SetDesiredSmartnicConfiguration(rapidjson::Document& document);

// The validation SetDesiredSmartnicConfiguration runs, alone: true when every
// object of the SmartNIC form satisfies its user schema. Each failing object
// is logged as there ("Validation failed for configuration {c/g/k}", after
// the validator's own lines); nothing is written.
TARN_EXPORT bool ValidateSmartnicConfiguration(const rapidjson::Document& document);

// The user configuration of the objects a desired document governs, as a
// desired document that stores it again: every object taking part in
// desired-state configuration (dspIntegrated) or with mutable defaults,
// except those of kind internal. Each holds its instances' user values as
// stored (one array per multi-instance object, by identifier), an
// identifier member added where a value lacks it; a mutable-default object
// without any is "DELETE_DEFAULT", so its defaults do not come back; a
// desired-state object without any is left out. Storing the document and
// booting then leaves every layer of Config as it was, except for the
// values listed in notRestated.
struct TARN_EXPORT DesiredExport {
    rapidjson::Document document;
    // "<c/g/k>[<identifier>]: <reason>" for each user value that no desired
    // document can hold (not a JSON object, or naming another instance).
    std::vector<std::string> notRestated;
};
TARN_EXPORT DesiredExport ExportDesiredDocument();

} // namespace TarnConfigStore
