#include "tarn/platform/dump_evt.h"

#include <atomic>
#include <cstdarg>
#include <string>
#include <vector>

#include "log_file.h"
#include "tarn/platform/capture.h"

namespace TarnPlatform {
namespace {

std::atomic<EventMessageLookup> gEventLookup{nullptr};

// Fills each "%s" of the message with the next argument; "%%" stands for '%'.
// Missing arguments leave their conversions empty.
std::string Fill(const char* message, const std::vector<std::string>& args) {
    std::string out;
    size_t next = 0;
    for (const char* p = message; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            if (next < args.size()) out += args[next++];
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            out += '%';
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

} // namespace

void SetEventMessageLookup(EventMessageLookup lookup) { gEventLookup.store(lookup); }

} // namespace TarnPlatform

namespace TarnConfigStore {

void DumpEvt(const char* id, int argc, ...) {
    TarnPlatform::CapturedEvent event;
    event.id = id ? id : "";
    va_list args;
    va_start(args, argc);
    for (int i = 0; i < argc; ++i) {
        const char* arg = va_arg(args, const char*);
        event.args.push_back(arg ? arg : "(null)");
    }
    va_end(args);

    TarnPlatform::EventMessageLookup lookup = TarnPlatform::gEventLookup.load();
    const char* message = lookup && id ? lookup(id) : nullptr;
    if (message) {
        event.message = TarnPlatform::Fill(message, event.args);
    } else {
        for (const std::string& arg : event.args) event.message += (event.message.empty() ? "" : " ") + arg;
    }
    TarnPlatform::AppendLogLine("/var/log/configstore-events.log", event.id, event.message);
    TarnPlatform::Capture::RecordEvent(event);
}

} // namespace TarnConfigStore
