// The store's logger. Lines go, with time and priority, to the store log
// (/var/log/configstore.log under the host root) and to the file of every
// file logger registered at the time (/var/log/<name>.log).
// Priorities: 0 failure, 1 warning, 2 progress, 3 detail.
#pragma once

#include <string>

#include "tarn/error_codes.h"
#include "tarn/export.h"

namespace CSLogger {

typedef int log_priority;

TARN_PLATFORM_EXPORT void Log(log_priority priority, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Logs the table message of the code, filled with the arguments. Never throws.
TARN_PLATFORM_EXPORT void LogErrCode(log_priority priority, TarnConfigStore::CSErrorCodes code, ...);

// Registers a file logger; the handle is opaque and only for RemoveFileLogger.
TARN_PLATFORM_EXPORT void* AddFileLogger(const std::string& name);
TARN_PLATFORM_EXPORT void RemoveFileLogger(void* handle);

// The error-code table that LogErrCode reads, set by the store library when
// it is loaded. Without one, LogErrCode logs the code number and nothing else.
typedef const char* (*ErrorMessageLookup)(int code);
TARN_PLATFORM_EXPORT void SetErrorMessageLookup(ErrorMessageLookup lookup);

} // namespace CSLogger
