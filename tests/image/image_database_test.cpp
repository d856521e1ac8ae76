// The image database reader under the private root: the crate map and its
// dump, the files it skips, each failure, and the lock held elsewhere.
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/image.h"
#include "tarn/platform/host_root.h"

namespace {

using TarnPlatform::CapturedLine;
using TarnTest::Rooted;
using testing::ElementsAre;

const std::string kProfiles = "/var/db/tarnimg/profiles", kCrates = "/var/db/tarnimg/crates";
const std::string kLock = "/var/run/liveimgdb.pid";

void Profile(const std::string& crates) {
    TarnTest::WriteFile(Rooted(kProfiles + "/p.xml"),
                        "<imageprofile><cratelist>" + crates + "</cratelist></imageprofile>");
}

void Descriptor(const std::string& file, const std::string& name, const std::string& tags = "") {
    TarnTest::WriteFile(Rooted(kCrates + "/" + file), "<crate><type>system</type><name>" + name + "</name><version>1.0-1"
                        "</version><name>not the first</name><vendor>Halden</vendor><software-tags>" + tags +
                        "</software-tags></crate>");
}

class ImageDatabase : public testing::Test {
protected:
    void SetUp() override {
        for (const char* dir : {"/var/run", "/tmp"}) TarnPlatform::MakeDirectories(Rooted(dir));
    }
    TarnPlatform::Capture capture;
};

TEST_F(ImageDatabase, MapsProfileCratesToTheirDescriptorsAndDumpsThem) {
    Profile("<crate><crate-id>Halden_system_net_1.0-1</crate-id><payloads><payload>net</payload><!-- c -->"
            "<payload>net-drv</payload></payloads></crate>"
            "<crate><crate-id>Halden_addon_bare_2</crate-id><payloads><payload>gone</payload></payloads></crate>"
            "<crate><crate-id>old</crate-id><crate-id>Halden_addon_bare_2</crate-id></crate>");  // later ids replace
    ASSERT_EQ(mkfifo(Rooted(kProfiles + "/a-fifo").c_str(), 0644), 0);  // skipped, not waited on
    Descriptor("net.xml", "net", "<tag>x</tag><tag>RestrictStickyFiles</tag>");
    Descriptor("other.xml", "other");
    for (const char* ignored : {"net.xml.bak", ".hidden.xml"})
        TarnTest::WriteFile(Rooted(kCrates + "/" + ignored), "<");  // would not parse
    TarnPlatform::MakeDirectories(Rooted(kCrates + "/dir.xml"));
    for (const std::string& stale : {kLock, std::string("/tmp/image-info.csv")})  // longer than what replaces it
        TarnTest::WriteFile(Rooted(stale), std::string(200, 'x'));

    EXPECT_THAT(TarnImage::GetCrateIds(),
                testing::UnorderedElementsAre("Halden_system_net_1.0-1", "old", "Halden_addon_bare_2"));
    capture.Clear();
    const auto crates = TarnImage::GetTarnImage();
    ASSERT_EQ(crates.size(), 2u);
    const TarnImage::CrateInfo& net = crates.at("Halden_system_net_1.0-1");
    EXPECT_EQ(std::tie(net.name, net.version, net.vendor, net.restrictStickyFiles),
              std::make_tuple("net", "1.0-1", "Halden", true));
    EXPECT_THAT(net.payloads, ElementsAre("net", "net-drv"));
    EXPECT_EQ(TarnTest::ReadFile(Rooted(kLock)), std::to_string(getpid()));
    EXPECT_THAT(capture.Syslog(), ElementsAre(CapturedLine{6, "Tarn imagedb locked."},
                                              CapturedLine{6, "Found 3 crates in image profile."},
                                              CapturedLine{3, "crate Halden_system_other_1.0-1 not found in image profile"},
                                              CapturedLine{6, "Tarn imagedb unlocked."}));

    TarnImage::Dump();
    const std::string line1 = "Halden_system_net_1.0-1,net,1.0-1,Halden,1,net|net-drv|\n";
    const std::string line2 = "Halden_addon_bare_2,,,,0,\n";
    EXPECT_THAT(TarnTest::ReadFile(Rooted("/tmp/image-info.csv")), testing::AnyOf(line1 + line2, line2 + line1));
}

TEST_F(ImageDatabase, EachFailureThrowsItsMessageAndReleasesTheLock) {
    const struct {
        std::function<void()> setup;
        std::string thrown, error;  // error: the system log's error line, if any
    } cases[] = {
        {[] { std::filesystem::remove_all(Rooted("/var/run")); }, "Failed to lock imageDB.",
         "Cannot open image database lock file " + Rooted(kLock)},
        {[] {}, "Failed to get image profile path.", "Cannot open image database profiles folder"},
        {[] { TarnPlatform::MakeDirectories(Rooted(kProfiles)); }, "Failed to get image profile path.",
         "No image profile found"},
        {[] { TarnTest::WriteFile(Rooted(kProfiles + "/p.xml"), "<imageprofile>"); },
         "Failed to parse image profile.", ""},
        {[] { Profile(""); }, "Image profile does not contain crates.", ""},
        {[] {
             Profile("<crate><crate-id>a</crate-id></crate>");
             TarnTest::WriteFile(Rooted(kCrates + "/a.xml"), "<crate>");
         },
         "Cannot parse crate xml file: " + Rooted(kCrates + "/a.xml"), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.thrown + " " + c.error);
        TarnTest::ResetRoot();
        SetUp();
        c.setup();
        capture.Clear();
        EXPECT_EQ(TarnTest::Thrown([] { TarnImage::GetTarnImage(); }), "exception " + c.thrown);
        const auto lines = TarnTest::Texts(capture.Syslog()), errors = TarnTest::Texts(capture.Syslog(), 3);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(errors, c.error.empty() ? std::vector<std::string>{} : std::vector{c.error});
        EXPECT_EQ(lines.back(), lines.front() == "Tarn imagedb locked." ? "Tarn imagedb unlocked." : c.error);
    }
    EXPECT_THAT(TarnImage::GetCrateIds(), ElementsAre("a"));  // the descriptors are not read for ids
}

// Tries at 0, 1 and 2 s fail on a lock held for 2.5 s; a second reader,
// starting then, gets it at its second try.
TEST_F(ImageDatabase, GivesUpOnALockHeldByAnotherProcess) {
    Profile("<crate><crate-id>a</crate-id></crate>");
    int locked[2];
    ASSERT_EQ(pipe(locked), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = open(Rooted(kLock).c_str(), O_RDWR | O_CREAT, 0644);
        _exit(fd < 0 || flock(fd, LOCK_EX) != 0 || write(locked[1], "x", 1) != 1 || usleep(2500000) != 0);
    }
    char byte;
    ASSERT_EQ(read(locked[0], &byte, 1), 1);
    EXPECT_EQ(TarnTest::Thrown([] { TarnImage::GetCrateIds(); }), "exception Failed to lock imageDB.");
    EXPECT_THAT(capture.Syslog(), ElementsAre(CapturedLine{3, "Cannot lock image database lock file " + Rooted(kLock)}));
    EXPECT_THAT(TarnImage::GetCrateIds(), ElementsAre("a"));
    int status = -1;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    for (int fd : locked) close(fd);
}

} // namespace
