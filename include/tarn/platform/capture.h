// Exact capture of what the system reports, for tests and diagnostics.
// While a Capture object lives, every log line (priority and text), event,
// system-log line and SQL statement text is also recorded in memory. The
// files under the host root are written either way.
#pragma once

#include <string>
#include <vector>

#include "tarn/export.h"

namespace TarnPlatform {

struct CapturedLine {
    int priority;
    std::string text;
    bool operator==(const CapturedLine& o) const { return priority == o.priority && text == o.text; }
};

struct CapturedEvent {
    std::string id;
    std::vector<std::string> args;
    std::string message;  // the catalog message with the arguments filled in
};

struct CapturedSql {
    int connection;  // serial number of the connection that ran it
    std::string text;
};

class TARN_PLATFORM_EXPORT Capture {
public:
    Capture();   // starts recording; only one Capture may live at a time
    ~Capture();  // stops recording
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::vector<CapturedLine> Logs() const;
    std::vector<CapturedEvent> Events() const;
    std::vector<CapturedLine> Syslog() const;
    std::vector<CapturedSql> Sql() const;
    std::vector<std::string> Alerts() const;  // system alerts raised, in order
    void Clear();

    // Recorders used by the platform components.
    static void RecordLog(int priority, const std::string& text);
    static void RecordEvent(const CapturedEvent& event);
    static void RecordSyslog(int priority, const std::string& text);
    static void RecordSql(int connection, const std::string& text);
    static void RecordAlert(const std::string& text);
};

} // namespace TarnPlatform
