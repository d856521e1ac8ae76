#include "tarn/upgrade_detection.h"

// GCC 12 reports a false "may be used uninitialized" inside <regex> when
// building with the sanitizers; the library code is not ours to change.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>

#include <exception>
#include <memory>
#include <string>
#include <sys/stat.h>

#include "boot/kno_boot_info.h"
#include "tarn/db_connection.h"
#include "tarn/events.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/dump_evt.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"

namespace TarnConfigStore {

const char ploverInstalled[] = "ploverInstalled";
const char FIRSTBOOT_FILE[] = "/var/lib/halden/firstboot/current-store-1";

namespace {

constexpr char NO_CONFIG_UPGRADE_KRASH[] = "no-configupgrade-krash";
constexpr char TARN_DD_IMAGE[] = "tarnDDImage";
// A blank-separated word "runplover", or a word "ks=" with a value.
constexpr char INSTALLER_BOOT_PATTERN[] = R"((^|\s)(runplover(\s|$)|ks=\S+))";

bool Contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

// Throws "Failed to connect to database." (with the full stop, unlike
// GetDBConnection) when the configuration store cannot be opened.
std::shared_ptr<DBStore::StoreConnection> GetStoreConnection() {
    std::shared_ptr<DBStore::StoreConnection> conn = DBStore::GetConnection(DBStore::CONFIG_STORE);
    if (!conn) throw ConfigStoreException("Failed to connect to database.");
    return conn;
}

bool IsInstallerBoot(const std::string& line) {
    // Built on first use inside the caller's handler, so a failure to build
    // it is reported like any other failure of the decision.
    static const std::regex pattern(INSTALLER_BOOT_PATTERN);
    return std::regex_search(line, pattern);
}

bool FirstBootMarkerExists() {
    struct stat info;
    return stat(TarnPlatform::HostPath(FIRSTBOOT_FILE).c_str(), &info) == 0;
}

// The rules in the order that decides; the first one that applies answers.
bool DecideUpgrade() {
    CheckKnoSignature();
    const std::string line = ReadBootCmdLine();

    if (!ReadBootMac().empty()) {
        CSLogger::Log(2, "PXE boot, not considered upgrade.");
        return false;
    }
    if (IsInstallerBoot(line)) {
        CSLogger::Log(2, "Installer boot, not considered upgrade.");
        return false;
    }
    if (Contains(line, TARN_DD_IMAGE)) {
        CSLogger::Log(2, "TARN DD image boot, not considered upgrade.");
        return false;
    }
    if (FirstBootMarkerExists()) {
        CSLogger::Log(2, "First boot, not considerd upgrade.");
        return false;
    }
    if (Contains(line, ploverInstalled)) {
        CSLogger::Log(2, "Plover installer upgrade: Config upgrade boot.");
        return true;
    }

    std::shared_ptr<DBStore::StoreConnection> conn = GetStoreConnection();
    if (ReadKeyValueOrThrow(POST_LIVE_INSTALL_BOOT, conn) == TRUE_STR) {
        CSLogger::Log(2, "Live install boot. No upgrade.");
        return false;
    }

    const std::string current = GetBootFsUUID(false);
    CSLogger::Log(2, "Current boot fs uuid: %s", current.c_str());
    const std::string previous = ReadKeyValueOrThrow(BOOT_FS_UUID, conn);
    CSLogger::Log(2, "Previous boot fs uuid: %s", previous.c_str());
    if (previous == current) return false;

    CSLogger::Log(2, "Config upgrade boot");
    return true;
}

} // namespace

bool IsUpgrade() {
    try {
        return DecideUpgrade();
    } catch (const std::exception& e) {
        // The boot goes on as a plain boot; the event tells the operator why
        // no upgrade ran.
        CSLogger::Log(0, "Failed to check if upgrade: %s", e.what());
        DumpEvt(EVT_UPGRADE_CONFIG_ERROR, 0);
        return false;
    }
}

bool HasBootbankChanged() {
    CheckKnoSignature();
    const std::string current = GetBootFsUUID(false);
    const std::string previous = ReadKeyValueOrThrow(BOOT_FS_UUID, GetStoreConnection());
    // An unknown current file system cannot be shown to be the same one.
    if (!current.empty() && previous == current) {
        CSLogger::Log(2, "Bootbank did not change from previous boot.");
        return false;
    }
    CSLogger::Log(2, "Bootbank changed %s!=%s", current.c_str(), previous.c_str());
    return true;
}

bool IsPloverInstalled() {
    const std::string line = ReadBootCmdLine();
    CSLogger::Log(2, "BootCmdLine: %s", line.c_str());
    return Contains(line, ploverInstalled);
}

bool IsDebugUpgrade() {
    CheckKnoSignature();
    return Contains(ReadBootCmdLine(), NO_CONFIG_UPGRADE_KRASH);
}

} // namespace TarnConfigStore
