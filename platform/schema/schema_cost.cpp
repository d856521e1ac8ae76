#include "schema/schema_cost.h"

#include "schema/compiled_schema.h"
#include "schema/schema_match.h"

namespace TarnSchemaCost {

size_t CompiledNodes(const rapidjson::Value& schema) {
    auto compiled = TarnSchemaValidation::CompiledFor(schema);
    return compiled->graph ? compiled->graph->NodeCount() : 0;
}

uint64_t NodeChecks() { return TarnSchemaValidation::NodeChecks(); }

} // namespace TarnSchemaCost
