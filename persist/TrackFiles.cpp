#include "boot/non_schema_files.h"
#include "store/host_file_view.h"
#include "tarn/file_persistence.h"
#include "tarn/platform/cs_logger.h"

namespace TarnConfigStore {

void TrackFiles(const std::vector<std::string>& files, FileType type) {
    if (files.empty()) return;
    const char* list = type == BACKUP_FILES       ? BACKUP_FILE_LIST
                       : type == NON_SCHEMA_FILES ? NON_SCHEMA_FILE_LIST
                                                  : nullptr;
    if (!list) {
        CSLogger::Log(0, "Invalid file type specified.");
        return;
    }
    const FilePtr out = HostFileView().OpenForWriting(list);
    if (!out) {
        CSLogger::Log(0, "Failed to open file for tracking");
        return;
    }
    for (const std::string& path : files) {
        // One path per line: a line break would make it two paths.
        if (path.find('\n') != std::string::npos) {
            CSLogger::Log(0, "Path with a line break not tracked.");
            continue;
        }
        std::fputs(path.c_str(), out.get());
        std::fputc('\n', out.get());
    }
}

} // namespace TarnConfigStore
