#include "boot/remove_inside_root.h"

#include <cerrno>
#include <sys/stat.h>

#include "store/host_file_view.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"
#include "tarn/utilities.h"

namespace TarnConfigStore {

void RemoveInsideHostRoot(const std::string& fixedPath) {
    // A rehearsed boot changes nothing outside its scratch directory; which
    // files it would remove is in its log.
    if (TarnPlatform::HostPathsRedirected()) return;
    if (TarnPlatform::HostRoot().empty()) {
        if (FileExists(fixedPath.c_str())) RemoveFile(fixedPath.c_str());
        return;
    }
    const HostFileView view;
    struct stat st;
    if (!view.Lstat(fixedPath, &st)) return;  // nothing there: no line
    // The entry removed, a link itself rather than what it names: the
    // parent resolved inside the root, the name as listed.
    const size_t slash = fixedPath.find_last_of('/') + 1;
    const std::string onHost = TarnPlatform::HostPath(fixedPath.substr(0, slash)) + fixedPath.substr(slash);
    if (view.Remove(fixedPath)) CSLogger::Log(0, "[%s] file removed.", onHost.c_str());
    else CSLogger::Log(0, "Failed to remove: %s, err: %d", onHost.c_str(), errno);
}

} // namespace TarnConfigStore
