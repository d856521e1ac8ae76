// Definitions signature, system alerts, the status table, and the parameter
// and data records.
#include <algorithm>
#include <cstring>

#include "tarn/platform/capture.h"
#include "tests/platform/kno/kno_test_support.h"

namespace {

using namespace KnoTest;

class KnoSignature : public SampleTree {};

TEST_F(KnoSignature, UndeclaredSignatureMatchesTheLoadedDefinitions) {
    char date[21];
    int mismatch = 7;
    ASSERT_EQ(KNO_CheckSig(date, sizeof date, &mismatch), KES_OK);
    EXPECT_EQ(mismatch, 0);
    EXPECT_STREQ(date, "2024-03-14 09:26:53");
    std::string md5 = KNO_DefsMD5Sum();
    EXPECT_EQ(md5.size(), 32u);
    EXPECT_EQ(md5, KNO_LoadedDefsMD5Sum());
    EXPECT_EQ(KNO_CheckSig(date, 19, &mismatch), KES_BUFFER_TOO_SMALL);

    // Declaring exactly that signature still matches; values do not count.
    WriteLiveTree(Edited(Edited(SampleText(), "\"buildDate\": \"2024-03-14 09:26:53\"",
                                "\"buildDate\": \"2024-03-14 09:26:53\", \"md5\": \"" + md5 + "\""),
                         "\"value\": 9000", "\"value\": 9001"));
    ASSERT_EQ(KNO_CheckSig(date, sizeof date, &mismatch), KES_OK);
    EXPECT_EQ(KNO_DefsMD5Sum(), md5);
}

TEST_F(KnoSignature, ChangedDefinitionsChangeTheSignature) {
    std::string md5 = KNO_DefsMD5Sum();
    WriteLiveTree(Edited(SampleText(), "\"description\": \"Packets sent\"", "\"description\": \"Packets out\""));
    ASSERT_TRUE(KesSyscall_Init(-1, 0, 0));
    EXPECT_NE(KNO_LoadedDefsMD5Sum(), md5);
}

TEST_F(KnoSignature, ADeclaredOtherSignatureIsAMismatch) {
    WriteLiveTree(Edited(SampleText(), "\"buildDate\": \"2024-03-14 09:26:53\"",
                         "\"buildDate\": \"2023-01-02 03:04:05\", \"md5\": \"00000000000000000000000000000000\""));
    char date[21];
    int mismatch = 0;
    EXPECT_EQ(KNO_CheckSig(date, sizeof date, &mismatch), KES_SIG_MISMATCH);
    EXPECT_EQ(mismatch, 1);

    const char* mine = nullptr;
    mismatch = 0;
    ASSERT_EQ(KNO_CheckSig2(date, sizeof date, &mine, &mismatch), KES_OK);  // reported by the flag only
    EXPECT_EQ(mismatch, 1);
    EXPECT_STREQ(date, "2023-01-02 03:04:05");
    ASSERT_NE(mine, nullptr);
    EXPECT_GT(std::strlen(mine), 0u);
    EXPECT_LE(std::strlen(mine), 20u);
    const char* preset = "my date";
    ASSERT_EQ(KNO_CheckSig2(date, sizeof date, &preset, &mismatch), KES_OK);
    EXPECT_STREQ(preset, "my date");
    EXPECT_STREQ(KNO_DefsMD5Sum(), "00000000000000000000000000000000");
    EXPECT_NE(std::string(KNO_LoadedDefsMD5Sum()), KNO_DefsMD5Sum());
}

class KnoAlert : public SampleTree {};

TEST_F(KnoAlert, ASetOfSysAlertIsLoggedAndCaptured) {
    TarnPlatform::Capture capture;
    auto list = Keys({"Failed to apply \"x\"\nsecond line"});
    uint64_t unused = 0;
    ASSERT_EQ(KNO_Set(KNO_NODE_system_sysAlert, nullptr, list.get(), &unused, 0), KES_OK);
    ASSERT_EQ(KNO_Set(KNO_NODE_system_sysAlert, nullptr, Keys({"second"}).get(), nullptr, 0), KES_OK);
    EXPECT_EQ(capture.Alerts(), (std::vector<std::string>{"Failed to apply \"x\"\nsecond line", "second"}));

    std::string log = TarnTest::ReadFile(KNO_AlertLogPath());
    ASSERT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
    // "<UTC time> <text>", one line per alert.
    EXPECT_EQ(log.substr(20, log.find('\n') - 20), " Failed to apply \"x\"\\nsecond line");
    EXPECT_EQ(log[10], 'T');
    EXPECT_EQ(log.compare(log.size() - 8, 8, " second\n"), 0);
    EXPECT_EQ(std::string(KNO_AlertLogPath()), TarnTest::Rooted("/var/log/sysalerts.log"));
    EXPECT_EQ(TarnTest::ReadFile(KNO_LiveTreePath()), SampleText());  // alerts are not values
}

TEST_F(KnoAlert, TakesExactlyOneText) {
    TarnPlatform::Capture capture;
    EXPECT_EQ(KNO_Set(KNO_NODE_system_sysAlert, nullptr, nullptr, nullptr, 0), KES_INCOMPLETE);
    EXPECT_EQ(KNO_Set(KNO_NODE_system_sysAlert, nullptr, Ints({5}).get(), nullptr, 0), KES_BAD_PARAM);
    EXPECT_EQ(KNO_Set(KNO_NODE_system_sysAlert, nullptr, Keys({"a", "b"}).get(), nullptr, 0), KES_BAD_PARAM);
    EXPECT_TRUE(capture.Alerts().empty());
    EXPECT_FALSE(TarnTest::Exists(KNO_AlertLogPath()));
}

TEST(KnoStatus, EveryStatusTheCallersUseHasACodeAndAText) {
    const std::pair<KES_ReturnStatus, const char*> named[] = {
        {0, "KES_OK"},          {0xbad0001, "KES_FAILURE"},  {0xbad0003, "KES_LENGTH_FOLLOWS_INPUT"},
        {0xbad0007, "KES_BAD_PARAM"}, {0xbad0014, "KES_NO_MEMORY"}, {0xbad0020, "KES_NOT_SUPPORTED"},
        {0xbad0083, "KES_INCOMPLETE"}, {KES_NO_TREE, "KES_NO_TREE"}, {KES_SIG_MISMATCH, "KES_SIG_MISMATCH"},
    };
    for (const auto& [status, code] : named) {
        EXPECT_STREQ(KES_ReturnStatusToCodeStr(status), code);
        EXPECT_STRNE(KES_ReturnStatusToString(status), "");
        EXPECT_EQ(std::string(KES_ReturnStatusToString(status)).find("Unknown"), std::string::npos);
    }
    EXPECT_STREQ(KES_ReturnStatusToString(0), "Success");
    EXPECT_STREQ(KES_ReturnStatusToString(0xbad0007), "Bad parameter");
    EXPECT_STREQ(KES_ReturnStatusToString(0x1234), "Unknown status 0x1234");
    EXPECT_STREQ(KES_ReturnStatusToCodeStr(0x1234), "KES_UNKNOWN");
}

TEST(KnoParams, StringKeysAreOwnedCopies) {
    KNOParamList* list = KNO_ParamListCreate(0, 1);
    std::string text = "vnic0";
    ASSERT_EQ(KNO_ParamListAddString(list, text.c_str()), KES_OK);
    ASSERT_EQ(KNO_ParamListAddInt(list, 18446744073709551615ull), KES_OK);
    text[0] = 'X';
    const KNOParam* first = KNO_ParamListGetParam(list, 0);
    for (int i = 0; i < 100; ++i) KNO_ParamListAddInt(list, i);  // growing keeps earlier params in place
    EXPECT_EQ(first, KNO_ParamListGetParam(list, 0));
    EXPECT_STREQ(KNO_ParamGetString(first), "vnic0");
    EXPECT_EQ(KNO_ParamGetInt(KNO_ParamListGetParam(list, 1)), 18446744073709551615ull);
    EXPECT_EQ(KNO_ParamGetString(KNO_ParamListGetParam(list, 1)), nullptr);
    EXPECT_EQ(KNO_ParamListGetParam(list, 102), nullptr);
    EXPECT_EQ(KNO_ParamListUsedCount(list), 102u);

    // A by-value copy given its own text: the original keeps its text.
    KNOParam copy = *first;
    ASSERT_EQ(KNO_ParamSetString(&copy, KNO_ParamGetString(first)), KES_OK);
    EXPECT_NE(copy.u.stringValue, first->u.stringValue);
    KNO_ParamFreeString(&copy);
    EXPECT_EQ(copy.type, KNO_PARAM_NONE);
    EXPECT_STREQ(KNO_ParamGetString(first), "vnic0");
    KNO_ParamListDestroy(list);
    KNO_ParamListDestroy(nullptr);
    EXPECT_EQ(KNO_ParamListAddString(nullptr, "x"), KES_BAD_PARAM);
}

TEST(KnoParams, DataObjectsHoldACopyWithinTheirCapacity) {
    const char bytes[] = "abc";
    KNOData* data = KNOData_Create(10, bytes, 3);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->length, 3u);
    EXPECT_EQ(data->capacity, 10u);
    EXPECT_EQ(std::memcmp(data->data, "abc\0\0\0\0\0\0\0", 10), 0);
    KNOData_Destroy(data);
    EXPECT_EQ(KNOData_Create(2, bytes, 3), nullptr);
    KNOData* empty = KNOData_Create(0, nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->length, 0u);
    KNOData_Destroy(empty);
}

} // namespace
