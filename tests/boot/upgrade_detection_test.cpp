// Which boots count as a changed bootbank, an installer upgrade or a
// configuration upgrade: the decision order of the upgrade rules with the
// lines that explain it, and how each kernel-info and store failure ends.
#include "tests/boot/boot_tree.h"
#include "tarn/events.h"
#include "tarn/upgrade_detection.h"

using namespace TarnConfigStore;
using namespace BootTreeTest;
using TarnPlatform::CapturedLine;
using Lines = std::vector<CapturedLine>;

namespace {

const std::string kOtherUuid = "0a1b2c3d-0000-4000-8000-000000000000";

Lines UuidLines(const std::string& current, const std::string& previous, bool upgrade = false) {
    auto lines = Progress({"Current boot fs uuid: " + current, "Previous boot fs uuid: " + previous});
    if (upgrade) lines.push_back({2, "Config upgrade boot"});
    return lines;
}

BootInfo Info(const std::string& cmdLine, const std::string& mac = "", const std::string& uuid = kUuid) {
    BootInfo info;
    info.cmdLine = cmdLine, info.mac = mac, info.uuid = uuid;
    return info;
}

using UpgradeRules = BootHost;

TEST_F(UpgradeRules, RulesInTheirOrder) {
    const Lines installer = Progress({"Installer boot, not considered upgrade."}), same = UuidLines(kUuid, kUuid);
    struct Boot {
        const char* name;
        BootInfo info;
        bool firstBootMarker;
        std::string postLiveInstall, previousUuid;  // stored only when not empty
        bool upgrade;
        Lines logs;
    } boots[] = {
        {"network boot of an installer upgrade", Info("ploverInstalled runplover", "00:50:56:aa:bb:cc"), true, "true",
         kOtherUuid, false, Progress({"PXE boot, not considered upgrade."})},
        {"installer boot with the upgrade marker", Info("ploverInstalled runplover tarnDDImage"), true, "", "", false, installer},
        {"disk-image boot with the upgrade marker", Info("tarnDDImage ploverInstalled"), true, "", "", false,
         Progress({"TARN DD image boot, not considered upgrade."})},
        {"first boot with the upgrade marker", Info("ploverInstalled"), true, "true", kOtherUuid, false,
         Progress({"First boot, not considerd upgrade."})},
        {"installer upgrade after a live install", Info("quiet ploverInstalled"), false, "true", kOtherUuid, true,
         Progress({"Plover installer upgrade: Config upgrade boot."})},
        {"live install with a new bootbank", Info("quiet"), false, "true", kOtherUuid, false,
         Progress({"Live install boot. No upgrade."})},
        // The installer pattern matches whole words only.
        {"runplover alone", Info("runplover"), false, "", kUuid, false, installer},
        {"kickstart file", Info("quiet ks=file:///ks.cfg"), false, "", kUuid, false, installer},
        {"longer word", Info("runplovers quiet"), false, "", kUuid, false, same},
        {"kickstart without value", Info("quiet ks= x"), false, "", kUuid, false, same},
        // The bootbank identity decides the rest; only the exact text "true" marks a live install.
        {"same bootbank", Info("quiet"), false, "true ", kUuid, false, same},
        {"new bootbank", Info("quiet"), false, "", kOtherUuid, true, UuidLines(kUuid, kOtherUuid, true)},
        {"nothing recorded yet", Info("quiet"), false, "", "", true, UuidLines(kUuid, "", true)},
        {"no identity either side", Info("quiet", "", ""), false, "", "", false, UuidLines("", "")},
    };
    for (const Boot& boot : boots) {
        SCOPED_TRACE(boot.name);
        TarnTest::ResetRoot();
        ASSERT_EQ(DBStore::CreateDatabases(), 0);
        WriteBootTree(boot.info);
        if (boot.firstBootMarker) TarnTest::WriteFile(TarnTest::Rooted(FIRSTBOOT_FILE), "");
        if (!boot.postLiveInstall.empty()) WriteKey(POST_LIVE_INSTALL_BOOT, boot.postLiveInstall);
        if (!boot.previousUuid.empty()) WriteKey(BOOT_FS_UUID, boot.previousUuid);
        TarnPlatform::Capture capture;
        EXPECT_EQ(IsUpgrade(), boot.upgrade);
        EXPECT_EQ(capture.Logs(), boot.logs);
        EXPECT_TRUE(capture.Events().empty());
    }
}

TEST_F(UpgradeRules, EveryFailureAnswersNoUpgradeWithOneLineAndEvent) {
    enum Store { kStore, kNoStore, kNoKeyValueTable };
    BootInfo badSignature, noCmdLine, noMac, noUuid;
    badSignature.signatureMatches = false;
    noCmdLine.withCmdLine = noMac.withMac = noUuid.withUuid = false;
    const struct {
        std::string message;
        BootInfo info;
        Store store;
    } failures[] = {
        {"Failed to invoke KNO_CheckSig", badSignature, kStore},
        {"Failed to get boot command line", noCmdLine, kStore},
        {"Failed to get boot nic mac address.", noMac, kStore},
        {"Failed to connect to database.", BootInfo{}, kNoStore},
        {"Failed to read value for key POST_LIVE_INSTALL_BOOT", BootInfo{}, kNoKeyValueTable},
        {"Failed to get boot fs uuid.", noUuid, kStore},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.message);
        TarnTest::ResetRoot();
        ASSERT_EQ(failure.store == kNoStore ? 0 : DBStore::CreateDatabases(), 0);
        if (failure.store == kNoKeyValueTable) RunSql(TarnTest::Rooted(CONFIG_STORE_PATH), "DROP TABLE KVTable;");
        WriteBootTree(failure.info);
        TarnPlatform::Capture capture;
        EXPECT_FALSE(IsUpgrade());
        EXPECT_EQ(capture.Logs(), (Lines{{0, "Failed to check if upgrade: " + failure.message}}));
        EXPECT_EQ(TarnTest::Events(capture), std::vector<std::string>{EVT_UPGRADE_CONFIG_ERROR});
    }
}

// The bootbank question lets its failures reach the caller; only the
// installer question goes without the signature check.
TEST_F(UpgradeRules, BootbankAndCommandLineQuestions) {
    WriteBootTree(Info("quiet"));
    EXPECT_FALSE(IsPloverInstalled());
    BootInfo info = Info("ploverInstalled no-configupgrade-krash");
    info.signatureMatches = false;
    WriteBootTree(info);
    TarnPlatform::Capture capture;
    EXPECT_TRUE(IsPloverInstalled());
    EXPECT_EQ(capture.Logs(), Progress({"BootCmdLine: ploverInstalled no-configupgrade-krash"}));
    EXPECT_EQ(GetBootFsUUID(false), kUuid);
    for (auto* call : {+[] { IsDebugUpgrade(); }, +[] { GetBootFsUUID(true); }, +[] { HasBootbankChanged(); }})
        EXPECT_EQ(Thrown(call), "ConfigStoreException 2000 Failed to invoke KNO_CheckSig");
}

} // namespace
