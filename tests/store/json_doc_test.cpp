// Shared JSON documents: creation, and the walk along a path of members and
// instance selectors.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/error_codes.h"
#include "tarn/json_doc.h"
#include "tarn/platform/capture.h"

using namespace TarnConfigStore;
using TarnPlatform::CapturedLine;

namespace {

using TarnTest::Thrown;

std::shared_ptr<JsonDoc> WithPath(const std::string& json, std::vector<JsonNode> nodes) {
    auto doc = CreateDocumentFromString(json);
    doc->nodes = std::move(nodes);
    return doc;
}

const std::string kNoSubobject = "ConfigStoreException 2000 Subobject does not exists.";
const std::string kNoInstance = "ConfigStoreException 2000 Subobject instance does not exists.";
const std::string kInvalidJson = "ConfigStoreException 2000 Invalid JSON";

} // namespace

TEST(JsonDocCreate, FromStringTakesExactlyOneValue) {
    EXPECT_TRUE(CreateDocumentFromString(" \n\t{} \r\n")->document->IsObject());

    for (const std::string& bad : std::vector<std::string>{"", "   ", "{}{}", "{} x", "{\"a\":}", "{\"a\":1", "'a'", std::string("{}\0{}", 5)})
        EXPECT_EQ(Thrown([&] { CreateDocumentFromString(bad); }),
                  "InvalidArgumentException 1080 Failed to parse JSON String")
            << "input: " << bad;
}

TEST(JsonDocCreate, FromFileNamesThePathWhenItFails) {
    std::string path = TarnTest::Rooted("/etc/halden/boot_configuration.json");
    for (const std::string& content : {std::string("<absent>"), std::string("{\"mode\": \"x\"}\n{}"), std::string(), std::string("{}\0{}", 5)}) {
        if (content != "<absent>") TarnTest::WriteFile(path, content);
        EXPECT_EQ(Thrown([&] { CreateDocumentFromFile(path); }),
                  "InvalidArgumentException 1081 Failed to parse JSON file " + path) << content;
    }
    TarnTest::WriteFile(path, "\n{\"mode\": \"x\", \"list\": [1, 2.5, null]}\n\n");
    auto doc = CreateDocumentFromFile(path);
    EXPECT_EQ((*doc->document)["list"].Size(), 3u);
}

TEST(JsonDocPath, MultiLevelPathMixingObjectsAndArrays) {
    auto doc = WithPath(R"({"net": {"nics": [
        {"name": "vnic0", "ip": {"v4": [{"addr": "10.0.0.1", "mask": 8}]}},
        {"name": "vnic1", "ip": {"v4": [{"addr": "10.0.0.1", "mask": 16}, {"addr": "10.0.0.2", "mask": 24}]}}]}})",
                        {{"net", "", ""}, {"nics", "name", "vnic1"}, {"ip", "", ""}, {"v4", "addr", "10.0.0.2"}});
    rapidjson::Value* value = doc->GetJsonValuePtr();
    EXPECT_EQ(value, &(*doc->document)["net"]["nics"][1]["ip"]["v4"][1]);
}

TEST(JsonDocPath, MissingMemberOrInstanceIsLoggedAndThrown) {
    TarnPlatform::Capture capture;
    EXPECT_EQ(Thrown([] { WithPath(R"({"ip": {}})", {{"ip", "", ""}, {"mtu", "", ""}})->GetJsonValuePtr(); }),
              kNoSubobject);
    // A scalar has no members either.
    EXPECT_EQ(Thrown([] { WithPath(R"({"ip": "x"})", {{"ip", "", ""}, {"v4", "", ""}})->GetJsonValuePtr(); }),
              kNoSubobject);
    EXPECT_EQ(Thrown([] { WithPath(R"({"n": [{"name": "a"}]})", {{"n", "name", "z"}})->GetJsonValuePtr(); }),
              kNoInstance);

    EXPECT_EQ(capture.Logs(), (std::vector<CapturedLine>{{0, "Cannot find subobject mtu"},
                                                         {0, "Cannot find subobject v4"},
                                                         {0, "Cannot find subobject instance name=z"}}));
}

TEST(JsonDocPath, ElementThatCannotBeSelectedIsInvalidJson) {
    TarnPlatform::Capture capture;
    for (const char* json : {R"({"n": [{"name": 1}, {"name": "a"}]})", R"({"n": [{"id": "a"}, {"name": "a"}]})",
                             R"({"n": ["a", {"name": "a"}]})", R"({"n": [{"name": "b"}, null]})"})
        EXPECT_EQ(Thrown([&] { WithPath(json, {{"n", "name", "a"}})->GetJsonValuePtr(); }), kInvalidJson) << json;
    EXPECT_TRUE(capture.Logs().empty());
}
