// The image database's cross-process lock: an exclusive flock on the lock
// file, which then holds the locking process id.
#include <sys/file.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>

#include "image/tarn_image.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/syslog.h"

namespace TarnImage {
namespace {

constexpr int kLockAttempts = 3;

} // namespace

void TarnImage::LockImageDB() {
    const std::string path = TarnPlatform::HostPath(IMAGE_DB_LOCK_FILE);
    File file = OpenForWriting(path, "w+");
    if (!file) {
        TarnPlatform::SysLog(LOG_ERR, "Cannot open image database lock file %s", path.c_str());
        return;
    }
    // The installer may hold the lock for a moment: wait up to 2 s for it.
    for (int attempt = 1; flock(fileno(file.get()), LOCK_EX | LOCK_NB) != 0; ++attempt) {
        if (attempt == kLockAttempts) {
            TarnPlatform::SysLog(LOG_ERR, "Cannot lock image database lock file %s", path.c_str());
            return;
        }
        sleep(1);
    }
    if (std::fprintf(file.get(), "%d", static_cast<int>(getpid())) < 0 || std::fflush(file.get()) != 0)
        TarnPlatform::SysLog(LOG_ERR, "Cannot write PID in image database lock file %s", path.c_str());
    lockFile = std::move(file);
}

void TarnImage::UnlockImageDB() {
    if (!lockFile) return;
    flock(fileno(lockFile.get()), LOCK_UN);
    lockFile.reset();
    TarnPlatform::SysLog(LOG_INFO, "Tarn imagedb unlocked.");
}

} // namespace TarnImage
