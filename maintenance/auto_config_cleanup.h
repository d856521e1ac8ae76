// The statements of CleanupAutoConfig, for the boot that runs them on a copy
// of Config together with its desired-configuration step.
#pragma once

namespace TarnConfigStore {

// Without its ";", so that more assignments can end its SET clause.
inline constexpr char CLEAR_AUTO_CONFIG[] = "update config set autoconfvalue=null";
inline constexpr char CLEAR_AUTO_CONFIG_FAILURE[] = "Error removing auto configuration value.";
// Objects that only ever had an automatic value have nothing left.
inline constexpr char DELETE_EMPTY_CONFIG[] =
    "delete from config where uservalue is null and vitalvalue is null and cachedvalue is null and DesiredValue is "
    "null;";
inline constexpr char DELETE_EMPTY_CONFIG_FAILURE[] = "Error cleaning up config.";

} // namespace TarnConfigStore
