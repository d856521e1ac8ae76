#include "tarn/boot_state.h"

#include <memory>
#include <string>

#include "maintenance/boot_mode.h"
#include "tarn/db_connection.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/db_store.h"
#include "tarn/store_tables.h"
#include "tarn/upgrade_detection.h"

namespace TarnConfigStore {

namespace {

constexpr char FALSE_STR[] = "false";

// The marker writers must never stop their caller: the connection is handed
// on untested and a failed write goes unnoticed.
void WriteMarker(const char* key, const std::string& value) {
    DBStore::WriteKeyValue(key, value, DBStore::GetConnection(DBStore::CONFIG_STORE));
}

} // namespace

void StartAutoConf() {
    CSLogger::Log(2, "ConfigStore autoconf start");
    WriteMarker(KEY_IS_BOOT, TRUE_STR);
}

void EndAutoConf() {
    CSLogger::Log(2, "ConfigStore endconf end");
    WriteMarker(KEY_IS_BOOT, "");
}

void EnableWardenNotification(bool enable) {
    WriteMarker(KEY_NOTIFY_WARDEN, enable ? TRUE_STR : FALSE_STR);
    CSLogger::Log(2, "ConfigStore warden notification enabled = %d", enable ? 1 : 0);
}

void SetBootMode(BOOTMODE mode) {
    std::shared_ptr<DBStore::StoreConnection> conn = GetDBConnection(DBStore::CONFIG_STORE, true);
    DBStore::WriteKeyValue(KEY_BOOT_MODE, std::to_string(static_cast<int>(mode)), conn);
    CSLogger::Log(2, "Next boot mode set to %d", static_cast<int>(mode));
}

void SetBootModeOn(BOOTMODE mode, const std::shared_ptr<DBStore::StoreConnection>& conn) {
    if (DBStore::WriteKeyValue(KEY_BOOT_MODE, std::to_string(static_cast<int>(mode)), conn) != 0)
        throw ConfigStoreException((std::string("Failed to write value for key ") + KEY_BOOT_MODE).c_str());
    CSLogger::Log(2, "Next boot mode set to %d", static_cast<int>(mode));
}

BOOTMODE GetBootMode() {
    std::shared_ptr<DBStore::StoreConnection> conn = GetDBConnection(DBStore::CONFIG_STORE, true);
    const std::string text = ReadKeyValueOrThrow(KEY_BOOT_MODE, conn);
    if (text.empty()) return BOOTMODE_NORMAL;
    // std::stoi: leading blanks and a sign are taken, trailing text ignored;
    // no number raises std::invalid_argument, too large std::out_of_range.
    // The caller sees those as they are, and an unknown number is returned.
    return static_cast<BOOTMODE>(std::stoi(text));
}

void CleanupBootState() {
    std::shared_ptr<DBStore::StoreConnection> conn = GetDBConnection(DBStore::CONFIG_STORE, true);

    const std::string recorded = ReadKeyValueOrThrow(BOOT_FS_UUID, conn);
    const std::string current = GetBootFsUUID(true);
    if (recorded != current) {
        DBStore::WriteKeyValue(BOOT_FS_UUID, current, conn);
        CSLogger::Log(2, "Setting %s to %s.", BOOT_FS_UUID, current.c_str());
    }

    // Only the exact text counts as set; anything else is left as found.
    if (ReadKeyValueOrThrow(POST_LIVE_INSTALL_BOOT, conn) == TRUE_STR) {
        DBStore::WriteKeyValue(POST_LIVE_INSTALL_BOOT, FALSE_STR, conn);
        CSLogger::Log(2, "Setting %s back to %s.", POST_LIVE_INSTALL_BOOT, FALSE_STR);
    }
}

} // namespace TarnConfigStore
