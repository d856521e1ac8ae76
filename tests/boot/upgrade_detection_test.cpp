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

BootInfo Without(bool BootInfo::*flag) {
    BootInfo info;
    info.*flag = false;
    return info;
}

// A failure answers no upgrade with one line and the event.
Lines Failed(const std::string& message) { return {{0, "Failed to check if upgrade: " + message}}; }

using UpgradeRules = BootHost;

TEST_F(UpgradeRules, RulesInTheirOrderAndEveryFailure) {
    const Lines installer = Progress({"Installer boot, not considered upgrade."}), same = UuidLines(kUuid, kUuid);
    const std::string noStore = "<no store>", noTable = "<no KVTable>";
    struct Boot {
        const char* name;
        BootInfo info;
        bool firstBootMarker;
        std::string postLiveInstall, previousUuid;  // stored only when not empty
        bool upgrade;
        Lines logs;
    } boots[] = {
        {"network boot of an installer upgrade", Info("ploverInstalled runplover", "02:00:00:aa:bb:cc"), true, "true",
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
        {"signature", Without(&BootInfo::signatureMatches), false, "", "", false, Failed("Failed to invoke KNO_CheckSig")},
        {"command line", Without(&BootInfo::withCmdLine), false, "", "", false, Failed("Failed to get boot command line")},
        {"MAC", Without(&BootInfo::withMac), false, "", "", false, Failed("Failed to get boot nic mac address.")},
        {"store", BootInfo{}, false, noStore, "", false, Failed("Failed to connect to database.")},
        {"record", BootInfo{}, false, noTable, "", false, Failed("Failed to read value for key POST_LIVE_INSTALL_BOOT")},
        {"UUID", Without(&BootInfo::withUuid), false, "", "", false, Failed("Failed to get boot fs uuid.")},
    };
    for (const Boot& boot : boots) {
        SCOPED_TRACE(boot.name);
        TarnTest::ResetRoot();
        ASSERT_EQ(boot.postLiveInstall == noStore ? 0 : DBStore::CreateDatabases(), 0);
        if (boot.postLiveInstall == noTable) RunSql(TarnTest::Rooted(CONFIG_STORE_PATH), "DROP TABLE KVTable;");
        else if (!boot.postLiveInstall.empty() && boot.postLiveInstall != noStore)
            WriteKey(POST_LIVE_INSTALL_BOOT, boot.postLiveInstall);
        WriteBootTree(boot.info);
        if (boot.firstBootMarker) TarnTest::WriteFile(TarnTest::Rooted(FIRSTBOOT_FILE), "");
        if (!boot.previousUuid.empty()) WriteKey(BOOT_FS_UUID, boot.previousUuid);
        TarnPlatform::Capture capture;
        EXPECT_EQ(IsUpgrade(), boot.upgrade);
        EXPECT_EQ(capture.Logs(), boot.logs);
        const bool failed = boot.logs[0].priority == 0;
        EXPECT_EQ(TarnTest::Events(capture), failed ? std::vector<std::string>{std::string(EVT_UPGRADE_CONFIG_ERROR) + ": Error in upgrading config ."}
                                              : std::vector<std::string>{});  // raised without its argument
    }
}

// The bootbank question lets its failures reach the caller; only the
// installer question goes without the signature check.
TEST_F(UpgradeRules, BootbankAndCommandLineQuestions) {
    WriteBootTree(Info("quiet", "", ""));
    EXPECT_FALSE(IsPloverInstalled());
    EXPECT_TRUE(HasBootbankChanged());  // no UUID now nor before: not shown to be the same
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
