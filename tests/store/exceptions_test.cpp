// Error codes, the exception family and the JSON assertion path.
#include <stdexcept>

#include <gtest/gtest.h>

#include "tarn/configstore.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/cs_logger.h"

using namespace TarnConfigStore;

TEST(ErrorCodes, ThrowExceptionFormatsTheTemplate) {
    try {
        ThrowException<ConfigStoreException>(CS_INVALID_KEY_VALUE, "BOOT_MODE");
        FAIL();
    } catch (const InvalidArgumentException&) {
        FAIL() << "wrong class";
    } catch (const ConfigStoreException& e) {
        EXPECT_EQ(e.GetErrorCode(), 1032);
        EXPECT_STREQ(e.what(), "Invalid value for key BOOT_MODE");
    }
    try {
        ThrowException<InvalidArgumentException>(CS_JSON_FILE_PARSE_FAILED, "/etc/x.json");
        FAIL();
    } catch (const ConfigStoreException& e) {  // the base handler catches it
        EXPECT_NE(dynamic_cast<const InvalidArgumentException*>(&e), nullptr);
        EXPECT_EQ(e.GetErrorCode(), 1081);
        EXPECT_STREQ(e.what(), "Failed to parse JSON file /etc/x.json");
    }
    // Several conversions of different kinds.
    try {
        ThrowException<ConfigStoreException>(CS_WAIT_CHILD_FAILED, 42, "No child processes");
    } catch (const HostCtl::Lib::HostCtlException& e) {
        EXPECT_STREQ(e.what(), "Failed to wait for child process: 42, errno: No child processes");
    }
    // A code outside the table is not a store exception.
    EXPECT_THROW(ThrowException<ConfigStoreException>(static_cast<CSErrorCodes>(2000)), std::out_of_range);
}

TEST(JsonAssertions, ConsistencyChecksThrowInvalidJson) {
    rapidjson::Document doc;
    doc.Parse(R"({"a": 1, "list": [1, 2]})");
    ASSERT_FALSE(doc.HasParseError());
    auto expectInvalidJson = [](auto&& f) {
        try {
            f();
            ADD_FAILURE() << "no exception";
        } catch (const ConfigStoreException& e) {
            EXPECT_EQ(e.GetErrorCode(), 2000);
            EXPECT_STREQ(e.what(), "Invalid JSON");
        }
    };
    expectInvalidJson([&] { (void)doc["missing"]; });               // missing member
    expectInvalidJson([&] { (void)doc["a"].GetString(); });         // wrong type
    expectInvalidJson([&] { (void)doc["list"][5]; });               // index out of range
    expectInvalidJson([&] { (void)rapidjson::StringRef(static_cast<const char*>(nullptr), 0); });  // null name
    EXPECT_EQ(doc["a"].GetInt(), 1);  // the document stays usable
}
