// What compiling and checking schemas costs, counted for tests: sharing
// shows as counts that grow with the schema, not with the paths through it.
// Includes only public headers, so tests can include it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tarn/export.h"
#include "tarn/rapidjson.h"

namespace TarnSchemaCost {

// Nodes compiled for the schema; 0 when it cannot be compiled.
TARN_PLATFORM_EXPORT size_t CompiledNodes(const rapidjson::Value& schema);

// Schema nodes this thread has checked a value against so far.
TARN_PLATFORM_EXPORT uint64_t NodeChecks();

} // namespace TarnSchemaCost
