// The configuration upgrade of an upgrade boot: the upgrade modules that
// installed crates ship, then the removal of objects without a schema.
#pragma once

#include <string>
#include <vector>

namespace TarnConfigStore {

inline constexpr char CONFIG_UPGRADE_MARKER[] = "/tmp/config-upgrade-marker";
inline constexpr char UPGRADE_MODULE_DIR[] = "/usr/lib/halden/configmanager/upgrade/lib";

// The paths of the entries of dir whose name ends in exactly ".so" (the text
// from the last "." of the name), in the order the directory yields them.
// Throws std::filesystem::filesystem_error when dir cannot be read.
std::vector<std::string> ListUpgradeModules(const std::string& dir);

// Leaves the marker file, runs the modules of the host's module directory
// through the upgrade runner and cleans the store. A failing module is
// logged, not thrown; a module directory that cannot be read throws.
void RunConfigUpgrade();

} // namespace TarnConfigStore
