// Shared schema nodes: compiled once, checked once per value, still telling
// each error where it is; and the limits that refuse what a host cannot
// afford to check.
#include <string>

#include <gtest/gtest.h>

#include "platform/schema/schema_cost.h"
#include "platform/schema/schema_store_fixture.h"

using SchemaTest::Errors;
using SchemaTest::Validate;

namespace {

const std::set<int> kAll = {JsonValidator::CHECK_SCHEMA, JsonValidator::ALL_ERRORS};
const std::set<int> kFirst = {JsonValidator::CHECK_SCHEMA};

std::string Ref(int i) { return R"({"$ref": "#/definitions/d)" + std::to_string(i) + "\"}"; }

// d_0 .. d_depth-1 each of node(i + 1), the last one last, the root a reference to d_0.
template <typename Node>
std::string Definitions(int depth, Node node, const std::string& last) {
    std::string defs;
    for (int i = 0; i < depth; ++i) defs += "\"d" + std::to_string(i) + "\": " + node(i + 1) + ", ";
    return R"({"$ref": "#/definitions/d0", "definitions": {)" + defs + "\"d" + std::to_string(depth) + "\": " + last + "}}";
}

std::string Diamond(int depth) {
    return Definitions(depth, [](int i) { return R"({"allOf": [)" + Ref(i) + ", " + Ref(i) + "]}"; },
                       R"({"type": "object", "properties": {"leaf": {"type": "integer", "maximum": 5}}})");
}

TEST(SchemaCost, DiamondOfDepth30IsCompiledAndCheckedOncePerNode) {
    const std::string schema = Diamond(30);
    const auto doc = SchemaTest::Json(schema);
    // The root, 31 definitions, two references in each of 30: every object once.
    EXPECT_EQ(TarnSchemaCost::CompiledNodes(*doc), 1u + 31 + 60 + 1);

    const uint64_t before = TarnSchemaCost::NodeChecks();
    EXPECT_EQ(Validate(schema, R"({"leaf": 3})", kAll), Errors{});
    // Each definition once for the object and the leaf's node for its member; 2^30 without sharing.
    EXPECT_LT(TarnSchemaCost::NodeChecks() - before, 100u);

    // A failure at the deepest node is told once, where it is, through every path to it.
    EXPECT_EQ(Validate(schema, R"({"leaf": 9})", kAll), (Errors{{"/leaf", "maximum: expected a number <= 5, found 9"}}));
    // The first error only: the combinator that failed.
    EXPECT_EQ(Validate(schema, R"({"leaf": "x"})", kFirst), (Errors{{"", "allOf: expected to match all 2 schemas"}}));
    EXPECT_EQ(Validate(schema, "[]", kAll), (Errors{{"", "type: expected object, found array"}}));
}

TEST(SchemaCost, SharedNodeReachedThroughTwoPathsReportsAtEachPointer) {
    const char schema[] = R"({"definitions": {"port": {"type": "object", "required": ["n"],
          "properties": {"n": {"type": "integer", "maximum": 10}}}},
        "properties": {"a": {"$ref": "#/definitions/port"}, "list": {"type": "array", "items": {"$ref": "#/definitions/port"}},
          "both": {"allOf": [{"$ref": "#/definitions/port"}, {"properties": {"n": {"minimum": 5}}}]}}})";
    EXPECT_EQ(Validate(schema, R"({"a": {"n": 11}, "list": [{"n": 1}, {}, {"n": 12}], "both": {"n": 2}})", kAll),
              (Errors{{"/a/n", "maximum: expected a number <= 10, found 11"},
                      {"/list/1", "required: missing member 'n'"},
                      {"/list/2/n", "maximum: expected a number <= 10, found 12"},
                      {"/both/n", "minimum: expected a number >= 5, found 2"}}));
    // The same subvalue against the same node twice (allOf of one reference twice) is one error.
    const char twice[] = R"({"definitions": {"p": {"maximum": 1}}, "allOf": [{"$ref": "#/definitions/p"}, {"$ref": "#/definitions/p"}]})";
    EXPECT_EQ(Validate(twice, "2", kAll), (Errors{{"", "maximum: expected a number <= 1, found 2"}}));
}

TEST(SchemaCost, LongReferenceChainsAndLargeKeywordsAreChecked) {
    // A chain of 20000 references: compiled without recursion, each link followed once.
    const std::string chain = Definitions(20000, Ref, R"({"type": "integer"})");
    EXPECT_EQ(Validate(chain, "3", kAll), Errors{});
    EXPECT_EQ(Validate(chain, "\"x\"", kAll), (Errors{{"", "type: expected integer, found string"}}));

    // Enum members and repeated elements found by hash, numbers by value.
    std::string values;
    for (int i = 0; i < 50000; ++i) values += std::to_string(i) + ", ";
    const std::string enumSchema = R"({"items": {"enum": [)" + values + R"({"a": [1, 2]}]}, "uniqueItems": true})";
    EXPECT_EQ(Validate(enumSchema, R"([49999, 0.0, {"a": [1, 2.0]}])", kAll), Errors{});
    EXPECT_EQ(Validate(enumSchema, R"([7, 50000])", kFirst).at(0).first, "/1");
    EXPECT_EQ(Validate(enumSchema, R"([7, {"a": [2, 1]}, 7.0])", kAll).size(), 2u);
}

TEST(SchemaCost, SchemasBeyondTheLimitsAreRefusedNamingTheLimit) {
    // 65 levels of allOf applied to one value: the validator would recurse that deep for every level of a value.
    const std::string deep = Definitions(65, [](int i) { return R"({"allOf": [)" + Ref(i) + "]}"; }, "{}");
    EXPECT_EQ(Validate(deep, "1", kAll),
              (Errors{{"", "schema: the schema applies 65 subschemas one inside the other to the same value (through "
                           "\"allOf\", \"anyOf\", \"oneOf\", \"not\" or \"dependencies\"); the limit is 64"}}));
    const std::string notNot = Definitions(40, [](int i) { return R"({"not": {"not": )" + Ref(i) + "}}"; }, "{}");
    EXPECT_NE(Validate(notNot, "1", kAll).at(0).second.find("applies 80 subschemas"), std::string::npos);
    EXPECT_EQ(Validate(Diamond(64), R"({"leaf": 1})", kAll), Errors{});

    // Registration names the file and the limit.
    std::string objects;
    for (int i = 0; i < 500001; ++i) objects += "{},";
    const std::string entry = R"({"component": "netd", "group": "network", "key": "segments", "version": "1",
        "schema": {"type": "object", "default": [)" + objects + "{}]}}";
    EXPECT_EQ(SchemaTest::Refusal(entry), "Schema entry netd/network/segments of file bad refused: schema: the schema "
                                          "holds more than 500000 objects");
}

} // namespace
