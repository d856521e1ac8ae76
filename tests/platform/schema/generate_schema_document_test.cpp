// One schema for a whole desired document: known objects are checked with
// their user schemas, unknown names are errors that name them.
#include <gtest/gtest.h>

#include "platform/schema/schema_store_fixture.h"

using namespace SchemaTest;
using namespace TarnSchemaStore;

namespace {

class DesiredDocumentSchema : public testing::Test {
protected:
    void SetUp() override {
        auto store = SchemaStore::GetStore();
        Register(store, "netd", kPortgroups);
        Register(store, "netd", kVswitch);
        Register(store, "netd", kGenerated);
        Register(store, "netd", R"({"component": "netd", "group": "network", "key": "ntp", "version": "1",
            "schema": {"definitions": {"server": {"type": "string", "minLength": 1}},
                       "properties": {"primary": {"$ref": "#/definitions/server"},
                                      "backup": {"$ref": "#/definitions/server"}}}})");
        Register(store, "netd", R"({"component": "netd", "group": "network", "key": "state", "version": "1",
            "kind": "internal", "schema": {}})");
    }

    // Errors of the document against the schema generated for it.
    Errors Check(const std::string& document) {
        auto doc = Json(document);
        rapidjson::Document schema, errors;
        GenerateSchemaDocument(*doc, SchemaStore::GetCache(), schema, errors);
        EXPECT_TRUE(errors.IsArray() && errors.Empty());
        return Validate(Text(schema), document, {0, 1, 3, 7, 8});
    }
};

} // namespace

TEST_F(DesiredDocumentSchema, ValidDocumentPasses) {
    EXPECT_EQ(Check(R"({"profile": {"netd": {
        "network": {"vswitch": {"mtu": 9000}, "portgroups": [{"name": "pg1", "vlan": 5}], "ntp": {"primary": "a"}},
        "routes": {"route": [{"gateway": "10.0.0.1"}, {"gateway": "10.0.0.2", "cs_generated_id": "r2"}]}}},
        "comment": "other members of the document are not checked"})"),
              Errors{});
    EXPECT_EQ(Check("{}"), Errors{});
    EXPECT_EQ(Check(R"({"profile": {}})"), Errors{});
}

TEST_F(DesiredDocumentSchema, UnknownComponentsGroupsAndKeysAreNamed) {
    EXPECT_EQ(Check(R"({"profile": {
        "netd": {"network": {"vswitch": {"mtu": 9000}, "bogusKey": {}}, "bogusGroup": {"x": {}}},
        "bogusComp": {"network": {}}}})"),
              (Errors{
                  {"/profile/netd/network/bogusKey", "additionalProperties: unknown key 'bogusKey'"},
                  {"/profile/netd/bogusGroup", "additionalProperties: unknown group 'bogusGroup'"},
                  {"/profile/bogusComp", "additionalProperties: unknown component 'bogusComp'"},
              }));
}

TEST_F(DesiredDocumentSchema, ValuesAreCheckedWithTheUserSchemas) {
    EXPECT_EQ(Check(R"({"profile": {"netd": {"network": {
        "portgroups": [{"name": "pg1", "vlan": 5}, {"name": "pg2", "vlan": 5000, "mac": "00:11"}],
        "ntp": {"primary": "", "backup": ""},
        "state": {"x": 1}}}}})"),
              (Errors{
                  {"/profile/netd/network/portgroups/1/vlan", "maximum: expected a number <= 4095, found 5000"},
                  {"/profile/netd/network/portgroups/1/mac",
                   "not: no value is allowed here (member of the vital layer; a user value cannot set it)"},
                  {"/profile/netd/network/ntp/primary", "minLength: expected at least 1 character, found \"\""},
                  {"/profile/netd/network/ntp/backup", "minLength: expected at least 1 character, found \"\""},
                  {"/profile/netd/network/state", "not: no value is allowed here (values of this object are set by the "
                                                  "host only)"},
              }));
}

TEST_F(DesiredDocumentSchema, InstancesComeAsArraysAndDeleteDefaultOnlyForMutableDefaults) {
    EXPECT_EQ(Check(R"({"profile": {"netd": {"network": {"portgroups": {"name": "pg1", "vlan": 5}}}}})"),
              (Errors{{"/profile/netd/network/portgroups", "type: expected array, found object"}}));
    EXPECT_EQ(Check(R"({"profile": {"netd": {"network": {"portgroups": "DELETE_DEFAULT"}}}})"), Errors{});
    EXPECT_EQ(Check(R"({"profile": {"netd": {"network": {"vswitch": "DELETE_DEFAULT"}}}})"),
              (Errors{{"/profile/netd/network/vswitch", "type: expected object, found string"}}));
    EXPECT_EQ(Check(R"({"profile": {"netd": {"network": {"portgroups": "delete"}}}})"),
              (Errors{{"/profile/netd/network/portgroups", "type: expected array, found string"}}));
}

TEST_F(DesiredDocumentSchema, WrongShapesAtEveryLevel) {
    EXPECT_EQ(Check(R"({"profile": []})"), (Errors{{"/profile", "type: expected object, found array"}}));
    EXPECT_EQ(Check(R"({"profile": {"netd": 1}})"), (Errors{{"/profile/netd", "type: expected object, found integer"}}));
    EXPECT_EQ(Check(R"({"profile": {"netd": {"network": "x"}}})"),
              (Errors{{"/profile/netd/network", "type: expected object, found string"}}));
    EXPECT_EQ(Check(R"([])"), (Errors{{"", "type: expected object, found array"}}));
}
