// Error codes, the exception family and the JSON assertion path.
#include <stdexcept>

#include <gtest/gtest.h>

#include "tarn/configstore.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/cs_logger.h"

using namespace TarnConfigStore;

TEST(ErrorCodes, TableMessagesAndGaps) {
    EXPECT_STREQ(GetErrorMessage(CS_VALIDATE_CACHED_FAILED), "Failed to validate Cached config");
    EXPECT_STREQ(GetErrorMessage(CS_INVALID_TYPE), "Invalid type, %s");
    EXPECT_STREQ(GetErrorMessage(CS_INTERNAL_ERROR), "ConfigStore internal error");
    for (int gap : {1000, 1019, 1029, 1061, 1079, 1093, 1099, 1106, 2000})
        EXPECT_THROW(GetErrorMessage(static_cast<CSErrorCodes>(gap)), std::out_of_range) << gap;
}

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

TEST(ErrorCodes, MessageAloneCarriesGenericCode) {
    ConfigStoreException e("Write user config failed");
    EXPECT_EQ(e.GetErrorCode(), 2000);
    EXPECT_STREQ(e.what(), "Write user config failed");
    const std::exception& base = e;
    EXPECT_STREQ(base.what(), "Write user config failed");
}

TEST(ErrorCodes, LoggerPrintsTableMessages) {
    TarnPlatform::Capture capture;
    CSLogger::LogErrCode(0, CS_CHILD_EXIT_STATUS, 3);
    CSLogger::LogErrCode(0, CS_VALIDATION_ERROR, "/a/b", "is not a string");
    ASSERT_EQ(capture.Logs().size(), 2u);
    EXPECT_EQ(capture.Logs()[0], (TarnPlatform::CapturedLine{0, "Child process terminated with exit value: 3"}));
    EXPECT_EQ(capture.Logs()[1].text, "Validation Error: '/a/b' is not a string");
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
