#include "boot/load_store_error_file.h"

#include <fstream>
#include <sstream>

#include "boot/raise_sys_alert.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/rapidjson.h"

namespace TarnConfigStore {
namespace {

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Each argument fills the first "%s" left in the message, searching from its
// start, so a "%s" that an argument brings in is filled by the next one.
std::string FillPlaceholders(std::string message, const rapidjson::Value& args) {
    for (const rapidjson::Value& arg : args.GetArray()) {
        std::string value(arg.GetString(), arg.GetStringLength());
        message.replace(message.find("%s"), 2, value);  // no "%s" left: std::out_of_range
    }
    return message;
}

} // namespace

void ReplayLoadStoreErrorFile(const std::string& path) {
    rapidjson::Document doc;
    if (!TarnJson::Parse(doc, ReadWhole(path))) {
        CSLogger::Log(0, "Failed to parse LoadStore error file.");
        return;
    }
    if (!doc.IsObject()) return;
    auto events = doc.FindMember("evts");
    if (events == doc.MemberEnd() || !events->value.IsArray()) return;

    for (const rapidjson::Value& event : events->value.GetArray()) {
        const rapidjson::Value& message = event["evtMsg"];
        std::string text = FillPlaceholders(std::string(message.GetString(), message.GetStringLength()),
                                            event["evtArgs"]);
        RaiseSysAlert(text);
    }
}

} // namespace TarnConfigStore
