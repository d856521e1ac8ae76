// Validation of user values, the report of validation errors and instance
// identifiers of values.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/config_validation.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/config_store_document.h"

using namespace TarnConfigStore;
using TarnPlatform::CapturedLine;

namespace {

rapidjson::Document Parse(const std::string& text) {
    rapidjson::Document doc;
    doc.Parse(text.c_str());
    EXPECT_FALSE(doc.HasParseError()) << text;
    return doc;
}

const char kUserSchema[] = R"({"type": "object", "additionalProperties": false, "required": ["name"],
  "properties": {"name": {"type": "string", "instanceId": true}, "vlan": {"type": "integer", "maximum": 4095},
                 "mac": {"not": {}, "title": "vital"}}})";

using TarnTest::Thrown;

std::shared_ptr<TarnSchemaStore::SchemaObject> Object(const std::string& entry) {
    auto store = TarnSchemaStore::SchemaStore::GetStore();
    rapidjson::Document doc = Parse(entry);
    TarnSchemaStore::SetSchema("f", doc["component"].GetString(), doc["group"].GetString(), doc["key"].GetString(),
                               entry, store, false);
    return TarnSchemaStore::GetSchema(doc["component"].GetString(), doc["group"].GetString(), doc["key"].GetString(),
                                      store);
}

} // namespace

TEST(ValidateUserObject, ValidValueAndEachErrorLogged) {
    TarnPlatform::Capture capture;
    EXPECT_TRUE(ValidateUserObject(Parse(kUserSchema), Parse(R"({"name": "pg", "vlan": 1})"), "/netd/network/pg", false));
    EXPECT_TRUE(capture.Logs().empty());
    EXPECT_FALSE(ValidateUserObject(Parse(kUserSchema), Parse(R"({"name": "it's", "vlan": 5000, "mac": "m"})"),
                                    "/netd/network/pg", true));
    EXPECT_EQ(capture.Logs(), (std::vector<CapturedLine>{
                                  {0, "Validation Error: '/netd/network/pg/vlan' maximum: expected a number <= 4095, found 5000"},
                                  {0, "Validation Error: '/netd/network/pg/mac' not: no value is allowed here (vital)"},
                                  {0, "Validation Error: '/netd/network/pg/name' instanceId: expected a non-empty string "
                                      "without apostrophes, found \"it's\""},
                              }));
}

TEST(ValidateUserObject, DeleteDefaultOnlyWhenAllowedAndThenNothingElse) {
    TarnPlatform::Capture capture;
    const rapidjson::Document schema = Parse(kUserSchema);
    EXPECT_TRUE(ValidateUserObject(schema, Parse(R"("DELETE_DEFAULT")"), "/a/b/c", true));
    EXPECT_FALSE(ValidateUserObject(schema, Parse(R"("delete")"), "/a/b/c", true));
    EXPECT_FALSE(ValidateUserObject(schema, Parse(R"("")"), "/a/b/c", true));
    EXPECT_TRUE(capture.Logs().empty());  // strings are judged without the schema
    EXPECT_FALSE(ValidateUserObject(schema, Parse(R"("DELETE_DEFAULT")"), "/a/b/c", false));
    EXPECT_EQ(capture.Logs(),
              (std::vector<CapturedLine>{{0, "Validation Error: '/a/b/c' type: expected object, found string"}}));
    // A schema that accepts strings still does not make "DELETE_DEFAULT" special without the flag.
    EXPECT_TRUE(ValidateUserObject(Parse(R"({"type": "string"})"), Parse(R"("DELETE_DEFAULT")"), "", false));
}

TEST(CheckValidationErrors, LogsEachErrorAndRefusesMalformedResults) {
    TarnPlatform::Capture capture;
    EXPECT_TRUE(checkValidationErrors(Parse("[]")));
    EXPECT_FALSE(checkValidationErrors(Parse(R"([{"field": "/a", "error": "x"}, {"field": "", "error": "y"}])")));
    EXPECT_EQ(capture.Logs(), (std::vector<CapturedLine>{{0, "Validation Error: '/a' x"}, {0, "Validation Error: '' y"}}));
    EXPECT_EQ(Thrown([] { checkValidationErrors(Parse("{}")); }), "ConfigStoreException 2000 Invalid JSON");
    EXPECT_EQ(Thrown([] { checkValidationErrors(Parse(R"([{"field": "/a"}])")); }), "ConfigStoreException 2000 Invalid JSON");
    EXPECT_EQ(Thrown([] { checkValidationErrors(Parse(R"([{"field": 1, "error": "x"}])")); }), "ConfigStoreException 2000 Invalid JSON");
}

TEST(GetInstanceIdFromValue, IdentifierFieldDecides) {
    auto singleton = Object(R"({"component": "c", "group": "g", "key": "single", "version": "1",
                                "schema": {"properties": {"id": {"type": "string"}}}})");
    auto multi = Object(R"({"component": "c", "group": "g", "key": "multi", "version": "1", "idField": "name",
                            "schema": {"properties": {"name": {"type": "string"}}}})");
    auto generated = Object(R"({"component": "c", "group": "g", "key": "gen", "version": "1",
                                "idField": "cs_generated_id", "schema": {}})");
    EXPECT_EQ(GetInstanceIdFromValue(Parse(R"({"id": "x"})"), singleton), "");
    EXPECT_EQ(GetInstanceIdFromValue(Parse("[]"), singleton), "");
    EXPECT_EQ(GetInstanceIdFromValue(Parse(R"({"name": "pg-1"})"), multi), "pg-1");
    EXPECT_EQ(GetInstanceIdFromValue(Parse(R"({"cs_generated_id": "u-1"})"), generated), "u-1");
    EXPECT_EQ(Thrown([&] { GetInstanceIdFromValue(Parse("{}"), multi); }), "ConfigStoreException 1032 Invalid value for key name");
    EXPECT_EQ(Thrown([&] { GetInstanceIdFromValue(Parse(R"({"name": 7})"), multi); }), "ConfigStoreException 1032 Invalid value for key name");
    EXPECT_EQ(Thrown([&] { GetInstanceIdFromValue(Parse(R"("DELETE_DEFAULT")"), generated); }),
              "ConfigStoreException 1032 Invalid value for key cs_generated_id");
}
