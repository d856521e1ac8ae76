#include "boot/remove_inside_root.h"

#include <cerrno>
#include <sys/stat.h>

#include "store/host_file_view.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"
#include "tarn/utilities.h"

namespace TarnConfigStore {

void RemoveInsideHostRoot(const std::string& fixedPath) {
    if (TarnPlatform::HostRoot().empty()) {
        if (FileExists(fixedPath.c_str())) RemoveFile(fixedPath.c_str());
        return;
    }
    const HostFileView view;
    struct stat st;
    if (!view.Lstat(fixedPath, &st)) return;  // nothing there: no line
    const std::string onHost = TarnPlatform::HostPath(fixedPath);
    if (view.Remove(fixedPath)) CSLogger::Log(0, "[%s] file removed.", onHost.c_str());
    else CSLogger::Log(0, "Failed to remove: %s, err: %d", onHost.c_str(), errno);
}

} // namespace TarnConfigStore
