// Printing a value: dispatch by type kind to the routines of an output
// table, and the helpers those routines share.
#include <cstring>

#include "apps/knosh/knoshInternal.h"

void KNOSHOutput_PrintBuf(const void* buffer, const KNOType* type, uint32_t size, int indent,
                          const KNOSHOutputTable* table, int mode) {
    // The routines read the type's whole size; a shorter value would make
    // them read past it.
    if (type->size > size) {
        KNOSHError("<error> value of %u bytes shorter than its type %s (%u bytes)", size, type->name, type->size);
        return;
    }
    switch (type->kind) {
    case KNO_TYPE_BASE:
        table->printBase(buffer, type, size, indent, table, mode);
        break;
    case KNO_TYPE_ARRAY:
        table->printArray(buffer, type, size, indent, table, mode);
        break;
    case KNO_TYPE_STRUCT:
        table->printStruct(buffer, type, size, indent, table, mode);
        break;
    case KNO_TYPE_ENUM:
        table->printEnum(buffer, type);
        break;
    default:
        Panic("KNOSHOutput_PrintBuf: unsupported type: %d\n", static_cast<int>(type->kind));
    }
}

void KNOSHOutput_PrintData(const KNOData* data, const KNOSHOutputTable* table) { table->printData(data, table); }

int KNOSHIsArrayStringType(const char* display) { return display && strcmp(display, "%s") == 0; }

namespace Knosh {

void PrintIndent(int indent) {
    for (int i = 0; i < indent; ++i) KNOSHPrintf("   ");
}

uint64_t ReadUnsigned(const void* buffer, uint32_t size) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    uint64_t value = 0;
    for (uint32_t i = size < 8 ? size : 8; i > 0; --i) value = value << 8 | bytes[i - 1];
    return value;
}

} // namespace Knosh
