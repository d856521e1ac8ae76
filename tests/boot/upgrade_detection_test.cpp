// Which boots count as a changed bootbank, an installer upgrade or a
// configuration upgrade: the decision order of the upgrade rules with the
// lines that explain it, and how each kernel-info and store failure ends.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/boot/boot_tree.h"
#include "tarn/events.h"
#include "tarn/exceptions.h"
#include "tarn/platform/capture.h"
#include "tarn/store_tables.h"
#include "tarn/upgrade_detection.h"

using namespace TarnConfigStore;
using namespace BootTreeTest;
using TarnPlatform::CapturedLine;

namespace {

const std::string kOtherUuid = "0a1b2c3d-0000-4000-8000-000000000000";

std::vector<CapturedLine> UuidLines(const std::string& current, const std::string& previous, bool upgrade = false) {
    auto lines = Progress({"Current boot fs uuid: " + current, "Previous boot fs uuid: " + previous});
    if (upgrade) lines.push_back({2, "Config upgrade boot"});
    return lines;
}

// One boot as upgrade detection sees it.
struct Boot {
    std::string name;
    BootInfo info;
    bool firstBootMarker = false;
    std::string postLiveInstall;  // stored only when not empty
    std::string previousUuid;     // stored only when not empty
    bool upgrade;
    std::vector<CapturedLine> logs;
};

class UpgradeRules : public BootHost {
protected:
    void Check(const Boot& boot) {
        SCOPED_TRACE(boot.name);
        ResetHost();
        WriteBootTree(boot.info);
        if (boot.firstBootMarker) TarnTest::WriteFile(TarnTest::Rooted(FIRSTBOOT_FILE), "");
        if (!boot.postLiveInstall.empty()) WriteKey(POST_LIVE_INSTALL_BOOT, boot.postLiveInstall);
        if (!boot.previousUuid.empty()) WriteKey(BOOT_FS_UUID, boot.previousUuid);

        TarnPlatform::Capture capture;
        EXPECT_EQ(IsUpgrade(), boot.upgrade);
        EXPECT_EQ(capture.Logs(), boot.logs);
        EXPECT_TRUE(capture.Events().empty());
    }

    void ResetHost() {
        TarnTest::ResetRoot();
        ASSERT_EQ(DBStore::CreateDatabases(), 0);
    }

    static BootInfo Line(const std::string& cmdLine, const std::string& mac = "") {
        BootInfo info;
        info.cmdLine = cmdLine;
        info.mac = mac;
        return info;
    }
};

TEST_F(UpgradeRules, RulesInTheirOrder) {
    const std::vector<CapturedLine> installer = Progress({"Installer boot, not considered upgrade."});
    const std::vector<CapturedLine> same = UuidLines(kUuid, kUuid);
    BootInfo noUuid = Line("quiet");
    noUuid.uuid = "";
    const std::vector<Boot> boots = {
        {"network boot of an installer upgrade", Line("ploverInstalled runplover", "00:50:56:aa:bb:cc"), true, "true",
         kOtherUuid, false, Progress({"PXE boot, not considered upgrade."})},
        {"installer boot with the upgrade marker", Line("ploverInstalled runplover tarnDDImage"), true, "", "", false, installer},
        {"disk-image boot with the upgrade marker", Line("tarnDDImage ploverInstalled"), true, "", "", false,
         Progress({"TARN DD image boot, not considered upgrade."})},
        {"first boot with the upgrade marker", Line("ploverInstalled"), true, "true", kOtherUuid, false,
         Progress({"First boot, not considerd upgrade."})},
        {"installer upgrade after a live install", Line("quiet ploverInstalled"), false, "true", kOtherUuid, true,
         Progress({"Plover installer upgrade: Config upgrade boot."})},
        {"live install with a new bootbank", Line("quiet"), false, "true", kOtherUuid, false,
         Progress({"Live install boot. No upgrade."})},
        // The installer pattern matches whole words only.
        {"runplover alone", Line("runplover"), false, "", kUuid, false, installer},
        {"kickstart file", Line("quiet ks=file:///ks.cfg"), false, "", kUuid, false, installer},
        {"longer word", Line("runplovers quiet"), false, "", kUuid, false, same},
        {"kickstart without value", Line("quiet ks= x"), false, "", kUuid, false, same},
        // The bootbank identity decides the rest.
        {"same bootbank", Line("quiet"), false, "false", kUuid, false, same},
        {"new bootbank", Line("quiet"), false, "", kOtherUuid, true, UuidLines(kUuid, kOtherUuid, true)},
        {"nothing recorded yet", Line("quiet"), false, "", "", true, UuidLines(kUuid, "", true)},
        {"no identity either side", noUuid, false, "", "", false, UuidLines("", "")},
        // Only the exact text "true" marks a live install.
        {"live-install marker in capitals", Line("quiet"), false, "TRUE", kOtherUuid, true, UuidLines(kUuid, kOtherUuid, true)},
        {"live-install marker with a blank", Line("quiet"), false, "true ", kUuid, false, same},
    };
    for (const Boot& boot : boots) Check(boot);
}

TEST_F(UpgradeRules, EveryFailureAnswersNoUpgradeWithOneLineAndEvent) {
    enum Store { kStore, kNoStore, kNoKeyValueTable };
    struct Failure {
        std::string message;
        BootInfo info;
        Store store;
    };
    BootInfo badSignature, noCmdLine, noMac, noUuid;
    badSignature.signatureMatches = false;
    noCmdLine.withCmdLine = false;
    noMac.withMac = false;
    noUuid.withUuid = false;
    const std::vector<Failure> failures = {
        {"Failed to invoke KNO_CheckSig", badSignature, kStore},
        {"Failed to get boot command line", noCmdLine, kStore},
        {"Failed to get boot nic mac address.", noMac, kStore},
        {"Failed to connect to database.", BootInfo{}, kNoStore},
        {"Failed to read value for key POST_LIVE_INSTALL_BOOT", BootInfo{}, kNoKeyValueTable},
        {"Failed to get boot fs uuid.", noUuid, kStore},
    };
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.message);
        TarnTest::ResetRoot();
        if (failure.store != kNoStore) {
            ASSERT_EQ(DBStore::CreateDatabases(), 0);
        }
        if (failure.store == kNoKeyValueTable) RunSql(TarnTest::Rooted(CONFIG_STORE_PATH), "DROP TABLE KVTable;");
        WriteBootTree(failure.info);

        TarnPlatform::Capture capture;
        EXPECT_FALSE(IsUpgrade());
        EXPECT_EQ(capture.Logs(), (std::vector<CapturedLine>{{0, "Failed to check if upgrade: " + failure.message}}));
        ASSERT_EQ(capture.Events().size(), 1u);
        EXPECT_EQ(capture.Events()[0].id, EVT_UPGRADE_CONFIG_ERROR);
        EXPECT_TRUE(capture.Events()[0].args.empty());
    }
}

class Bootbank : public BootHost {};

TEST_F(Bootbank, FailuresReachTheCaller) {
    RunSql(TarnTest::Rooted(CONFIG_STORE_PATH), "DROP TABLE KVTable;");
    EXPECT_EQ(Thrown([] { HasBootbankChanged(); }), "ConfigStoreException 2000 Failed to read value for key BOOT_FS_UUID");
    TarnTest::ResetRoot();
    WriteBootTree(BootInfo{});
    EXPECT_EQ(Thrown([] { HasBootbankChanged(); }), "ConfigStoreException 2000 Failed to connect to database.");

    BootInfo badSignature;
    badSignature.signatureMatches = false;
    WriteBootTree(badSignature);
    EXPECT_EQ(Thrown([] { HasBootbankChanged(); }), "ConfigStoreException 2000 Failed to invoke KNO_CheckSig");
}

class BootCommandLine : public BootHost {};

TEST_F(BootCommandLine, MarkersAndWhichCallsCheckTheSignature) {
    BootInfo info;
    info.cmdLine = "quiet ploverInstalled no-configupgrade-krash";
    WriteBootTree(info);
    TarnPlatform::Capture capture;
    EXPECT_TRUE(IsPloverInstalled());
    EXPECT_TRUE(IsDebugUpgrade());
    EXPECT_EQ(capture.Logs(), Progress({"BootCmdLine: quiet ploverInstalled no-configupgrade-krash"}));

    info.cmdLine = "quiet";
    WriteBootTree(info);
    EXPECT_FALSE(IsPloverInstalled());
    EXPECT_FALSE(IsDebugUpgrade());

    // Only the installer question goes without the signature check.
    info.cmdLine = "ploverInstalled no-configupgrade-krash";
    info.signatureMatches = false;
    WriteBootTree(info);
    EXPECT_TRUE(IsPloverInstalled());
    EXPECT_EQ(Thrown([] { IsDebugUpgrade(); }), "ConfigStoreException 2000 Failed to invoke KNO_CheckSig");
    EXPECT_EQ(GetBootFsUUID(false), kUuid);
    EXPECT_EQ(Thrown([] { GetBootFsUUID(true); }), "ConfigStoreException 2000 Failed to invoke KNO_CheckSig");

    info = BootInfo{};
    info.withCmdLine = false;
    info.withUuid = false;
    WriteBootTree(info);
    EXPECT_EQ(Thrown([] { IsPloverInstalled(); }), "ConfigStoreException 2000 Failed to get boot command line");
    EXPECT_EQ(Thrown([] { IsDebugUpgrade(); }), "ConfigStoreException 2000 Failed to get boot command line");
    EXPECT_EQ(Thrown([] { GetBootFsUUID(true); }), "ConfigStoreException 2000 Failed to get boot fs uuid.");
}

} // namespace
