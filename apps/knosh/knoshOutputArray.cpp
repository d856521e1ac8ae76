// Arrays in the default and raw styles: texts, element lists, and in the
// default style the arrays known by the end of their type's name
// (histograms, Ethernet and IPv6 addresses).
#include <cstring>

#include "apps/knosh/knoshInternal.h"

namespace {

bool EndsWith(const char* name, const char* suffix) {
    size_t n = strlen(name), s = strlen(suffix);
    return n >= s && strcmp(name + n - s, suffix) == 0;
}

uint32_t Count(const KNOType* type) {
    return type->elementType->size ? type->size / type->elementType->size : 0;
}

// A text array prints as its text; true when the type is one.
bool PrintedAsText(const void* buffer, const KNOType* type, uint32_t size) {
    const KNOType* element = type->elementType;
    if (element->kind != KNO_TYPE_BASE || !KNOSHIsArrayStringType(element->display)) return false;
    if (size && type->size) KNOSHPrintf("%.*s", static_cast<int>(type->size), static_cast<const char*>(buffer));
    return true;
}

void PrintElements(const void* buffer, const KNOType* type, int indent, const KNOSHOutputTable* table) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const KNOType* element = type->elementType;
    uint32_t count = Count(type);
    for (uint32_t i = 0; i < count; ++i) {
        if (i) {
            KNOSHPrintf("\n");
            Knosh::PrintIndent(indent);
        }
        KNOSHPrintf("[%d]: ", static_cast<int>(i));
        KNOSHOutput_PrintBuf(bytes + i * element->size, element, type->size - i * element->size, indent, table, 0);
    }
}

// Histogram buckets: a count (unsigned) and the bucket's upper bound
// (signed); the last bucket holds what lies above the bound before it.
// Only elements of two 8-byte members have that shape.
bool PrintBuckets(const void* buffer, const KNOType* type, int indent) {
    const KNOType* element = type->elementType;
    if (element->kind != KNO_TYPE_STRUCT || element->numMembers < 2 || element->members[0].type->size != 8 ||
        element->members[1].type->size != 8)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    uint32_t count = Count(type);
    KNOSHPrintf(" {");
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* bucket = bytes + i * element->size;
        unsigned long counted = Knosh::ReadUnsigned(bucket + element->members[0].offset, 8);
        long bound = static_cast<long>(Knosh::ReadUnsigned(bucket + element->members[1].offset, 8));
        KNOSHPrintf(i + 1 < count ? "\n%*s%-18lu (<= %18ld)" : "\n%*s%-18lu (>  %18ld)", 3 * indent + 3, " ", counted,
                    bound);
    }
    KNOSHPrintf("\n");
    Knosh::PrintIndent(indent);
    KNOSHPrintf("}");
    return true;
}

void PrintEthAddress(const void* buffer, const KNOType* type, int indent, const KNOSHOutputTable* table) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const KNOType* element = type->elementType;
    for (uint32_t i = 0, count = Count(type); i < count; ++i)
        KNOSHOutput_PrintBuf(bytes + i * element->size, element, type->size - i * element->size, indent + 1, table, 0);
}

// Groups of two elements' first bytes joined by ":"; an odd last element
// is paired with a zero byte.
void PrintIPv6Address(const void* buffer, const KNOType* type) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    uint32_t step = type->elementType->size, count = Count(type);
    for (uint32_t i = 0; i < count; i += 2) {
        unsigned next = i + 1 < count ? bytes[(i + 1) * step] : 0;
        KNOSHPrintf("%02x%02x", bytes[i * step], next);
        if (i + 2 < count) KNOSHPrintf(":");
    }
}

} // namespace

namespace Knosh {

void PrintArrayDefault(const void* buffer, const KNOType* type, uint32_t size, int indent,
                       const KNOSHOutputTable* table, int) {
    if (PrintedAsText(buffer, type, size)) return;
    if (EndsWith(type->name, "BucketArray") && PrintBuckets(buffer, type, indent)) return;
    if (EndsWith(type->name, "EthAddressArray6")) return PrintEthAddress(buffer, type, indent, table);
    if (EndsWith(type->name, "IPv6Address")) return PrintIPv6Address(buffer, type);
    PrintElements(buffer, type, indent, table);
}

void PrintArrayRaw(const void* buffer, const KNOType* type, uint32_t size, int indent,
                   const KNOSHOutputTable* table, int) {
    if (!PrintedAsText(buffer, type, size)) PrintElements(buffer, type, indent, table);
}

} // namespace Knosh
