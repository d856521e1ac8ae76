// The kernel status table: code names and texts of every status our
// kernel-info calls and their callers use.
#include <cstdio>
#include <cstring>

#include "tarn/platform/kno/kes_status.h"

namespace {

struct StatusText {
    KES_ReturnStatus status;
    const char* code;
    const char* text;
};

constexpr StatusText kStatuses[] = {
    {KES_OK, "KES_OK", "Success"},
    {KES_FAILURE, "KES_FAILURE", "Operation failed"},
    {KES_NOT_FOUND, "KES_NOT_FOUND", "Not found"},
    {KES_LENGTH_FOLLOWS_INPUT, "KES_LENGTH_FOLLOWS_INPUT", "Length follows the input"},
    {KES_NO_TREE, "KES_NO_TREE", "Kernel-info tree not available"},
    {KES_IO_ERROR, "KES_IO_ERROR", "Kernel-info tree file could not be read or written"},
    {KES_BAD_TREE, "KES_BAD_TREE", "Malformed kernel-info tree"},
    {KES_BAD_PARAM, "KES_BAD_PARAM", "Bad parameter"},
    {KES_READ_ONLY, "KES_READ_ONLY", "Node cannot be set this way"},
    {KES_NOT_READABLE, "KES_NOT_READABLE", "Node cannot be read this way"},
    {KES_BUFFER_TOO_SMALL, "KES_BUFFER_TOO_SMALL", "Buffer too small"},
    {KES_NO_INSTANCE, "KES_NO_INSTANCE", "No such instance"},
    {KES_SIG_MISMATCH, "KES_SIG_MISMATCH", "Definitions signature mismatch"},
    {KES_NO_MEMORY, "KES_NO_MEMORY", "Out of memory"},
    {KES_NOT_SUPPORTED, "KES_NOT_SUPPORTED", "Not supported"},
    {KES_INCOMPLETE, "KES_INCOMPLETE", "Missing arguments or incomplete input"},
};

const StatusText* Find(KES_ReturnStatus status) {
    for (const auto& entry : kStatuses) {
        if (entry.status == status) return &entry;
    }
    return nullptr;
}

} // namespace

extern "C" {

const char* KES_ReturnStatusToString(KES_ReturnStatus status) {
    if (const StatusText* entry = Find(status)) return entry->text;
    thread_local char unknown[40];
    std::snprintf(unknown, sizeof unknown, "Unknown status 0x%x", static_cast<unsigned>(status));
    return unknown;
}

const char* KES_ReturnStatusToCodeStr(KES_ReturnStatus status) {
    const StatusText* entry = Find(status);
    return entry ? entry->code : "KES_UNKNOWN";
}

bool KES_CodeStrToReturnStatus(const char* code, KES_ReturnStatus* status) {
    for (const auto& entry : kStatuses) {
        if (code && std::strcmp(entry.code, code) == 0) {
            if (status) *status = entry.status;
            return true;
        }
    }
    return false;
}

} // extern "C"
