// Document helpers: the stored text of a value and generated identifiers.
#include <set>

#include <gtest/gtest.h>

#include "platform/schema/schema_store_fixture.h"
#include "tarn/platform/config_store_document.h"

using SchemaTest::Json;
using SchemaTest::Text;

namespace {
const char kSchema[] = R"({"properties": {
    "cs_generated_id": {"type": "string", "instanceId": true},
    "routes": {"type": "array", "items": {"type": "object", "properties": {
        "cs_generated_id": {"type": "string", "instanceId": true}, "via": {"type": "string"}}}},
    "plain": {"type": "object", "properties": {"cs_generated_id": {"type": "string"}}}}})";
} // namespace

TEST(ConfigStoreDocument, GeneratedIdsAreAddedWhereDeclaredAndMissing) {
    auto schema = Json(kSchema);
    auto value = Json(R"({"routes": [{"via": "a"}, {"cs_generated_id": "keep", "via": "b"}], "plain": {}})");
    ConfigStoreDocument::PopulateGeneratedInstanceId(*schema, *value, value->GetAllocator());

    const rapidjson::Value& top = (*value)["cs_generated_id"];
    const rapidjson::Value& first = (*value)["routes"][0]["cs_generated_id"];
    ASSERT_TRUE(top.IsString() && first.IsString());
    EXPECT_EQ(std::string(top.GetString()).size(), 36u);  // a UUID text
    EXPECT_NE(std::string(top.GetString()), first.GetString());
    EXPECT_STREQ((*value)["routes"][1]["cs_generated_id"].GetString(), "keep");
    EXPECT_FALSE((*value)["plain"].HasMember("cs_generated_id"));  // declared, not marked "instanceId"

    // Once there, identifiers stay.
    const std::string before = Text(*value);
    ConfigStoreDocument::PopulateGeneratedInstanceId(*schema, *value, value->GetAllocator());
    EXPECT_EQ(Text(*value), before);
}
