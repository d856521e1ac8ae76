// The store's databases, tables, triggers and key/value keys. These texts are
// shared by the database service, which creates the tables from them, and by
// the store operations.
#pragma once

#include "tarn/export.h"

namespace TarnConfigStore {

// Database files (fixed host paths).
inline constexpr char CONFIG_STORE_PATH[] = "/etc/halden/configstore/current-store-1";
inline constexpr char DATAFILE_STORE_PATH[] = "/etc/halden/configstore/datafile-store";
inline constexpr char SCHEMA_STORE_PATH[] = "/etc/halden/schemastore/schema-store-1";

// Table statements, in order of definition.
inline constexpr char CREATE_KVTABLE[] =
    "CREATE TABLE IF NOT EXISTS KVTable(Key TEXT, Value TEXT, ModifiedTime DATETIME DEFAULT "
    "(datetime(CURRENT_TIMESTAMP)),CreationTime DATETIME,PRIMARY KEY(Key));";
inline constexpr char CREATE_CONFIG_TABLE[] =
    "CREATE TABLE IF NOT EXISTS Config(Component TEXT,ConfigGroup TEXT,Name TEXT,Identifier TEXT NOT NULL "
    "DEFAULT '',ModifiedTime DATETIME DEFAULT (datetime(CURRENT_TIMESTAMP)),CreationTime DATETIME,Version "
    "TEXT DEFAULT '',Success BOOLEAN DEFAULT 1,AutoConfValue TEXT, UserValue TEXT, VitalValue TEXT, "
    "CachedValue TEXT, DesiredValue TEXT, Revision INTEGER DEFAULT 0, PRIMARY KEY(Component, ConfigGroup, "
    "Name, Identifier))";
inline constexpr char UPDATE_REVISION_TRIGGER[] = "updateRevision";
inline constexpr char CREATE_UPDATE_REVISION_TRIGGER[] =
    "CREATE TRIGGER IF NOT EXISTS updateRevision AFTER UPDATE OF AutoConfValue,UserValue,VitalValue,"
    "CachedValue ON Config BEGIN UPDATE Config SET Revision=OLD.Revision + 1 WHERE Name=NEW.Name and "
    "Component=NEW.Component and ConfigGroup=New.ConfigGroup and Identifier=NEW.Identifier; END;";
inline constexpr char UPDATE_MODIFIED_TIME_TRIGGER[] = "updateModifiedTime";
inline constexpr char CREATE_UPDATE_MODIFIED_TIME_TRIGGER[] =
    "CREATE TRIGGER IF NOT EXISTS updateModifiedTime AFTER UPDATE ON Config BEGIN UPDATE Config SET "
    "ModifiedTime=(datetime(CURRENT_TIMESTAMP)) WHERE Name=NEW.Name and Component=NEW.Component and "
    "ConfigGroup=New.ConfigGroup and Identifier=NEW.Identifier; END;";
inline constexpr char CREATE_DEFAULT_CONFIG_TABLE[] =
    "CREATE TABLE IF NOT EXISTS DefaultConfig(VitalValue TEXT, CachedValue TEXT, Component TEXT,ConfigGroup "
    "TEXT,Name TEXT,Value TEXT,Identifier TEXT NOT NULL DEFAULT '',Source INTEGER,ModifiedTime DATETIME "
    "DEFAULT (datetime(CURRENT_TIMESTAMP)),CreationTime DATETIME,Version TEXT DEFAULT '',Success BOOLEAN "
    "DEFAULT 1,PRIMARY KEY(Component, ConfigGroup, Name, Identifier))";
inline constexpr char CREATE_DESIRED_USER_CONFIG_TABLE[] =
    "CREATE TABLE IF NOT EXISTS DesiredUserConfig(Component TEXT,ConfigGroup TEXT,Name TEXT,Value "
    "TEXT,Identifier TEXT NOT NULL DEFAULT '',VitalValue TEXT, CachedValue TEXT, Version TEXT DEFAULT "
    "'',Success BOOLEAN DEFAULT 1,BootAction TEXT CHECK( BootAction IN ('SET','SET_DEFAULT','DELETE')) NOT "
    "NULL DEFAULT 'DELETE', PRIMARY KEY(Component, ConfigGroup, Name, Identifier))";
inline constexpr char CREATE_UPGRADE_STATUS_TABLE[] =
    "CREATE TABLE IF NOT EXISTS UpgradeStatus(Component TEXT,ConfigGroup TEXT,Name TEXT,Value "
    "TEXT,Identifier TEXT NOT NULL DEFAULT '',ModifiedTime DATETIME DEFAULT (datetime(CURRENT_TIMESTAMP)),"
    "CreationTime DATETIME,Version TEXT DEFAULT '',Success BOOLEAN DEFAULT 1, LibName TEXT, PRIMARY "
    "KEY(LibName))";
inline constexpr char CREATE_CONFIG_SCHEMA_TABLE[] =
    "CREATE TABLE IF NOT EXISTS ConfigSchema(CrateId TEXT,Component TEXT,ConfigGroup TEXT,Name TEXT,Value "
    "TEXT,Version TEXT DEFAULT '',Success BOOLEAN DEFAULT 1,NoRestore BOOLEAN DEFAULT 0,MutableDefaultConfig "
    "BOOLEAN DEFAULT 0,Singleton BOOLEAN DEFAULT 1,SchemaType INTEGER,DSPIntegrated BOOLEAN DEFAULT "
    "0,PreserveNonUser BOOLEAN DEFAULT 0,PRIMARY KEY(Component, ConfigGroup, Name))";
inline constexpr char CREATE_DATAFILE_SCHEMA_TABLE[] =
    "CREATE TABLE IF NOT EXISTS DataFileSchema (CrateId TEXT NOT NULL,Component TEXT NOT NULL,Key TEXT NOT "
    "NULL,Version TEXT NOT NULL,PRIMARY KEY(Component, Key));";
inline constexpr char CREATE_DATAFILE_METADATA_TABLE[] =
    "CREATE TABLE IF NOT EXISTS DataFileMetadata (Component TEXT NOT NULL,Key TEXT NOT NULL,DirName TEXT NOT "
    "NULL,FileName TEXT NOT NULL,PRIMARY KEY (Component, Key, DirName, FileName));";

// Reaching the schema store from a configuration-store connection. Run the
// attach statement as AttachSchemaStoreStatement() returns it: that puts the
// path under the host root.
inline constexpr char ATTACH_SCHEMA_STORE[] = "ATTACH DATABASE '/etc/halden/schemastore/schema-store-1' AS ss;";
inline constexpr char DETACH_SCHEMA_STORE[] = "DETACH DATABASE ss;";

// Keys of KVTable.
inline constexpr char KEY_IS_BOOT[] = "IS_BOOT";
inline constexpr char KEY_NOTIFY_WARDEN[] = "NOTIFY_WARDEN";
inline constexpr char KEY_BOOT_MODE[] = "BOOT_MODE";
inline constexpr char KEY_BOOT_APPLY_RESULT[] = "BOOT_APPLY_RESULT";

// Exported for other programs.
extern TARN_EXPORT const char BOOT_FS_UUID[];            // "BOOT_FS_UUID"
extern TARN_EXPORT const char POST_LIVE_INSTALL_BOOT[];  // "POST_LIVE_INSTALL_BOOT"
extern TARN_EXPORT const char TRUE_STR[];                // "true"

} // namespace TarnConfigStore
