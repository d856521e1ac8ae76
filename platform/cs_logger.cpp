#include "tarn/platform/cs_logger.h"

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "log_file.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/host_utils.h"

namespace CSLogger {
namespace {

constexpr char kStoreLog[] = "/var/log/configstore.log";

std::atomic<ErrorMessageLookup> gErrorLookup{nullptr};

struct FileLogger {
    std::string path;
};

std::mutex gLoggersMutex;
std::list<FileLogger> gFileLoggers;  // stable addresses: they are the handles

std::string Format(const char* format, va_list args) {
    std::unique_ptr<char, decltype(&std::free)> text(Str_Vasprintf(nullptr, format, args), &std::free);
    return text ? std::string(text.get()) : std::string("(log line could not be formatted)");
}

void Emit(log_priority priority, const std::string& text) {
    const std::string tag = "[" + std::to_string(priority) + "]";
    TarnPlatform::AppendLogLine(kStoreLog, tag, text);
    {
        std::lock_guard<std::mutex> lock(gLoggersMutex);
        for (const FileLogger& logger : gFileLoggers) TarnPlatform::AppendLogLine(logger.path, tag, text);
    }
    TarnPlatform::Capture::RecordLog(priority, text);
}

} // namespace

void Log(log_priority priority, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = Format(format ? format : "", args);
    va_end(args);
    Emit(priority, text);
}

void LogErrCode(log_priority priority, TarnConfigStore::CSErrorCodes code, ...) {
    ErrorMessageLookup lookup = gErrorLookup.load();
    const char* format = lookup ? lookup(code) : nullptr;
    if (!format) {
        Emit(priority, "error code " + std::to_string(static_cast<int>(code)));
        return;
    }
    va_list args;
    va_start(args, code);
    std::string text = Format(format, args);
    va_end(args);
    Emit(priority, text);
}

void* AddFileLogger(const std::string& name) {
    std::lock_guard<std::mutex> lock(gLoggersMutex);
    gFileLoggers.push_back({"/var/log/" + name + ".log"});
    return &gFileLoggers.back();
}

void RemoveFileLogger(void* handle) {
    std::lock_guard<std::mutex> lock(gLoggersMutex);
    gFileLoggers.remove_if([handle](const FileLogger& l) { return &l == handle; });
}

void SetErrorMessageLookup(ErrorMessageLookup lookup) { gErrorLookup.store(lookup); }

} // namespace CSLogger
