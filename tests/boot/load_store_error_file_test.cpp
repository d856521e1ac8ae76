// Replaying the LoadStore error file: every event becomes one system alert
// with its placeholders filled; a file that is not JSON raises nothing; an
// event of the wrong shape ends the load after the events before it.
#include "boot/load_store_fixture.h"

namespace LoadStoreTest {
namespace {

// Its own suite: the failed loads here leave their boot log registered, so
// they run after the boot-log test.
using LoadStoreErrorFile = LoadStoreHost;

TEST_F(LoadStoreErrorFile, EventsBecomeAlerts) {
    const std::string longArg(3000, 'x'), failure = "Generic ConfigStore Failure: ";
    const std::string first = R"({"evts": [{"evtMsg": "first", "evtArgs": []}, )";
    const struct {
        std::string text;
        int result;
        std::vector<std::string> alerts;  // of a failed load: the starts of the alerts
        bool unparsed;
    } cases[] = {
        {R"({"evts": [{"evtMsg": "Disk %s failed on %s.", "evtArgs": ["sda", "host1"]},
                      {"evtMsg": "Value %s end", "evtArgs": ["a %s b", "c"]},
                      {"evtMsg": "No placeholder; 100%", "evtArgs": []},
                      {"evtMsg": "Long %s", "evtArgs": [")" + longArg + R"("]}]})",
         0, {"Disk sda failed on host1.", "Value a c b end", "No placeholder; 100%", ("Long " + longArg).substr(0, 2048)}, false},
        {R"({"events": []})", 0, {}, false},
        {R"({"evts": {}})", 0, {}, false},
        {"not json at all", 0, {}, true},
        {first + R"("just text"]})", 1, {"first", failure + "Invalid JSON"}, false},
        {first + R"({"evtMsg": "%s", "evtArgs": [1]}]})", 1, {"first", failure + "Invalid JSON"}, false},
        {first + R"({"evtMsg": "one %s", "evtArgs": ["a", "b"]}]})", 1, {"first", failure + "basic_string::replace"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        WriteKey("BOOT_APPLY_RESULT", "set before");
        TarnTest::WriteFile(TarnTest::Rooted("/var/run/halden/files/loadStoreErrors.json"), c.text);
        TarnPlatform::Capture capture;
        ASSERT_EQ(TarnConfigStore::LoadStore(false), c.result);
        std::vector<std::string> alerts = capture.Alerts();
        for (size_t i = 0; c.result && i < std::min(alerts.size(), c.alerts.size()); ++i)
            alerts[i].resize(c.alerts[i].size());
        EXPECT_EQ(alerts, c.alerts);
        EXPECT_EQ(Contains(Texts(capture.Logs(), 0), "Failed to parse LoadStore error file."), c.unparsed);
        // The record is reset only by a load that got to its end.
        EXPECT_EQ(StoredKey("BOOT_APPLY_RESULT"), c.result ? "set before" : R"({"isBootComplete":false})");
    }
}

} // namespace
} // namespace LoadStoreTest
