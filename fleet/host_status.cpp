#include "host_status.h"

#include <algorithm>

#include "tarn/rapidjson.h"

namespace TarnFleet {

namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

int64_t Int(const rapidjson::Value& o, const char* name) {
    const auto m = o.FindMember(name);
    return m != o.MemberEnd() && m->value.IsInt64() ? m->value.GetInt64() : 0;
}

std::string Text(const rapidjson::Value& o, const char* name) {
    const auto m = o.FindMember(name);
    return m != o.MemberEnd() && m->value.IsString() ? std::string(m->value.GetString(), m->value.GetStringLength())
                                                     : "";
}

} // namespace

int64_t Inputs::Revision() const { return std::max({fleet, pinned, overlay}); }

std::string StatusToJson(const HostStatus& s) {
    rapidjson::StringBuffer buffer;
    Writer w(buffer);
    w.StartObject();
    w.Key("host");
    w.String(s.host);
    w.Key("inputs");
    w.StartObject();
    w.Key("fleet");
    w.Int64(s.handled.fleet);
    w.Key("pinned");
    w.Int64(s.handled.pinned);
    w.Key("overlay");
    w.Int64(s.handled.overlay);
    w.EndObject();
    w.Key("seen");
    w.Int64(s.seen);
    w.Key("stored");
    w.Int64(s.stored);
    w.Key("applied");
    w.Int64(s.applied);
    w.Key("state");
    w.String(s.state);
    w.Key("errors");
    w.StartArray();
    for (const DocumentError& e : s.errors) {
        w.StartObject();
        w.Key("object");
        w.String(e.object);
        w.Key("pointer");
        w.String(e.pointer);
        w.Key("reason");
        w.String(e.reason);
        w.EndObject();
    }
    w.EndArray();
    w.Key("plan");
    if (s.plan) {
        w.StartObject();
        w.Key("added");
        w.Int(s.plan->added);
        w.Key("changed");
        w.Int(s.plan->changed);
        w.Key("removed");
        w.Int(s.plan->removed);
        w.Key("bootMode");
        w.Int(s.plan->bootMode);
        w.Key("failure");
        w.String(s.plan->failure);
        w.EndObject();
    } else {
        w.Null();
    }
    w.Key("generation");
    w.Int(s.generation);
    w.Key("digest");
    w.String(s.digest);
    w.Key("storing");
    w.Int64(s.storing);
    w.Key("storingDigest");
    w.String(s.storingDigest);
    w.Key("bootApplyRecord");
    if (s.bootApplyRecord.empty()) w.Null();
    else w.RawValue(s.bootApplyRecord.c_str(), s.bootApplyRecord.size(), rapidjson::kObjectType);
    w.Key("lastSeen");
    w.Int64(s.lastSeen);
    w.EndObject();
    return buffer.GetString();
}

std::optional<HostStatus> StatusFromJson(const std::string& text) {
    rapidjson::Document doc;
    if (TarnJson::Parse(doc, text).IsError() || !doc.IsObject()) return std::nullopt;
    HostStatus s;
    s.host = Text(doc, "host");
    s.state = Text(doc, "state");
    if (s.state.empty()) return std::nullopt;
    const auto inputs = doc.FindMember("inputs");
    if (inputs != doc.MemberEnd() && inputs->value.IsObject())
        s.handled = {Int(inputs->value, "fleet"), Int(inputs->value, "pinned"), Int(inputs->value, "overlay")};
    s.seen = Int(doc, "seen");
    s.stored = Int(doc, "stored");
    s.applied = Int(doc, "applied");
    const auto errors = doc.FindMember("errors");
    if (errors != doc.MemberEnd() && errors->value.IsArray())
        for (const auto& e : errors->value.GetArray())
            if (e.IsObject()) s.errors.push_back({Text(e, "object"), Text(e, "pointer"), Text(e, "reason")});
    const auto plan = doc.FindMember("plan");
    if (plan != doc.MemberEnd() && plan->value.IsObject()) {
        const auto& p = plan->value;
        s.plan = PlanSummary{static_cast<int>(Int(p, "added")), static_cast<int>(Int(p, "changed")),
                             static_cast<int>(Int(p, "removed")), static_cast<int>(Int(p, "bootMode")),
                             Text(p, "failure")};
    }
    s.generation = static_cast<int>(Int(doc, "generation"));
    s.digest = Text(doc, "digest");
    s.storing = Int(doc, "storing");
    s.storingDigest = Text(doc, "storingDigest");
    const auto record = doc.FindMember("bootApplyRecord");
    if (record != doc.MemberEnd() && record->value.IsObject()) {
        rapidjson::StringBuffer buffer;
        Writer w(buffer);
        record->value.Accept(w);
        s.bootApplyRecord = buffer.GetString();
    }
    s.lastSeen = Int(doc, "lastSeen");
    return s;
}

} // namespace TarnFleet
