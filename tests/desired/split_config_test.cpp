// The split of configuration values into the user, vital and cached layers.
#include <string>
#include <unordered_map>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/config_validation.h"

using namespace TarnConfigStore;

namespace {

typedef std::unordered_map<std::string, std::string> Layers;

rapidjson::Document Parse(const std::string& text) {
    rapidjson::Document doc;
    doc.Parse(text.c_str());
    EXPECT_FALSE(doc.HasParseError()) << text;
    return doc;
}

Layers Split(const std::string& value, const std::string& schema) {
    return SplitConfig(Parse(value), Parse(schema));
}

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

std::string ErrorOf(const std::string& value, const std::string& schema) {
    return TarnTest::Thrown([&] { Split(value, schema); });
}

} // namespace

TEST(SplitConfig, EachLayerGetsItsMembersAndIdentifiersGoEverywhere) {
    Layers layers = Split(R"({"name": "pg1", "vlan": 5, "mac": "00:50", "stats": {"rx": 1},
        "policy": {"mode": "lb", "lastFailover": "t0"}, "tags": ["a"],
        "uplinks": [{"nic": "n0", "active": true, "speed": 10, "driver": "d"}]})",
                          kSchema);
    EXPECT_EQ(layers, (Layers{
                          {"user", R"({"name":"pg1","vlan":5,"policy":{"mode":"lb"},"tags":["a"],"uplinks":[{"nic":"n0","active":true}]})"},
                          {"vital", R"({"name":"pg1","mac":"00:50","uplinks":[{"nic":"n0","driver":"d"}]})"},
                          {"cached", R"({"name":"pg1","stats":{"rx":1},"policy":{"lastFailover":"t0"},"uplinks":[{"nic":"n0","speed":10}]})"},
                      }));
}

TEST(SplitConfig, NothingButAnIdentifierDoesNotMakeALayer) {
    EXPECT_EQ(Split(R"({"name": "pg1", "vlan": 5})", kSchema),
              (Layers{{"user", R"({"name":"pg1","vlan":5})"}, {"vital", ""}, {"cached", ""}}));
    // The same holds for each element: elements left with only their
    // identifier go, the others stay in order.
    Layers layers = Split(R"({"uplinks": [{"nic": "a", "speed": 1}, {"nic": "b"}, {"nic": "c", "active": false},
                                          {"nic": "d", "speed": 4}]})",
                          kSchema);
    EXPECT_EQ(layers["cached"], R"({"uplinks":[{"nic":"a","speed":1},{"nic":"d","speed":4}]})");
    EXPECT_EQ(layers["vital"], "");
    // The user layer keeps an element left with only its identifier.
    EXPECT_EQ(layers["user"], R"({"uplinks":[{"nic":"a"},{"nic":"b"},{"nic":"c","active":false},{"nic":"d"}]})");
}

TEST(SplitConfig, ConsecutiveRemovalsKeepTheRestInOrder) {
    Layers layers = Split(R"({"mac": "m", "stats": {}, "vlan": 1, "name": "n", "policy": {"lastFailover": "t"}})", kSchema);
    EXPECT_EQ(layers["user"], R"({"vlan":1,"name":"n"})");
    EXPECT_EQ(layers["vital"], R"({"mac":"m","name":"n"})");
    EXPECT_EQ(layers["cached"], R"({"stats":{},"name":"n","policy":{"lastFailover":"t"}})");
}

TEST(SplitConfig, WholeObjectsAndEmptyValues) {
    // The cached layer still walks into vital members, so their members are described.
    const char allVital[] = R"({"properties": {"a": {"vital": true}, "b": {"vital": true, "properties": {
        "x": {"type": "array", "items": {"type": "integer"}}}}}})";
    EXPECT_EQ(Split(R"({"a": 1, "b": {"x": [1]}})", allVital),
              (Layers{{"user", ""}, {"vital", R"({"a":1,"b":{"x":[1]}})"}, {"cached", ""}}));
    EXPECT_EQ(Split("{}", kSchema), (Layers{{"user", "{}"}, {"vital", ""}, {"cached", ""}}));
    EXPECT_EQ(Split(R"({"tags": [], "policy": {}})", kSchema).at("user"), R"({"tags":[],"policy":{}})");
    // A scalar value or a marked root goes whole to its layers.
    EXPECT_EQ(Split("7", "{}"), (Layers{{"user", "7"}, {"vital", ""}, {"cached", ""}}));
    EXPECT_EQ(Split(R"({"a": 1})", R"({"vital": true, "cached": true})"),
              (Layers{{"user", ""}, {"vital", R"({"a":1})"}, {"cached", R"({"a":1})"}}));
}

TEST(SplitConfig, ShapesTheSchemaDoesNotDescribeAreInvalidJson) {
    const std::string invalid = "ConfigStoreException 2000 Invalid JSON";
    EXPECT_EQ(ErrorOf(R"({"unknown": 1})", kSchema), invalid);
    EXPECT_EQ(ErrorOf(R"({"a": 1})", "{}"), invalid);
    EXPECT_EQ(ErrorOf("[1]", R"({"type": "array"})"), invalid);
    EXPECT_EQ(ErrorOf("[1]", R"({"items": {}})"), invalid);
    // The marker read for a lone remaining member must be a boolean.
    EXPECT_EQ(ErrorOf(R"({"a": 1})", R"({"properties": {"a": {"vital": "yes"}}})"), invalid);
    EXPECT_EQ(ErrorOf(R"({"o": {"a": 1}})", R"({"properties": {"o": {"properties": {"a": {"cached": "yes"}}}}})"), invalid);
}

TEST(ProcessConfig, PrunesInPlaceAndTellsWhetherAnythingBelongs) {
    rapidjson::Document schema = Parse(kSchema);
    rapidjson::Document value = Parse(R"({"mac": "m", "stats": {}})");
    EXPECT_FALSE(ProcessConfig(value, schema, "user"));
    EXPECT_TRUE(value.ObjectEmpty());
    value = Parse(R"({"mac": "m", "stats": {}})");
    EXPECT_TRUE(ProcessConfig(value, schema, "vital"));
    EXPECT_EQ(value.MemberCount(), 1u);
    EXPECT_TRUE(value.HasMember("mac"));
    rapidjson::Document scalar = Parse("\"x\"");
    EXPECT_TRUE(ProcessConfig(scalar, schema["properties"]["vlan"], "user"));
    EXPECT_FALSE(ProcessConfig(scalar, schema["properties"]["vlan"], "cached"));
}
