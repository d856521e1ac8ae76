// Parameter values, parameter lists and data objects.
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>

#include "tarn/platform/kno/kno.h"

static_assert(sizeof(KNOParam) == 32, "KNOParam is a 32-byte record");

// A deque keeps the addresses of earlier values when more are appended, so
// pointers from KNO_ParamListGetParam stay valid while a list grows.
struct KNOParamList {
    std::deque<KNOParam> params;
};

extern "C" {

KNOParamList* KNO_ParamListCreate(uint32_t /*flags*/, uint32_t /*capacity*/) {
    return new (std::nothrow) KNOParamList;
}

KES_ReturnStatus KNO_ParamListAddInt(KNOParamList* list, uint64_t value) {
    if (!list) return KES_BAD_PARAM;
    try {
        KNOParam param{};
        KNO_ParamSetInt(&param, value);
        list->params.push_back(param);
        return KES_OK;
    } catch (...) {
        return KES_NO_MEMORY;
    }
}

KES_ReturnStatus KNO_ParamListAddString(KNOParamList* list, const char* value) {
    if (!list || !value) return KES_BAD_PARAM;
    KNOParam param{};
    KES_ReturnStatus status = KNO_ParamSetString(&param, value);
    if (status != KES_OK) return status;
    try {
        list->params.push_back(param);
        return KES_OK;
    } catch (...) {
        KNO_ParamFreeString(&param);
        return KES_NO_MEMORY;
    }
}

uint32_t KNO_ParamListUsedCount(const KNOParamList* list) {
    return list ? static_cast<uint32_t>(list->params.size()) : 0;
}

KNOParam* KNO_ParamListGetParam(const KNOParamList* list, uint32_t index) {
    if (!list || index >= list->params.size()) return nullptr;
    return const_cast<KNOParam*>(&list->params[index]);
}

void KNO_ParamListDestroy(KNOParamList* list) {
    if (!list) return;
    for (KNOParam& param : list->params) KNO_ParamFreeString(&param);
    delete list;
}

uint64_t KNO_ParamGetInt(const KNOParam* param) {
    return param && param->type == KNO_PARAM_INT ? param->u.intValue : 0;
}

const char* KNO_ParamGetString(const KNOParam* param) {
    return param && param->type == KNO_PARAM_STRING ? param->u.stringValue : nullptr;
}

KES_ReturnStatus KNO_ParamSetString(KNOParam* param, const char* text) {
    if (!param || !text) return KES_BAD_PARAM;
    char* copy = strdup(text);
    if (!copy) return KES_NO_MEMORY;
    std::memset(param, 0, sizeof *param);
    param->type = KNO_PARAM_STRING;
    param->u.stringValue = copy;
    return KES_OK;
}

void KNO_ParamSetInt(KNOParam* param, uint64_t value) {
    if (!param) return;
    std::memset(param, 0, sizeof *param);
    param->type = KNO_PARAM_INT;
    param->u.intValue = value;
}

void KNO_ParamFreeString(KNOParam* param) {
    if (!param || param->type != KNO_PARAM_STRING) return;
    std::free(param->u.stringValue);
    std::memset(param, 0, sizeof *param);
}

KNOData* KNOData_Create(uint32_t length, const void* buffer, uint32_t bufferLength) {
    if (bufferLength > length || (bufferLength && !buffer)) return nullptr;
    auto* data = static_cast<KNOData*>(std::calloc(1, sizeof(KNOData) + length));
    if (!data) return nullptr;
    data->capacity = length;
    data->length = bufferLength;
    if (bufferLength) std::memcpy(data->data, buffer, bufferLength);
    return data;
}

void KNOData_Destroy(KNOData* data) { std::free(data); }

} // extern "C"
