// Arrays as python literals: a text in double quotes, anything else a list.
#include <cstring>

#include "apps/knosh/knoshInternal.h"

namespace Knosh {

void PrintArrayPython(const void* buffer, const KNOType* type, uint32_t, int indent, const KNOSHOutputTable* table,
                      int) {
    const KNOType* element = type->elementType;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    if (element->kind == KNO_TYPE_BASE && KNOSHIsArrayStringType(element->display)) {
        // A text filling its whole array has no NUL: never read beyond it.
        const void* nul = memchr(bytes, 0, type->size);
        int length = static_cast<int>(nul ? static_cast<const unsigned char*>(nul) - bytes : type->size);
        KNOSHPrintf("\"%.*s\"", length, reinterpret_cast<const char*>(bytes));
        return;
    }
    PrintIndent(indent);
    KNOSHPrintf("[\n");
    uint32_t count = element->size ? type->size / element->size : 0;
    for (uint32_t i = 0; i < count; ++i) {
        KNOSHOutput_PrintBuf(bytes + i * element->size, element, type->size - i * element->size, indent, table, 0);
        KNOSHPrintf(",\n");
        PrintIndent(indent);
    }
    KNOSHPrintf("]");
}

} // namespace Knosh
