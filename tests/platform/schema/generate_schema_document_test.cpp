// One schema for a whole desired document: known objects are checked with
// their user schemas, unknown names are errors that name them.
#include <gtest/gtest.h>

#include "platform/schema/schema_store_fixture.h"

using namespace SchemaTest;
using namespace TarnSchemaStore;

namespace {

TEST(DesiredDocumentSchema, ChecksEveryLevelAndTheValuesWithTheUserSchemas) {
    auto store = SchemaStore::GetStore();
    for (const char* entry : {kSegments, kTrunk, kGenerated}) Register(store, "netd", entry);
    Register(store, "netd", R"({"component": "netd", "group": "network", "key": "ntp", "version": "1",
        "schema": {"definitions": {"server": {"type": "string", "minLength": 1}},
                   "properties": {"primary": {"$ref": "#/definitions/server"}}}})");
    Register(store, "netd", R"({"component": "netd", "group": "network", "key": "state", "version": "1",
        "kind": "internal", "schema": {}})");
    const std::string n = "/profile/netd/network";
    const struct {
        std::string profile;  // the document's "profile" member
        Errors errors;
    } cases[] = {
        {R"({"netd": {"network": {"trunk": {"mtu": 9000}, "segments": [{"name": "pg1", "vlan": 5}], "ntp": {"primary": "a"}},
            "routes": {"route": [{"gateway": "10.0.0.1"}, {"gateway": "10.0.0.2", "cs_generated_id": "r2"}]}}})", {}},
        {R"({"netd": {"network": {"segments": "DELETE_DEFAULT"}}})", {}},
        {R"({"netd": {"network": {"trunk": {}, "bogusKey": {}}, "bogusGroup": {"x": {}}}, "bogusComp": {"network": {}}})",
         {{n + "/bogusKey", "additionalProperties: unknown key 'bogusKey'"},
          {"/profile/netd/bogusGroup", "additionalProperties: unknown group 'bogusGroup'"},
          {"/profile/bogusComp", "additionalProperties: unknown component 'bogusComp'"}}},
        {R"({"netd": {"network": {"segments": [{"name": "pg2", "vlan": 5000, "mac": "00:11"}],
            "ntp": {"primary": ""}, "state": {"x": 1}}}})",
         {{n + "/segments/0/vlan", "maximum: expected a number <= 4095, found 5000"},
          {n + "/segments/0/mac", "not: no value is allowed here (member of the vital layer; a user value cannot set it)"},
          {n + "/ntp/primary", "minLength: expected at least 1 character, found \"\""},
          {n + "/state", "not: no value is allowed here (values of this object are set by the host only)"}}},
        {R"({"netd": {"network": {"segments": {"name": "pg1", "vlan": 5}, "trunk": "DELETE_DEFAULT",
            "ntp": [{"primary": "a"}]}}})",
         {{n + "/segments", "type: expected array, found object"}, {n + "/trunk", "type: expected object, found string"},
          {n + "/ntp", "type: expected object, found array"}}},
        {"[]", {{"/profile", "type: expected object, found array"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.profile);
        const std::string document = R"({"comment": "not checked", "profile": )" + c.profile + "}";
        rapidjson::Document schema, errors;
        GenerateSchemaDocument(*Json(document), SchemaStore::GetCache(), schema, errors);
        EXPECT_TRUE(errors.IsArray() && errors.Empty());
        EXPECT_EQ(Validate(Text(schema), document, {0, 1, 3, 7, 8}), c.errors);
    }
}

} // namespace
