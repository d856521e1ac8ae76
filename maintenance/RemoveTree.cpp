#include "maintenance/data_file_root.h"

#include "tarn/platform/cs_logger.h"

namespace TarnConfigStore {

void RemoveTree(const std::filesystem::path& path) {
    try {
        std::filesystem::remove_all(path);
    } catch (const std::filesystem::filesystem_error&) {
        CSLogger::Log(0, "Datafile cleanup failed to remove %s ", path.generic_string().c_str());
    }
}

bool IsDirectEntryName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

} // namespace TarnConfigStore
