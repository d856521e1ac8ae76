// Instance keys along a path, and the instance lists of nodes.
#include "apps/knosh/knoshInternal.h"

KNOParamList* KNOSHPath_GetInstArgs(const KNOSHPathElement* element) {
    static const char* const kLabel = "KNOSHPath_GetInstArgs";
    if (!element) return nullptr;
    const KNOSHPathElement* head = element;
    while (head->prev) head = head->prev;

    Knosh::ParamListPtr list(KNO_ParamListCreate(1, 2));
    if (!list) {
        KNOSHDiag(0, kLabel, "Failed to create params list.");
        return nullptr;
    }
    for (const KNOSHPathElement* e = head;; e = e->next) {
        if (e->hasParam) {
            KES_ReturnStatus status = e->param.type == KNO_PARAM_INT
                                          ? KNO_ParamListAddInt(list.get(), KNO_ParamGetInt(&e->param))
                                          : KNO_ParamListAddString(list.get(), KNO_ParamGetString(&e->param));
            if (status != KES_OK) {
                KNOSHDiag(0, kLabel, "Failed to add param to list.");
                return nullptr;
            }
        }
        if (e == element || !e->next) break;
    }
    return list.release();
}

KES_ReturnStatus KNOSH_GetInstanceNodes(const KNONodeInfo* nodeInfo, const KNOParamList* keys, KNOParamList** list) {
    KES_ReturnStatus status = nodeInfo ? KNO_GetInstanceListAlloc(nodeInfo->nodeID, keys, list) : KES_BAD_PARAM;
    if (status != KES_OK)
        KNOSHDiag(0, "KNOSH_GetInstanceNodes", "Failed to get instance nodes: %s", KES_ReturnStatusToString(status));
    return status;
}
