// The split of configuration values into the user, vital and cached layers.
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/config_validation.h"

namespace {

// A port group: identifier, plain, vital and cached members, a nested
// object and an array of objects with identifiers and layers of their own.
// Marked objects describe their members too: the split of the other
// non-user layer walks into them.
const char kSchema[] = R"({"properties": {
    "name": {"type": "string", "instanceId": true},
    "vlan": {"type": "integer"},
    "mac": {"type": "string", "vital": true},
    "stats": {"type": "object", "cached": true, "properties": {"rx": {"type": "integer"}}},
    "policy": {"type": "object", "properties": {
        "mode": {"type": "string"}, "lastFailover": {"type": "string", "cached": true}}},
    "tags": {"type": "array", "items": {"type": "string"}},
    "uplinks": {"type": "array", "items": {"type": "object", "properties": {
        "nic": {"type": "string", "instanceId": true},
        "active": {"type": "boolean"},
        "speed": {"type": "integer", "cached": true},
        "driver": {"type": "string", "vital": true}}}}}})";

std::string Split(const std::string& value, const std::string& schema) {
    rapidjson::Document v, s;
    v.Parse(value.c_str());
    s.Parse(schema.c_str());
    if (v.HasParseError() || s.HasParseError()) return "unparsed";
    std::string out;
    try {
        auto layers = TarnConfigStore::SplitConfig(v, s);
        for (const char* layer : {"user", "vital", "cached"}) out += layers.at(layer) + " | ";
    } catch (const std::exception& e) {
        return e.what();
    }
    return out;
}

} // namespace

TEST(SplitConfig, EachLayerGetsItsMembersAndIdentifiersGoEverywhere) {
    // The cached layer still walks into vital members, so their members are described.
    const char allVital[] = R"({"properties": {"a": {"vital": true}, "b": {"vital": true, "properties": {
        "x": {"type": "array", "items": {"type": "integer"}}}}}})";
    const struct {
        const char *value, *schema, *layers;
    } cases[] = {
        {R"({"name": "pg1", "vlan": 5, "mac": "00:50", "stats": {"rx": 1}, "policy": {"mode": "lb", "lastFailover": "t0"},
             "tags": ["a"], "uplinks": [{"nic": "n0", "active": true, "speed": 10, "driver": "d"}]})", kSchema,
         R"({"name":"pg1","vlan":5,"policy":{"mode":"lb"},"tags":["a"],"uplinks":[{"nic":"n0","active":true}]} | )"
         R"({"name":"pg1","mac":"00:50","uplinks":[{"nic":"n0","driver":"d"}]} | )"
         R"({"name":"pg1","stats":{"rx":1},"policy":{"lastFailover":"t0"},"uplinks":[{"nic":"n0","speed":10}]} | )"},
        // Nothing but an identifier makes no layer; elements left with only
        // their identifier go, the others stay in order (the user layer keeps them).
        {R"({"name": "pg1", "vlan": 5})", kSchema, R"({"name":"pg1","vlan":5} |  |  | )"},
        {R"({"uplinks": [{"nic": "a", "speed": 1}, {"nic": "b"}, {"nic": "c", "active": false}, {"nic": "d", "speed": 4}]})",
         kSchema,
         R"({"uplinks":[{"nic":"a"},{"nic":"b"},{"nic":"c","active":false},{"nic":"d"}]} |  | )"
         R"({"uplinks":[{"nic":"a","speed":1},{"nic":"d","speed":4}]} | )"},
        // Consecutive removals keep the rest in order.
        {R"({"mac": "m", "stats": {}, "vlan": 1, "name": "n", "policy": {"lastFailover": "t"}})", kSchema,
         R"({"vlan":1,"name":"n"} | {"mac":"m","name":"n"} | {"stats":{},"name":"n","policy":{"lastFailover":"t"}} | )"},
        {R"({"a": 1, "b": {"x": [1]}})", allVital, R"( | {"a":1,"b":{"x":[1]}} |  | )"},
        {"{}", kSchema, "{} |  |  | "},
        {R"({"tags": [], "policy": {}})", kSchema, R"({"tags":[],"policy":{}} |  |  | )"},
        // A scalar value or a marked root goes whole to its layers.
        {"7", "{}", "7 |  |  | "},
        {R"({"a": 1})", R"({"vital": true, "cached": true})", R"( | {"a":1} | {"a":1} | )"},
        // Shapes the schema does not describe, and markers that are no booleans.
        {R"({"unknown": 1})", kSchema, "Invalid JSON"},
        {R"({"a": 1})", "{}", "Invalid JSON"},
        {"[1]", R"({"type": "array"})", "Invalid JSON"},
        {"[1]", R"({"items": {}})", "Invalid JSON"},
        {R"({"a": 1})", R"({"properties": {"a": {"vital": "yes"}}})", "Invalid JSON"},
        {R"({"o": {"a": 1}})", R"({"properties": {"o": {"properties": {"a": {"cached": "yes"}}}}})", "Invalid JSON"},
    };
    for (const auto& c : cases) EXPECT_EQ(Split(c.value, c.schema), c.layers) << c.value;
}
