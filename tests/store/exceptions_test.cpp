// Error codes, the exception family and the JSON assertion path.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/configstore.h"

using namespace TarnConfigStore;
using TarnTest::Thrown;

TEST(ErrorCodes, ThrowExceptionFormatsTheTemplate) {
    EXPECT_EQ(Thrown([] { ThrowException<ConfigStoreException>(CS_INVALID_KEY_VALUE, "BOOT_MODE"); }),
              "ConfigStoreException 1032 Invalid value for key BOOT_MODE");
    EXPECT_EQ(Thrown([] { ThrowException<InvalidArgumentException>(CS_JSON_FILE_PARSE_FAILED, "/etc/x.json"); }),
              "InvalidArgumentException 1081 Failed to parse JSON file /etc/x.json");
    try {  // several conversions of different kinds; the family's base catches it
        ThrowException<ConfigStoreException>(CS_WAIT_CHILD_FAILED, 42, "No child processes");
    } catch (const HostCtl::Lib::HostCtlException& e) {
        EXPECT_STREQ(e.what(), "Failed to wait for child process: 42, errno: No child processes");
    }
    // A code outside the table is not a store exception.
    EXPECT_EQ(Thrown([] { ThrowException<ConfigStoreException>(static_cast<CSErrorCodes>(2000)); }).rfind("out_of_range", 0), 0u);
}

TEST(JsonAssertions, ConsistencyChecksThrowInvalidJson) {
    rapidjson::Document doc;
    doc.Parse(R"({"a": 1, "list": [1, 2]})");
    for (const auto& f : std::vector<std::function<void()>>{
             [&] { (void)doc["missing"]; }, [&] { (void)doc["a"].GetString(); }, [&] { (void)doc["list"][5]; },
             [] { (void)rapidjson::StringRef(static_cast<const char*>(nullptr), 0); }})
        EXPECT_EQ(Thrown(f), "ConfigStoreException 2000 Invalid JSON");
    EXPECT_EQ(doc["a"].GetInt(), 1);  // the document stays usable
}
