// apply-record, restore-failures: the outcome of the host's boot-time apply.
#include <cstdio>

#include "commands.h"
#include "tarn/boot_state.h"
#include "tarn/rapidjson.h"

namespace TarnCli {

int RunApplyRecord(const Args& args) {
    Operands ops = SplitOperands(args);
    const Args& w = ops.words;
    if (ops.sawOption) return Usage(FindCommand("apply-record"));
    if (w.empty()) {
        rapidjson::Document record = TarnConfigStore::getBootApplyRecord();
        rapidjson::StringBuffer out;
        rapidjson::Writer<rapidjson::StringBuffer> writer(out);
        record.Accept(writer);
        std::printf("%s\n", out.GetString());
        return 0;
    }
    if (w.size() == 1 && w[0] == "clear") {
        TarnConfigStore::clearBootApplyRecord();
        return 0;
    }
    if (w.size() == 2 && w[0] == "set") {
        TarnConfigStore::setBootApplyRecord(w[1]);
        return 0;
    }
    return Usage(FindCommand("apply-record"));
}

int RunRestoreFailures(const Args& args) {
    if (!args.empty()) return Usage(FindCommand("restore-failures"));
    for (const TarnConfigStore::FailureRecord& r : TarnConfigStore::GetBootTimeRestoreFailures())
        std::printf("%s/%s/%s\n", r.component.c_str(), r.configGroup.c_str(), r.name.c_str());
    return 0;
}

} // namespace TarnCli
