// typeget: the definition of named types.
#include <cstring>

#include "apps/knosh/knoshInternal.h"

namespace {

const KNOType* FindType(const char* name) {
    if (!knoTypeDefsLookupTab) return nullptr;
    for (uint32_t i = 0; i < knoMaxTypeDefs; ++i)
        if (knoTypeDefsLookupTab[i].name && strcmp(knoTypeDefsLookupTab[i].name, name) == 0)
            return &knoTypeDefsLookupTab[i];
    return nullptr;
}

void PrintType(const KNOType* type) {
    switch (type->kind) {
    case KNO_TYPE_STRUCT:
        KNOSHPrintf("structType %s {\n ", type->name);
        for (uint32_t i = 0; i < type->numMembers; ++i)
            KNOSHPrintf("\t%s : %s\n", type->members[i].type->name, type->members[i].name);
        KNOSHPrintf("}\n");
        break;
    case KNO_TYPE_BASE:
        KNOSHPrintf("baseType %s\n", type->name);
        break;
    case KNO_TYPE_ARRAY: {
        const KNOType* element = type->elementType;
        int count = element && element->size ? static_cast<int>(type->size / element->size) : 0;
        KNOSHPrintf("arrType %s[%d] \n", element ? element->name : "", count);
        break;
    }
    case KNO_TYPE_ENUM:
        KNOSHPrintf("enumType %s {\n", type->name);
        for (uint32_t i = 0; i < type->numValues; ++i)
            KNOSHPrintf("\t%s = %d\n", type->values[i].name, static_cast<int>(type->values[i].value));
        KNOSHPrintf("}\n");
        break;
    default:
        break;
    }
}

} // namespace

KES_ReturnStatus KNOSHCmdTypeGet(KNOSHArgs* args) {
    for (int32_t i = 1; i < args->argc; ++i) {
        const KNOType* type = FindType(args->argv[i]);
        if (!type) {
            KNOSHDiag(0, "KNOSHCmdTypeGet", "type %s does not exist", args->argv[i]);
            return KES_BAD_PARAM;
        }
        PrintType(type);
    }
    return KES_OK;
}
