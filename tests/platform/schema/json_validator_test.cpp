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

TEST(JsonValidatorReport, EveryIndependentErrorWithLocationAndKeywordOrOnlyTheFirst) {
    const char schema[] = R"({"type": "object", "required": ["name", "mode"], "additionalProperties": false,
      "properties": {"name": {"type": "string", "minLength": 3}, "mode": {"enum": ["access", "trunk"]},
        "port": {"type": "integer", "minimum": 1}, "tags": {"type": "array", "maxItems": 2},
        "uplinks": {"type": "array", "items": {"type": "object", "required": ["nic"], "additionalProperties": false,
          "properties": {"nic": {"type": "string", "pattern": "^vnic[0-9]+$"}, "active": {"type": "boolean"}}}}}})";
    const std::string value = R"({"name": "ab", "port": 0, "tags": ["a", "b", "c"], "extra": 1,
        "uplinks": [{"nic": "vnic0"}, {"nic": "eth1", "active": "yes"}, {"active": true}]})";
    const std::string at = "/netd/network/segments";
    EXPECT_EQ(Validate(schema, value, kAll, at),
              (Errors{
                  {at + "/name", "minLength: expected at least 3 characters, found \"ab\""},
                  {at + "/port", "minimum: expected a number >= 1, found 0"},
                  {at + "/tags", "maxItems: expected at most 2 elements, found 3"},
                  {at + "/uplinks/1/nic", "pattern: expected a string matching \"^vnic[0-9]+$\", found \"eth1\""},
                  {at + "/uplinks/1/active", "type: expected boolean, found string"},
                  {at + "/uplinks/2", "required: missing member 'nic'"},
                  {at + "/extra", "additionalProperties: member 'extra' is not allowed"},
                  {at, "required: missing member 'mode'"},
              }));
    EXPECT_EQ(Validate(schema, value, kFirst), (Errors{{"/name", "minLength: expected at least 3 characters, found \"ab\""}}));
    EXPECT_EQ(Validate(schema, R"({"name": "abc", "mode": "trunk", "port": 8080})", kAll), Errors{});
}

// A format counts wherever its node applies, and is told apart from the
// node's own pattern, whatever character the pattern begins with.
TEST(JsonValidatorReport, FormatsAreCheckedInsideCombinatorsBesideThePattern) {
    const char schema[] = R"({"properties": {"addr": {"type": "string", "format": "ipv4", "pattern": "^10[.]"},
      "peer": {"oneOf": [{"format": "ipv4"}, {"format": "ipv6"}]}, "when": {"format": "date-time"},
      "ctl": {"pattern": "\u0001ipv4"}}})";
    EXPECT_EQ(Validate(schema, R"({"addr": "256.1.1.1", "peer": "::1", "when": "1990-02-31T00:00:00Z",
                                   "ctl": "1.2.3.4"})", kAll),
              (Errors{{"/addr", "format: expected an IPv4 address, found \"256.1.1.1\""},
                      {"/addr", "pattern: expected a string matching \"^10[.]\", found \"256.1.1.1\""},
                      {"/when", "format: expected a date and time (RFC 3339), found \"1990-02-31T00:00:00Z\""},
                      {"/ctl", "pattern: expected a string matching \"\\u0001ipv4\", found \"1.2.3.4\""}}));
    EXPECT_EQ(Validate(schema, R"({"addr": "10.0.0.1", "peer": "10.0.0.2", "when": "2024-02-29T23:59:60+05:30",
                                   "ctl": "a\u0001ipv4"})", kAll),
              Errors{});
}

TEST(JsonValidatorRobustness, UnusableSchemasAndValuesGiveAnErrorNotACrash) {
    const std::string deep = std::string(500, '[') + std::string(500, ']');
    // References back through combinators would start validators for the
    // same value without end; through a member they end with the value.
    const std::string forever =
        "schema: the schema applies itself to the same value without end (through \"$ref\", \"allOf\", "
        "\"anyOf\", \"oneOf\", \"not\" or \"dependencies\")";
    const struct {
        std::string schema, value;
        Errors errors;
    } cases[] = {
        {"[1]", "1", {{"", "schema: the schema is not an object"}}},
        {R"({"$ref": "#"})", "1", {{"", "schema: $ref '#' leads into a cycle of references"}}},
        {R"({"definitions": {"a": {"$ref": "#/definitions/b"}, "b": {"$ref": "#/definitions/a"}},
            "properties": {"x": {"$ref": "#/definitions/a"}}})", R"({"x": 1})",
         {{"", "schema: $ref '#/definitions/a' leads into a cycle of references"}}},
        {R"({"allOf": [{"$ref": "#"}]})", "1", {{"", forever}}},
        {R"({"definitions": {"a": {"oneOf": [{"$ref": "#/definitions/b"}]}, "b": {"not": {"$ref": "#/definitions/a"}}},
            "properties": {"q": {"$ref": "#/definitions/b"}}})", R"({"q": 1})", {{"", forever}}},
        {R"({"properties": {"x": {"$ref": "#"}}, "additionalProperties": false})", R"({"x": {"x": {}}})", {}},
        {R"({"$ref": "http://example.com/s.json"})", "1",
         {{"", "schema: remote $ref 'http://example.com/s.json' is not supported"}}},
        {"{}", deep, {{"", "value: nested deeper than 200 levels"}}},
        {R"({"items": {"$ref": "#"}, "type": "array"})", deep, {{"", "value: nested deeper than 200 levels"}}},
        // A subschema slot that holds no schema is refused; other keywords
        // of the wrong type are passed over.
        {R"({"not": false})", "1", {{"", "schema: \"not\" at '/' must be a schema object"}}},
        {R"({"properties": {"a": {"anyOf": [1]}}})", "1", {{"", "schema: \"anyOf\" at '/properties/a' must hold schema objects"}}},
        {R"({"patternProperties": "x"})", "{}", {{"", "schema: \"patternProperties\" at '/' must hold schema objects"}}},
        // A name given twice means different things to different readers.
        {R"({"dependencies": {"a": {}, "a": {}}})", R"({"a": 1})",
         {{"", "schema: the object at '/dependencies' names the member 'a' twice"}}},
        {R"({"not": {}, "not": 1})", R"({"a": 0})", {{"", "schema: the object at '/' names the member 'not' twice"}}},
        {R"({"items": [{}, {"x~/": {"a": 1, "a": 2}}]})", "1",
         {{"", "schema: the object at '/items/1/x~0~1' names the member 'a' twice"}}},
        // Objects that are not subschemas are data, whatever their members.
        {R"({"default": {"patternProperties": true}})", "1", {}},
        {R"({"minLength": "x", "properties": 3, "required": {}, "pattern": "(["})", R"({"a": "b"})", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Validate(c.schema, c.value, kAll), c.errors) << c.schema;
}

// enum and uniqueItems hash numbers; doubles outside the 64-bit integer
// range hash without undefined behaviour and still tell values apart (run
// under -fsanitize=undefined to see the difference). Integer literals that
// long arrive as doubles and are integers all the same.
TEST(JsonValidatorRobustness, HugeNumbersAreToldApartAndStayIntegers) {
    const std::string big = "12345678910111213141516171819202122232425262728293031", negative = "-" + big;
    const struct {
        const char *schema, *value;
        bool valid;
    } cases[] = {
        {R"({"enum": [1e20]})", "1e20", true},     {R"({"enum": [1e20]})", "1e19", false},
        {R"({"enum": [-1e20]})", "-1e20", true},   {R"({"enum": [-1e20]})", "-1e21", false},
        {R"({"enum": [1e300, 5]})", "5.0", true},  {R"({"uniqueItems": true})", "[1e20, 1e20]", false},
        {R"({"uniqueItems": true})", "[1e20, 1e21]", true},
        {R"({"type": "integer"})", big.c_str(), true},       {R"({"type": "integer"})", negative.c_str(), true},
        {R"({"type": "integer"})", "18446744073709551615", true}, {R"({"type": "integer"})", "1.0", false},
        {R"({"type": "integer"})", "9.2e18", false},
    };
    for (const auto& c : cases) EXPECT_EQ(Validate(c.schema, c.value, kFirst).empty(), c.valid) << c.schema << " " << c.value;
}

TEST(JsonValidatorCodes, LayerIdentifierAndGeneratedIdCodes) {
    const char layers[] = R"({"properties": {"name": {"type": "string", "instanceId": true}, "mtu": {"type": "integer"},
        "stats": {"type": "object", "cached": true},
        "nested": {"type": "object", "properties": {"key": {"type": "string", "vital": true}}},
        "list": {"type": "array", "items": {"type": "object", "properties": {"s": {"vital": true, "cached": true}}}},
        "whole": {"type": "array", "items": {"properties": {"s": {"vital": true}}}}}})";
    const char ids[] = R"({"properties": {"name": {"instanceId": true},
        "ports": {"type": "array", "items": {"type": "object", "properties": {"p": {"instanceId": true}}}}}})";
    const char generated[] = R"({"type": "object", "required": ["cs_generated_id"], "additionalProperties": false,
      "properties": {"cs_generated_id": {"type": "string", "pattern": "^[0-9a-f-]{36}$", "instanceId": true},
                     "v": {"type": "integer"}}})";
    const std::string notUser = "; a user value cannot set it", quotable = "instanceId: expected a non-empty string without apostrophes, found ";
    const struct {
        const char* schema;
        std::string value;
        std::set<int> codes;
        Errors errors;
    } cases[] = {
        // items without "type": "object" stay whole in the user layer, markers and all
        {layers, R"({"name": "a", "mtu": 1500, "nested": {}, "whole": [{"s": 1}]})", {0, 1, 3}, {}},
        {layers, R"({"name": "a", "stats": {}, "nested": {"key": "k"}, "list": [{}, {"s": 1}]})", {0, 1, 3},
         {{"/stats", "cached: the member belongs to the cached layer" + notUser},
          {"/nested/key", "vital: the member belongs to the vital layer" + notUser},
          {"/list/1/s", "vital: the member belongs to the vital and cached layers" + notUser}}},
        {layers, R"({"stats": {}})", kAll, {}},
        {ids, R"({"name": "pg-1", "ports": [{"p": "a"}]})", {0, 1, 7}, {}},
        {ids, R"({"name": "it's", "ports": [{"p": ""}, {"p": 7}]})", {0, 1, 7},
         {{"/name", quotable + "\"it's\""}, {"/ports/0/p", quotable + "\"\""}, {"/ports/1/p", quotable + "7"}}},
        {generated, R"({"v": 1})", {0, 1, 8}, {}},
        {generated, R"({"v": "x"})", {0, 1, 8}, {{"/v", "type: expected integer, found string"}}},
        {generated, R"({"v": 1})", kAll, {{"", "required: missing member 'cs_generated_id'"}}},
        {generated, R"({"cs_generated_id": "x"})", {0, 1, 8},  // a present identifier is checked as it is
         {{"/cs_generated_id", "pattern: expected a string matching \"^[0-9a-f-]{36}$\", found \"x\""}}},
        {generated, R"({"v": "x", "w": 1})", {1, 3, 7, 8}, {}},  // without code 0 the keywords are not checked
        {generated, R"({"v": 1})", {0, 2, 5, 6, 99}, {{"", "required: missing member 'cs_generated_id'"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(Validate(c.schema, c.value, c.codes), c.errors);
    }
}

} // namespace
