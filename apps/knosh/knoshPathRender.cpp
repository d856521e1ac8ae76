// Rendering a resolved path back to text.
#include <cstdio>
#include <cstring>

#include "apps/knosh/knoshInternal.h"
#include "tarn/platform/host_utils.h"

void KNOSHPath_CatComponent(char* buffer, uint32_t size, const char* component, uint8_t quote) {
    if (!buffer || !component) return;
    if (quote && *component) {
        size_t length = strlen(component);
        const char* special = strpbrk(component, "/ \t");
        // A trailing "/" marks a branch offered by completion; it stays outside.
        bool enclose = special && component[length - 1] != '/' && special != component + length - 1;
        if (enclose) {
            Str_Strcat(buffer, "\"", size);
            Str_Strcat(buffer, component, size);
            Str_Strcat(buffer, "\"", size);
            return;
        }
    }
    Str_Strcat(buffer, component, size);
}

void KNOSHPath_GetStr(const KNOSHPathElement* element, char* buffer, uint32_t size, uint8_t quote) {
    if (!buffer || size == 0) return;
    buffer[0] = '\0';
    for (const KNOSHPathElement* e = element; e; e = e->next) {
        if (!e->hasParam) {
            if (e->nodeInfo->nodeID == knoshRootNodeID)
                Str_Strcat(buffer, knoshRootNodeStr ? knoshRootNodeStr : "", size);
            else
                KNOSHPath_CatComponent(buffer, size, e->nodeInfo->name, quote);
        } else if (e->param.type == KNO_PARAM_INT) {
            char number[32];
            snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(KNO_ParamGetInt(&e->param)));
            Str_Strcat(buffer, number, size);
        } else {
            KNOSHPath_CatComponent(buffer, size, KNO_ParamGetString(&e->param), quote);
        }
        Str_Strcat(buffer, "/", size);
    }
}
