// Replaying the LoadStore error file: every event becomes one system alert
// with its placeholders filled; a file that is not JSON raises nothing; an
// event of the wrong shape ends the load.
#include "boot/load_store_fixture.h"

namespace LoadStoreTest {
namespace {

using testing::ElementsAre;
using testing::StartsWith;

class LoadStoreErrorFile : public LoadStoreHost {
protected:
    static void WriteErrors(const std::string& json) {
        TarnTest::WriteFile(TarnTest::Rooted("/var/run/halden/files/loadStoreErrors.json"), json);
    }
};

TEST_F(LoadStoreErrorFile, EachEventIsRaisedWithItsPlaceholdersFilledInOrder) {
    const std::string longArg(3000, 'x');
    WriteErrors(R"({"evts": [
        {"evtMsg": "Disk %s failed on %s.", "evtArgs": ["sda", "host1"]},
        {"evtMsg": "Value %s end", "evtArgs": ["a %s b", "c"]},
        {"evtMsg": "No placeholder; 100%", "evtArgs": []},
        {"evtMsg": "Long %s", "evtArgs": [")" + longArg + R"("]}]})");
    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);

    const auto alerts = capture.Alerts();
    ASSERT_EQ(alerts.size(), 4u);
    EXPECT_EQ(alerts[0], "Disk sda failed on host1.");
    EXPECT_EQ(alerts[1], "Value a c b end");  // the first argument's "%s" takes the second
    EXPECT_EQ(alerts[2], "No placeholder; 100%");
    EXPECT_EQ(alerts[3], ("Long " + longArg).substr(0, 2048));
    // The file is only read.
    EXPECT_TRUE(TarnTest::Exists(TarnTest::Rooted("/var/run/halden/files/loadStoreErrors.json")));
}

TEST_F(LoadStoreErrorFile, FilesWithoutAnEventListRaiseNothing) {
    struct Case {
        const char* text;
        bool parses;
    } cases[] = {
        {R"({"events": []})", true}, {R"({"evts": {}})", true}, {"not json at all", false}, {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteKey("BOOT_APPLY_RESULT", "set before");
        WriteErrors(c.text);
        TarnPlatform::Capture capture;
        ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);
        EXPECT_TRUE(capture.Alerts().empty());
        const std::vector<std::string> expected =
            c.parses ? std::vector<std::string>{} : std::vector<std::string>{"Failed to parse LoadStore error file."};
        EXPECT_EQ(Texts(capture.Logs(), 0), expected);
        EXPECT_EQ(StoredKey("BOOT_APPLY_RESULT"), R"({"isBootComplete":false})");
    }
}

TEST_F(LoadStoreErrorFile, AnEventOfTheWrongShapeEndsTheLoadAfterTheEventsBeforeIt) {
    struct Case {
        const char* event;
        const char* failure;
    } cases[] = {
        {R"("just text")", "Generic ConfigStore Failure: Invalid JSON"},
        {R"({"evtMsg": "no arguments member"})", "Generic ConfigStore Failure: Invalid JSON"},
        {R"({"evtMsg": "%s", "evtArgs": [1]})", "Generic ConfigStore Failure: Invalid JSON"},
        {R"({"evtMsg": "one %s", "evtArgs": ["a", "b"]})", "Generic ConfigStore Failure: basic_string::replace"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.event);
        WriteKey("BOOT_APPLY_RESULT", "set before");
        WriteErrors(std::string(R"({"evts": [{"evtMsg": "first", "evtArgs": []}, )") + c.event + "]}");
        TarnPlatform::Capture capture;
        ASSERT_EQ(TarnConfigStore::LoadStore(false), 1);
        const auto alerts = capture.Alerts();
        ASSERT_EQ(alerts.size(), 2u);
        EXPECT_EQ(alerts[0], "first");
        EXPECT_THAT(alerts[1], StartsWith(c.failure));
        EXPECT_EQ(StoredKey("BOOT_APPLY_RESULT"), "set before");  // the record is not reset
    }
}

} // namespace
} // namespace LoadStoreTest
