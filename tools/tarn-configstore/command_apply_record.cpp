// apply-record, restore-failures: the outcome of the host's boot-time apply.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "tarn/boot_state.h"
#include "tarn/rapidjson.h"
#include "write_check.h"

namespace TarnCli {
namespace {

// The record operations ignore a failed write; the command reads the record
// back: set, the text given (complete); cleared, no text (not complete).
void ExpectRecord(const WriteCheck& check, const char* text) {
    const rapidjson::Document record = TarnConfigStore::getBootApplyRecord();
    const auto complete = record.FindMember("isBootComplete");
    const auto stored = record.FindMember("bootApplyRecord");
    const bool isSet = complete != record.MemberEnd() && complete->value.IsBool() && complete->value.GetBool();
    const bool holds = stored != record.MemberEnd() && stored->value.IsString() && text &&
                       std::strcmp(stored->value.GetString(), text) == 0;
    check.Expect(text ? isSet && holds : !isSet && stored == record.MemberEnd(),
                 text ? "the boot apply record" : "the cleared boot apply record");
}

} // namespace

int RunApplyRecord(const Args& args) {
    const Args w = ParseArgs(args).operands;
    if (w.empty()) {
        rapidjson::Document record = TarnConfigStore::getBootApplyRecord();
        rapidjson::StringBuffer out;
        rapidjson::Writer<rapidjson::StringBuffer> writer(out);
        record.Accept(writer);
        std::printf("%s\n", out.GetString());
        return 0;
    }
    if (Choose(w, {"set", "clear"}) == 1) {
        AtMost(w, 1);
        auto lock = LockStore();
        const WriteCheck check;
        TarnConfigStore::clearBootApplyRecord();
        ExpectRecord(check, nullptr);
        return 0;
    }
    if (w.size() == 1) throw UsageError("set needs the TEXT of the record");
    AtMost(w, 2);
    auto lock = LockStore();
    const WriteCheck check;
    TarnConfigStore::setBootApplyRecord(w[1]);
    ExpectRecord(check, w[1].c_str());
    return 0;
}

int RunRestoreFailures(const Args& args) {
    AtMost(ParseArgs(args).operands, 0);
    for (const TarnConfigStore::FailureRecord& r : TarnConfigStore::GetBootTimeRestoreFailures())
        std::printf("%s/%s/%s\n", r.component.c_str(), r.configGroup.c_str(), r.name.c_str());
    return 0;
}

} // namespace TarnCli
