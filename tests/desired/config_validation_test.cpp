// Validation of user values, the report of validation errors and instance
// identifiers of values; the errors of a desired document.
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/config_validation.h"
#include "tarn/desired_config.h"
#include "tarn/platform/capture.h"

using namespace TarnConfigStore;
using TarnPlatform::CapturedLine;
using TarnTest::Thrown;

namespace {

rapidjson::Document Parse(const std::string& text) {
    rapidjson::Document doc;
    doc.Parse(text.c_str(), text.size());
    EXPECT_FALSE(doc.HasParseError()) << text;
    return doc;
}

} // namespace

TEST(ValidateUserObject, EachErrorLoggedAndDeleteDefaultOnlyWhenAllowed) {
    const rapidjson::Document schema = Parse(R"({"type": "object", "additionalProperties": false, "required": ["name"],
      "properties": {"name": {"type": "string", "instanceId": true}, "vlan": {"type": "integer", "maximum": 4095},
                     "mac": {"not": {}, "title": "vital"}}})");
    TarnPlatform::Capture capture;
    EXPECT_TRUE(ValidateUserObject(schema, Parse(R"({"name": "pg", "vlan": 1})"), "/netd/network/pg", false));
    // Strings are judged without the schema, the whole text (NUL included) against DELETE_DEFAULT.
    for (const std::string text : {"DELETE_DEFAULT", "delete", "", "DELETE_DEFAUL", "DELETE_DEFAULT\\u0000more"})
        EXPECT_EQ(ValidateUserObject(schema, Parse('"' + text + '"'), "/a", true), text == "DELETE_DEFAULT") << text;
    EXPECT_TRUE(capture.Logs().empty());
    EXPECT_FALSE(ValidateUserObject(schema, Parse(R"({"name": "it's", "vlan": 5000, "mac": "m"})"), "/netd/network/pg", true));
    EXPECT_FALSE(ValidateUserObject(schema, Parse(R"("DELETE_DEFAULT")"), "/a/b/c", false));
    EXPECT_FALSE(ValidateUserObject(schema, Parse(R"({"name": "p\u0000g"})"), "/netd/network/pg", false));
    EXPECT_EQ(capture.Logs(), (std::vector<CapturedLine>{
                                  {0, "Validation Error: '/netd/network/pg/vlan' maximum: expected a number <= 4095, found 5000"},
                                  {0, "Validation Error: '/netd/network/pg/mac' not: no value is allowed here (vital)"},
                                  {0, "Validation Error: '/netd/network/pg/name' instanceId: expected a non-empty string "
                                      "without apostrophes, found \"it's\""},
                                  {0, "Validation Error: '/a/b/c' type: expected object, found string"},
                                  {0, "Validation Error: '/netd/network/pg/name' instanceId: a NUL byte inside, which "
                                      "a stored identifier cannot hold, found \"p\\u0000g\""},
                              }));
}

TEST(GetInstanceIdFromValue, IdentifierFieldDecides) {
    auto object = [](const std::string& key, const std::string& body) {
        auto store = TarnSchemaStore::SchemaStore::GetStore();
        TarnSchemaStore::SetSchema("f", "c", "g", key, R"({"component": "c", "group": "g", "key": ")" + key +
                                   R"(", "version": "1", )" + body + "}", store, false);
        return TarnSchemaStore::GetSchema("c", "g", key, store);
    };
    auto singleton = object("single", R"("schema": {})");
    auto multi = object("multi", R"("idField": "name", "schema": {"properties": {"name": {"type": "string"}}})");
    EXPECT_EQ(GetInstanceIdFromValue(Parse(R"({"id": "x"})"), singleton), "");
    EXPECT_EQ(GetInstanceIdFromValue(Parse(R"({"name": "pg-1"})"), multi), "pg-1");
    for (const char* bad : {"{}", R"({"name": 7})", R"("DELETE_DEFAULT")"})
        EXPECT_EQ(Thrown([&] { GetInstanceIdFromValue(Parse(bad), multi); }),
                  "ConfigStoreException 1032 Invalid value for key name") << bad;
}

// A desired document's errors: each check after the other (keywords, then
// identifiers), in the document's order, an unknown name after what its
// level holds; every occurrence of a repeated name is checked.
TEST(ListDesiredDocumentErrors, InTheDocumentsOrderWithEveryOccurrenceChecked) {
    TarnSchemaStore::SetSchema("f", "fz", "net", "switches", R"({"component": "fz", "group": "net", "key": "switches",
        "version": "1", "idField": "name", "schema": {"type": "object", "properties": {"name": {"type": "string"},
        "id": {"type": "string", "vital": true}}}})", TarnSchemaStore::SchemaStore::GetStore(), false);
    const auto errors = [](const std::string& text) {
        std::vector<std::string> out;
        for (const auto& e : ListDesiredDocumentErrors(Parse(text), TarnSchemaStore::SchemaStore::GetCache()))
            out.push_back(e.pointer + " " + e.reason);
        return out;
    };
    const std::string s = "/profile/fz/net/switches/";
    const std::string id = "instanceId: expected a non-empty string without apostrophes";
    EXPECT_EQ(errors(R"({"profile": {"zz": 1, "fz": {"net": {"switches": [{"name": "it's", "id": "x"}, {"name": 5}]},
                                                   "g2": {}}}})"),
              (std::vector<std::string>{
                  s + "0/id not: no value is allowed here (member of the vital layer; a user value cannot set it)",
                  s + "1/name type: expected string, found integer",
                  "/profile/fz/g2 additionalProperties: unknown group 'g2'",
                  "/profile/zz additionalProperties: unknown component 'zz'", s + "0/name " + id + ", found \"it's\"",
                  s + "1/name " + id + ", found 5"}));
    const auto repeated = R"({"profile": {"fz": {"net": {"switches": []}}, "fz": {"net": {"switches": [{"name": 5}]}}}})";
    EXPECT_EQ(errors(repeated).size(), 2u);
    // a level's error alone, with every value good
    EXPECT_EQ(errors(R"({"profile": {"fz": {"net": {"switches": [{"name": "a"}], "ports": [1]}}}})"),
              (std::vector<std::string>{"/profile/fz/net/ports additionalProperties: unknown key 'ports'"}));
}
