// The validator's report: where each error is, what failed, and that every
// independent error is found; the store's own codes; inputs that must not
// bring it down.
#include <string>

#include <gtest/gtest.h>

#include "platform/schema/schema_store_fixture.h"

using SchemaTest::Errors;
using SchemaTest::Validate;

namespace {

const std::set<int> kAll = {JsonValidator::CHECK_SCHEMA, JsonValidator::ALL_ERRORS};
const std::set<int> kFirst = {JsonValidator::CHECK_SCHEMA};

const char kPortGroup[] = R"({
  "type": "object",
  "properties": {
    "name": {"type": "string", "minLength": 3},
    "mode": {"enum": ["access", "trunk"]},
    "port": {"type": "integer", "minimum": 1, "maximum": 65535},
    "tags": {"type": "array", "items": {"type": "string"}, "maxItems": 2},
    "uplinks": {"type": "array", "items": {
      "type": "object",
      "properties": {"nic": {"type": "string", "pattern": "^vnic[0-9]+$"}, "active": {"type": "boolean"}},
      "required": ["nic"], "additionalProperties": false}}
  },
  "required": ["name", "mode"],
  "additionalProperties": false
})";

} // namespace

TEST(JsonValidatorReport, EveryIndependentErrorWithLocationAndKeyword) {
    Errors errors = Validate(kPortGroup,
                             R"({"name": "ab", "port": 0, "tags": ["a", "b", "c"], "extra": 1,
                                 "uplinks": [{"nic": "vnic0"}, {"nic": "eth1", "active": "yes"}, {"active": true}]})",
                             kAll, "/netd/network/portgroups");
    const std::string at = "/netd/network/portgroups";
    EXPECT_EQ(errors, (Errors{
                          {at + "/name", "minLength: expected at least 3 characters, found \"ab\""},
                          {at + "/port", "minimum: expected a number >= 1, found 0"},
                          {at + "/tags", "maxItems: expected at most 2 elements, found 3"},
                          {at + "/uplinks/1/nic", "pattern: expected a string matching \"^vnic[0-9]+$\", found \"eth1\""},
                          {at + "/uplinks/1/active", "type: expected boolean, found string"},
                          {at + "/uplinks/2", "required: missing member 'nic'"},
                          {at + "/extra", "additionalProperties: member 'extra' is not allowed"},
                          {at, "required: missing member 'mode'"},
                      }));
}

TEST(JsonValidatorReport, WithoutAllErrorsOnlyTheFirst) {
    Errors errors = Validate(kPortGroup, R"({"name": "ab", "port": 0})", kFirst);
    EXPECT_EQ(errors, (Errors{{"/name", "minLength: expected at least 3 characters, found \"ab\""}}));
    EXPECT_EQ(Validate(kPortGroup, R"({"name": "abc", "mode": "trunk", "port": 8080})", kAll), Errors{});
}

TEST(JsonValidatorRobustness, UnusableSchemasAndValuesGiveAnErrorNotACrash) {
    const std::string deep = std::string(500, '[') + std::string(500, ']');
    EXPECT_EQ(Validate("[1]", "1", kAll), (Errors{{"", "schema: the schema is not an object"}}));
    EXPECT_EQ(Validate(R"({"$ref": "#"})", "1", kAll),
              (Errors{{"", "schema: $ref '#' leads into a cycle of references"}}));
    Errors cycle = Validate(R"({"definitions": {"a": {"$ref": "#/definitions/b"}, "b": {"$ref": "#/definitions/a"}},
                                "properties": {"x": {"$ref": "#/definitions/a"}}})",
                             R"({"x": 1})", kAll);
    ASSERT_EQ(cycle.size(), 1u);
    EXPECT_NE(cycle[0].second.find("leads into a cycle of references"), std::string::npos) << cycle[0].second;
    // References back through combinators would start validators for the
    // same value without end; through a member they end with the value.
    const std::string forever =
        "schema: the schema applies itself to the same value without end (through \"$ref\", \"allOf\", "
        "\"anyOf\", \"oneOf\", \"not\" or \"dependencies\")";
    EXPECT_EQ(Validate(R"({"allOf": [{"$ref": "#"}]})", "1", kAll), (Errors{{"", forever}}));
    EXPECT_EQ(Validate(R"({"definitions": {"a": {"oneOf": [{"$ref": "#/definitions/b"}]}, "b": {"not": {"$ref": "#/definitions/a"}}},
                          "properties": {"q": {"$ref": "#/definitions/b"}}})",
                       R"({"q": 1})", kAll),
              (Errors{{"", forever}}));
    EXPECT_EQ(Validate(R"({"properties": {"x": {"$ref": "#"}}, "additionalProperties": false})", R"({"x": {"x": {}}})", kAll),
              Errors{});
    EXPECT_EQ(Validate(R"({"$ref": "http://example.com/s.json"})", "1", kAll),
              (Errors{{"", "schema: remote $ref 'http://example.com/s.json' is not supported"}}));
    EXPECT_EQ(Validate("{}", deep, kAll), (Errors{{"", "value: nested deeper than 200 levels"}}));
    EXPECT_EQ(Validate(R"({"items": {"$ref": "#"}, "type": "array"})", deep, kAll),
              (Errors{{"", "value: nested deeper than 200 levels"}}));
    // An empty subschema slot would be used by rapidjson; other keywords of
    // the wrong type are passed over.
    EXPECT_EQ(Validate(R"({"not": false})", "1", kAll), (Errors{{"", "schema: \"not\" at '/' must be a schema object"}}));
    EXPECT_EQ(Validate(R"({"properties": {"a": {"anyOf": [1]}}})", "1", kAll),
              (Errors{{"", "schema: \"anyOf\" at '/properties/a' must hold schema objects"}}));
    EXPECT_EQ(Validate(R"({"minLength": "x", "properties": 3, "required": {}, "pattern": "(["})", R"({"a": "b"})", kAll),
              Errors{});
}

TEST(JsonValidatorCodes, UserLayerRefusesMarkedMembers) {
    const char schema[] = R"({"properties": {
        "name": {"type": "string", "instanceId": true},
        "mtu": {"type": "integer"},
        "stats": {"type": "object", "cached": true},
        "nested": {"type": "object", "properties": {"key": {"type": "string", "vital": true}}},
        "list": {"type": "array", "items": {"type": "object", "properties": {"s": {"vital": true, "cached": true}}}}}})";
    const std::set<int> user = {0, 1, JsonValidator::USER_LAYER};
    EXPECT_EQ(Validate(schema, R"({"name": "a", "mtu": 1500, "nested": {}})", user), Errors{});
    EXPECT_EQ(Validate(schema, R"({"name": "a", "stats": {}, "nested": {"key": "k"}, "list": [{}, {"s": 1}]})", user),
              (Errors{
                  {"/stats", "cached: the member belongs to the cached layer; a user value cannot set it"},
                  {"/nested/key", "vital: the member belongs to the vital layer; a user value cannot set it"},
                  {"/list/1/s", "vital: the member belongs to the vital and cached layers; a user value cannot set it"},
              }));
    EXPECT_EQ(Validate(schema, R"({"stats": {}})", kAll), Errors{});  // not without the code
}

TEST(JsonValidatorCodes, SplittableNeedsANodeForEveryMemberAndTypedItems) {
    const char schema[] = R"({"properties": {
        "open": {"type": "object"},
        "list": {"type": "array"},
        "whole": {"type": "object", "vital": true, "cached": true},
        "id": {"type": "object", "instanceId": true}},
      "additionalProperties": true})";
    const std::set<int> split = {0, 1, JsonValidator::SPLITTABLE};
    EXPECT_EQ(Validate(schema, R"({"open": {}, "list": [], "whole": {"x": 1}, "id": {"y": 2}})", split), Errors{});
    EXPECT_EQ(Validate(schema, R"({"open": {"a": 1}, "list": [1], "other": 2})", split),
              (Errors{
                  {"/open", "properties: the object has members but its schema node describes none; it cannot be split "
                            "into layers"},
                  {"/list", "items: the array's schema node has no \"items\" node with a \"type\"; it cannot be split "
                            "into layers"},
                  {"/other", "properties: member 'other' is not described; the value cannot be split into layers"},
              }));
}

TEST(JsonValidatorCodes, IdentifiersMustBeQuotableText) {
    const char schema[] = R"({"properties": {"name": {"instanceId": true},
        "ports": {"type": "array", "items": {"type": "object", "properties": {"p": {"instanceId": true}}}}}})";
    const std::set<int> ids = {0, 1, JsonValidator::IDENTIFIER_TEXT};
    EXPECT_EQ(Validate(schema, R"({"name": "pg-1", "ports": [{"p": "a"}]})", ids), Errors{});
    EXPECT_EQ(Validate(schema, R"({"name": "it's", "ports": [{"p": ""}, {"p": 7}]})", ids),
              (Errors{
                  {"/name", "instanceId: expected a non-empty string without apostrophes, found \"it's\""},
                  {"/ports/0/p", "instanceId: expected a non-empty string without apostrophes, found \"\""},
                  {"/ports/1/p", "instanceId: expected a non-empty string without apostrophes, found 7"},
              }));
}

TEST(JsonValidatorCodes, MissingGeneratedIdentifierIsExcusedOnlyWithCode8) {
    const char schema[] = R"({"type": "object", "required": ["cs_generated_id"], "additionalProperties": false,
      "properties": {"cs_generated_id": {"type": "string", "pattern": "^[0-9a-f-]{36}$", "instanceId": true},
                     "v": {"type": "integer"}}})";
    EXPECT_EQ(Validate(schema, R"({"v": 1})", {0, 1, JsonValidator::GENERATED_ID_OPTIONAL}), Errors{});
    EXPECT_EQ(Validate(schema, R"({"v": "x"})", {0, 1, JsonValidator::GENERATED_ID_OPTIONAL}),
              (Errors{{"/v", "type: expected integer, found string"}}));
    EXPECT_EQ(Validate(schema, R"({"v": 1})", kAll), (Errors{{"", "required: missing member 'cs_generated_id'"}}));
    // A present identifier is checked as it is.
    EXPECT_EQ(Validate(schema, R"({"cs_generated_id": "x"})", {0, 1, 8}),
              (Errors{{"/cs_generated_id", "pattern: expected a string matching \"^[0-9a-f-]{36}$\", found \"x\""}}));
}

TEST(JsonValidatorCodes, StoreCodeSetsAndUnknownCodes) {
    const char schema[] = R"({"properties": {"a": {"type": "integer"}, "v": {"vital": true}}})";
    // Without code 0 the schema's keywords are not checked.
    EXPECT_EQ(Validate(schema, R"({"a": "x"})", {1, 3, 7, 8}), Errors{});
    EXPECT_EQ(Validate(schema, R"({"a": "x", "v": 1})", {0, 1, 3, 7, 8}).size(), 2u);
    EXPECT_EQ(Validate(schema, R"({"a": 1, "v": 1})", {0, 1, 4, 8}), Errors{});
    EXPECT_EQ(Validate(schema, R"({"a": 1})", {0, 2, 5, 6, 99}), Errors{});
}
