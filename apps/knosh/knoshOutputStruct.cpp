// Structs in every style: the table's opening, each member's label and
// value on its own indented line, the closing.
#include "apps/knosh/knoshInternal.h"

namespace {

void PrintStruct(const void* buffer, const KNOType* type, uint32_t size, int indent, const KNOSHOutputTable* table,
                 const char* memberEnd) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    table->beginStruct(type);
    for (uint32_t i = 0; i < type->numMembers; ++i) {
        const KNOStructMember& member = type->members[i];
        Knosh::PrintIndent(indent + 1);
        table->printMemberLabel(&member);
        KNOSHOutput_PrintBuf(bytes + member.offset, member.type, size - member.offset, indent + 1, table, 0);
        KNOSHPrintf("%s", memberEnd);
    }
    Knosh::PrintIndent(indent);
    table->endStruct(type);
}

} // namespace

namespace Knosh {

void PrintStructLines(const void* buffer, const KNOType* type, uint32_t size, int indent,
                      const KNOSHOutputTable* table, int) {
    PrintStruct(buffer, type, size, indent, table, "\n");
}

void PrintStructPython(const void* buffer, const KNOType* type, uint32_t size, int indent,
                       const KNOSHOutputTable* table, int) {
    PrintStruct(buffer, type, size, indent, table, ",\n");
}

} // namespace Knosh
