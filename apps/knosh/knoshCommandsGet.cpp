// get and cat: read and print the value of one leaf per path.
#include <cstdlib>

#include "apps/knosh/knoshInternal.h"
#include "apps/knosh/knoshNodeArg.h"

namespace {

const char* const kLabel = "KNOSHCmdGetInt";

const char* Text(KES_ReturnStatus status) { return KES_ReturnStatusToString(status); }

KES_ReturnStatus GetData(const KNOSHPathElement* leaf, const KNOParamList* keys) {
    const uint32_t node = leaf->nodeInfo->nodeID;
    uint32_t length = 0;
    KES_ReturnStatus status = KNO_GetDataLength(node, keys, &length);
    if (status != KES_OK) {
        KNOSHDiag(0, kLabel, "GetDataLength failed: %s", Text(status));
        return status;
    }
    Knosh::DataPtr data(KNOData_Create(length, nullptr, 0));
    if (!data) {
        KNOSHDiag(0, kLabel, "failed to alloc output data object");
        return KES_NO_MEMORY;
    }
    status = KNO_GetData(node, keys, data.get());
    if (status != KES_OK) {
        KNOSHDiag(0, kLabel, "GetData failed: %s", Text(status));
        return status;
    }
    Knosh::PrintData(data.get());
    return KES_OK;
}

KES_ReturnStatus GetValue(const KNOSHPathElement* leaf, const KNOParamList* keys) {
    const uint32_t size = leaf->nodeInfo->getOutputSize;
    if (size == 0) {
        KNOSHDiag(0, kLabel, "unknown output size");
        return KES_FAILURE;
    }
    Knosh::BytesPtr buffer = Knosh::NewBytes(size);
    if (!buffer) {
        KNOSHDiag(0, kLabel, "failed to alloc output buffer");
        return KES_NO_MEMORY;
    }
    KES_ReturnStatus status = KNO_Get(leaf->nodeInfo->nodeID, keys, buffer.get(), size);
    if (status != KES_OK) {
        KNOSHDiag(0, kLabel, "Get failed: %s", Text(status));
        return status;
    }
    return Knosh::PrintOutput(kLabel, leaf, buffer.get(), size, KNO_LookupOutputTypeOfGet, Knosh::ToClient());
}

KES_ReturnStatus GetOne(char* text) {
    Knosh::NodeArg node;
    KES_ReturnStatus status = Knosh::ResolveNodeArg(text, &node);
    if (!node.path) KNOSHDiag(0, kLabel, "mal-formed path");
    if (status != KES_OK) return status;
    if (!node.leaf->nodeInfo->isLeaf) {
        KNOSHDiag(0, kLabel, "get only works on a leaf");
        return KES_FAILURE;
    }
    return node.leaf->nodeInfo->isDataNode ? GetData(node.leaf, node.keys.get()) : GetValue(node.leaf, node.keys.get());
}

} // namespace

namespace Knosh {

BytesPtr NewBytes(uint32_t size) { return BytesPtr(static_cast<unsigned char*>(calloc(size ? size : 1, 1))); }

void PrintData(const KNOData* data) {
    if (ToClient())
        KNOSHSendData(data->data, data->length);
    else
        KNOSHOutput_PrintData(data, knoshOutput);
}

KES_ReturnStatus PrintOutput(const char* label, const KNOSHPathElement* leaf, const void* buffer, uint32_t size,
                             KES_ReturnStatus (*lookup)(uint32_t, uint32_t, const KNOType**), bool sendRaw) {
    const KNOType* raw = nullptr;
    KES_ReturnStatus status = lookup(leaf->nodeInfo->nodeID, leaf->moduleID, &raw);
    TypePtr type(raw);
    if (status == KES_OK && !type) status = KES_NOT_FOUND;  // a node without that type
    if (status != KES_OK) {
        KNOSHDiag(0, label, "Couldn't lookup output type information for node %d: %s",
                  static_cast<int>(leaf->nodeInfo->nodeID), Text(status));
        return status;
    }
    if (sendRaw) {
        KNOSHSendData(buffer, size);
        return KES_OK;
    }
    KNOSHOutput_PrintBuf(buffer, type.get(), size, 0, knoshOutput, 0);
    KNOSHPrintf("\n");
    return KES_OK;
}

} // namespace Knosh

KES_ReturnStatus KNOSHCmdGet(KNOSHArgs* args) {
    if (args->argc < 2) return KES_INCOMPLETE;
    for (int32_t i = 1; i < args->argc; ++i) {
        KES_ReturnStatus status = GetOne(args->argv[i]);
        if (status != KES_OK) return status;
    }
    return KES_OK;
}
