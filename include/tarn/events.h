// The event catalog: identifiers raised through DumpEvt during boot.
#pragma once

#include "tarn/export.h"

namespace TarnConfigStore {

inline constexpr char EVT_COPY_BACKUP_ERROR[] = "evt.user.cs.createstore.copy.backup.error";
inline constexpr char EVT_DB_OPERATION_ERROR[] = "evt.user.cs.db.operation.error";
inline constexpr char EVT_SCHEMA_FILE_ERROR[] = "evt.user.cs.schema.file.error";
inline constexpr char EVT_DFS_RESTORE_ERROR[] = "evt.user.cs.dfs.restore.error";
inline constexpr char EVT_DFS_CLEANUP_ERROR[] = "evt.user.cs.dfs.cleanup.error";
inline constexpr char EVT_DESIRED_CONFIG_ERROR[] = "evt.user.cs.desired.config.error";
inline constexpr char EVT_UPGRADE_CONFIG_ERROR[] = "evt.user.cs.upgrade.config.error";

// The message of an event identifier; nullptr when it is not in the catalog.
TARN_EXPORT const char* GetEventMessage(const char* id);

} // namespace TarnConfigStore
