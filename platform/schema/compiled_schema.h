// Schemas compiled for rapidjson's validator, and the registry of schemas
// that live long enough for their compiled form to be kept.
#pragma once

#include <memory>
#include <string>

#include "schema/layer_index.h"
#include "schema/listed_allocator.h"
#include "tarn/rapidjson.h"

namespace TarnSchemaValidation {

// Deepest schema or value nesting the validator accepts; rapidjson walks
// both recursively.
constexpr size_t MAX_NESTING = 200;

// A schema compiled for rapidjson's validator, on the listed heap (see
// listed_allocator.h).
using SchemaDocument = rapidjson::GenericSchemaDocument<rapidjson::Value, ListedAllocator>;

struct CompiledSchema {
    // Why the schema cannot be used; empty when it can.
    std::string problem;
    // The schema has local "$ref"s, so parts of it compile only together
    // with the whole.
    bool hasRefs = false;
    // The markers and member nodes the layer rules and generated
    // identifiers read; made for every schema, usable or not.
    std::shared_ptr<const LayerIndex> layers;
    std::unique_ptr<SchemaDocument> document;
    rapidjson::Document rewritten;  // what was compiled, when it differs from the schema
};

// Compiles source with rapidjson. rapidjson 1.1 mishandles
// "additionalProperties": false beside "patternProperties": a member that
// only a pattern describes is validated with the schema of the member
// before it, or overruns the validator's state. Such objects are compiled
// with the equivalent "additionalProperties": {"not": {}} (its errors come
// back with the keyword "not" at an "additionalProperties" that is false),
// in a copy made in scratch, which must outlive the result.
std::unique_ptr<SchemaDocument> CompileWithRapidjson(const rapidjson::Value& source, rapidjson::Document& scratch);

// What stops a schema from being compiled safely: not an object, nested too
// deep, a "$ref" that is not local, or a cycle of "$ref"s (rapidjson would
// follow it forever). Empty when none.
std::string FindCompileProblem(const rapidjson::Value& schema);

// Compiles the schema; problems end up in CompiledSchema::problem.
std::shared_ptr<const CompiledSchema> Compile(const rapidjson::Value& schema);

// The compiled form of the schema: kept once for registered schemas,
// compiled anew for any other.
std::shared_ptr<const CompiledSchema> CompiledFor(const rapidjson::Value& schema);

// The layer index of the schema: kept once for registered schemas, made
// anew for any other. Cheaper than CompiledFor when only the index is needed.
std::shared_ptr<const LayerIndex> LayersFor(const rapidjson::Value& schema);

// Schemas that stay unchanged at their address from Register to Unregister
// (the documents of schema objects). Their compiled forms are kept.
void RegisterStableSchema(const rapidjson::Value* schema);
void UnregisterStableSchema(const rapidjson::Value* schema);

} // namespace TarnSchemaValidation
