#include "boot/raise_sys_alert.h"

#include <cstdint>
#include <memory>

#include "tarn/platform/cs_logger.h"
#include "tarn/platform/kno/kes_status.h"
#include "tarn/platform/kno/kno.h"

namespace TarnConfigStore {
namespace {

constexpr size_t kMaxAlertLength = 2048;

struct ParamListDestroyer {
    void operator()(KNOParamList* list) const { KNO_ParamListDestroy(list); }
};
using ParamList = std::unique_ptr<KNOParamList, ParamListDestroyer>;

} // namespace

void RaiseSysAlert(std::string& text) {
    if (text.size() > kMaxAlertLength - 1) text = text.substr(0, kMaxAlertLength);

    ParamList list(KNO_ParamListCreate(0, 1));
    if (!list) {
        CSLogger::Log(0, "Failed to raise sysAlert. Failed to create kno param list.");
        return;
    }
    if (KNO_ParamListAddString(list.get(), text.c_str()) != 0) {
        CSLogger::Log(0, "Failed to raise sysAlert. Failed to add string to kno param list.");
        return;
    }
    uint64_t output = 0;  // the alert node writes nothing back; the call wants a place for it
    KES_ReturnStatus status = KNO_Set(KNO_NODE_system_sysAlert, nullptr, list.get(), &output, 0);
    if (status != 0) CSLogger::Log(0, "Failed to raise sysAlert with status: %s", KES_ReturnStatusToString(status));
}

} // namespace TarnConfigStore
