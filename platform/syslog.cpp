#include "tarn/platform/syslog.h"

#include <cstdarg>
#include <cstdlib>
#include <memory>
#include <string>
#include <syslog.h>

#include "log_file.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/host_utils.h"

namespace TarnPlatform {

void SysLog(int priority, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::unique_ptr<char, decltype(&std::free)> text(Str_Vasprintf(nullptr, format, args), &std::free);
    va_end(args);
    if (!text) return;

    // The record keeps the text as the caller formatted it (trailing newline
    // included); the file gets one line per message.
    Capture::RecordSyslog(priority, text.get());
    AppendLogLine("/var/log/syslog", "<" + std::to_string(priority) + ">", text.get());
    if (HostPathsAsWritten()) ::syslog(priority, "%s", text.get());
}

} // namespace TarnPlatform
