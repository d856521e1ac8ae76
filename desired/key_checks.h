// Checks of a desired document that no object's schema can make: the names
// of its keys, and the instances of one object across the document.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tarn/platform/schema_store.h"

namespace TarnConfigStore {

// A name as a JSON pointer's reference token ("~" as "~0", "/" as "~1").
std::string PointerToken(const std::string& name);

// The reference tokens of a JSON pointer, "~1" and "~0" undone.
std::vector<std::string> PointerTokens(const std::string& pointer);

struct KeyError {
    std::string pointer;
    std::string reason;
};

// The errors of the keys (every occurrence of a registered key, in document
// order), in that order:
// - a component, group or key name with a NUL byte inside, reported once:
//   the rows' statement texts hold the names, and SQLite reads a statement
//   text only up to a NUL byte, so storing would fail;
// - an instance identifier that an earlier instance of the same object has
//   (byte for byte, anywhere in the document): storing would keep only the
//   later value, each row replacing the one with the same identifier.
std::vector<KeyError> CheckKeys(const std::vector<TarnSchemaStore::DesiredKeySchema>& keys,
                                const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache);

} // namespace TarnConfigStore
