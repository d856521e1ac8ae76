// Schemas compiled for the validator: every node once, shared by all the
// places that refer to it; and the registry of schemas that live long
// enough for their compiled form to be kept.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "schema/json_equality.h"
#include "schema/layer_index.h"
#include "tarn/platform/pattern.h"
#include "tarn/rapidjson.h"

namespace TarnSchemaValidation {

// Deepest schema or value nesting the validator accepts; both are walked
// recursively.
constexpr size_t MAX_NESTING = 200;
// Most subschemas applied one inside the other to the same value (through
// "allOf", "anyOf", "oneOf", "not" and schema "dependencies"; a "$ref"
// counts as its target). The validator recurses that deep for each level of
// the value, so the two together bound its stack.
constexpr size_t MAX_APPLIED_DEPTH = 64;
// Most schema objects one schema may hold. Compiling costs memory in
// proportion; a schema file of 1 MB holds fewer.
constexpr size_t MAX_SCHEMA_NODES = 500000;

// One schema object, compiled. Keywords of the wrong type are left out, as
// the draft-4 meta-schema refuses them in registered schemas anyway.
struct SchemaNode {
    static constexpr uint64_t kUnbounded = UINT64_MAX;
    struct Dependency {
        std::string_view member;
        std::vector<std::string_view> members;  // of a property dependency
        const SchemaNode* schema = nullptr;     // of a schema dependency
    };

    const rapidjson::Value* source = nullptr;
    // A "$ref": the node stands for its target, a node without "$ref", and
    // its other keywords do not count.
    const SchemaNode* ref = nullptr;
    // Referred to: its verdicts are kept for the values of a validation.
    bool shared = false;

    unsigned types = ~0u;  // bits of the types allowed (see TypeBits)
    const rapidjson::Value* minimum = nullptr;
    const rapidjson::Value* maximum = nullptr;
    const rapidjson::Value* multipleOf = nullptr;
    bool exclusiveMinimum = false, exclusiveMaximum = false;

    uint64_t minLength = 0, maxLength = kUnbounded;
    TarnPlatform::PatternPtr pattern;
    std::string_view format;  // a format the validator checks, or empty

    const SchemaNode* items = nullptr;  // "items" as one schema
    std::vector<const SchemaNode*> tuple;  // "items" as an array
    bool tupleItems = false;
    bool noAdditionalItems = false;
    const SchemaNode* additionalItems = nullptr;
    uint64_t minItems = 0, maxItems = kUnbounded;
    bool uniqueItems = false;

    std::unordered_map<std::string_view, const SchemaNode*> properties;
    std::vector<std::pair<TarnPlatform::PatternPtr, const SchemaNode*>> patternProperties;
    bool noAdditionalProperties = false;
    const SchemaNode* additionalProperties = nullptr;
    std::vector<std::string_view> required;
    uint64_t minProperties = 0, maxProperties = kUnbounded;
    std::vector<Dependency> dependencies;

    std::unique_ptr<JsonValueIndex> enumValues;
    std::vector<const SchemaNode*> allOf, anyOf, oneOf;
    const SchemaNode* notSchema = nullptr;
};

// Whether a number is an integer, however many digits it was written with.
bool IsIntegerNumber(const rapidjson::Value& number);
// The type bit of a value's JSON type; integers carry the number bit too.
unsigned TypeBits(const rapidjson::Value& value);

// The nodes of one schema, each compiled once. The schema must stay
// unchanged at its address while the graph lives, and be free of the
// problems FindCompileProblem names.
class SchemaGraph {
public:
    explicit SchemaGraph(const rapidjson::Value& root);
    // Compiles detached, a value outside the root (a changed copy of one of
    // its nodes), whose references lead into base's nodes.
    SchemaGraph(const rapidjson::Value& detached, const SchemaGraph& base);
    SchemaGraph(const SchemaGraph&) = delete;
    SchemaGraph& operator=(const SchemaGraph&) = delete;

    const SchemaNode& Root() const { return *m_root; }
    // The node compiled from a schema object of the root, or null.
    const SchemaNode* NodeOf(const rapidjson::Value* source) const;
    size_t NodeCount() const { return m_nodes.size(); }

private:
    class Builder;

    const rapidjson::Value& m_source;
    std::deque<SchemaNode> m_nodes;  // stable addresses as it grows
    std::unordered_map<const rapidjson::Value*, const SchemaNode*> m_bySource;
    const SchemaNode* m_root = nullptr;
};

struct CompiledSchema {
    // Why the schema cannot be used; empty when it can.
    std::string problem;
    // The markers and member nodes the layer rules and generated
    // identifiers read; made for every schema, usable or not.
    std::shared_ptr<const LayerIndex> layers;
    std::unique_ptr<SchemaGraph> graph;  // when usable
};

// What stops a schema from being compiled safely: not an object, nested too
// deep, too many nodes, a name given twice in one object, a "$ref" that is
// not local or leads nowhere, a cycle of "$ref"s, subschemas applied to the
// same value without end or deeper than MAX_APPLIED_DEPTH. Empty when none.
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
