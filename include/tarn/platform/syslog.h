// The host's system log. Lines go to /var/log/syslog under the host root;
// on the real root (no TARN_ROOT) they also go to syslog(3).
#pragma once

#include "tarn/export.h"

namespace TarnPlatform {

TARN_PLATFORM_EXPORT void SysLog(int priority, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

} // namespace TarnPlatform
