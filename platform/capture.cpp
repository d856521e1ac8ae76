#include "tarn/platform/capture.h"

#include <memory>
#include <mutex>
#include <stdexcept>

namespace TarnPlatform {
namespace {

struct Recording {
    std::vector<CapturedLine> logs;
    std::vector<CapturedEvent> events;
    std::vector<CapturedLine> syslog;
    std::vector<CapturedSql> sql;
    std::vector<std::string> alerts;
};

std::mutex gMutex;
std::unique_ptr<Recording> gActive;  // the live Capture's recording, if any

template <typename F>
void WithActive(F f) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gActive) f(*gActive);
}

} // namespace

Capture::Capture() {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gActive) throw std::logic_error("a Capture is already active");
    gActive = std::make_unique<Recording>();
}

Capture::~Capture() {
    std::lock_guard<std::mutex> lock(gMutex);
    gActive.reset();
}

std::vector<CapturedLine> Capture::Logs() const {
    std::lock_guard<std::mutex> lock(gMutex);
    return gActive->logs;
}
std::vector<CapturedEvent> Capture::Events() const {
    std::lock_guard<std::mutex> lock(gMutex);
    return gActive->events;
}
std::vector<CapturedLine> Capture::Syslog() const {
    std::lock_guard<std::mutex> lock(gMutex);
    return gActive->syslog;
}
std::vector<CapturedSql> Capture::Sql() const {
    std::lock_guard<std::mutex> lock(gMutex);
    return gActive->sql;
}
std::vector<std::string> Capture::Alerts() const {
    std::lock_guard<std::mutex> lock(gMutex);
    return gActive->alerts;
}
void Capture::Clear() {
    std::lock_guard<std::mutex> lock(gMutex);
    *gActive = Recording();
}

void Capture::RecordLog(int priority, const std::string& text) {
    WithActive([&](Recording& r) { r.logs.push_back({priority, text}); });
}
void Capture::RecordEvent(const CapturedEvent& event) {
    WithActive([&](Recording& r) { r.events.push_back(event); });
}
void Capture::RecordSyslog(int priority, const std::string& text) {
    WithActive([&](Recording& r) { r.syslog.push_back({priority, text}); });
}
void Capture::RecordSql(int connection, const std::string& text) {
    WithActive([&](Recording& r) { r.sql.push_back({connection, text}); });
}
void Capture::RecordAlert(const std::string& text) {
    WithActive([&](Recording& r) { r.alerts.push_back(text); });
}

} // namespace TarnPlatform
