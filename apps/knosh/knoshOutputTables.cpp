// The three output styles: default (for people), raw (hexadecimal bytes,
// plain names) and python (literals).
#include <cstring>

#include "apps/knosh/knoshInternal.h"

namespace {

bool KnownSize(uint32_t size) { return size == 1 || size == 2 || size == 4 || size == 8; }

// The argument a display format's one conversion takes: the tree's loader
// allows one integer conversion, or "%s" for a character.
enum class Argument { Int, Long, Text };

Argument ArgumentOf(const char* format) {
    for (const char* p = strchr(format, '%'); p; p = strchr(p + 2, '%')) {
        if (p[1] == '%') continue;
        const char* modifiers = p + 1 + strspn(p + 1, "-+ #0123456789");
        const char* conversion = modifiers + strspn(modifiers, "hlzj");
        if (*conversion == 's') return Argument::Text;
        for (const char* m = modifiers; m < conversion; ++m)
            if (*m != 'h') return Argument::Long;
        return Argument::Int;
    }
    return Argument::Int;
}

void PrintBaseDefault(const void* buffer, const KNOType* type, uint32_t, int, const KNOSHOutputTable*, int) {
    if (!KnownSize(type->size)) return KNOSHError("<error> unknown display size");
    uint64_t value = Knosh::ReadUnsigned(buffer, type->size);
    switch (ArgumentOf(type->display)) {
    case Argument::Text: {
        const char text[2] = {static_cast<char>(value), '\0'};
        KNOSHPrintf(type->display, text);
        break;
    }
    case Argument::Long:
        KNOSHPrintf(type->display, static_cast<unsigned long>(value));
        break;
    case Argument::Int:
        KNOSHPrintf(type->display, static_cast<unsigned>(value));
        break;
    }
}

void PrintBaseRaw(const void* buffer, const KNOType* type, uint32_t, int, const KNOSHOutputTable*, int) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    KNOSHPrintf("0x");
    for (uint32_t i = type->size; i > 0; --i) KNOSHPrintf("%02x", bytes[i - 1]);
}

void PrintBasePython(const void* buffer, const KNOType* type, uint32_t, int, const KNOSHOutputTable*, int) {
    if (!KnownSize(type->size)) return KNOSHError("<error> unknown display size");
    uint64_t value = Knosh::ReadUnsigned(buffer, type->size);
    if (type->size == 8)
        KNOSHPrintf("%lu", static_cast<unsigned long>(value));
    else
        KNOSHPrintf("%u", static_cast<unsigned>(value));
}

void BeginStructDefault(const KNOType* type) { KNOSHPrintf("%s {\n", type->display); }
void BeginStructPlain(const KNOType*) { KNOSHPrintf("{\n"); }
void EndStruct(const KNOType*) { KNOSHPrintf("}"); }

void LabelDescription(const KNOStructMember* member) { KNOSHPrintf("%s:", member->description); }
void LabelName(const KNOStructMember* member) { KNOSHPrintf("%s:", member->name); }
void LabelPython(const KNOStructMember* member) { KNOSHPrintf("\"%s\" : ", member->name); }

const KNOSHOutputTable kDefaultOutput{PrintBaseDefault,       Knosh::PrintArrayDefault, Knosh::PrintStructLines,
                                      BeginStructDefault,     LabelDescription,         EndStruct,
                                      Knosh::PrintEnumNamed, Knosh::PrintHexDump};
const KNOSHOutputTable kRawOutput{PrintBaseRaw,     Knosh::PrintArrayRaw,    Knosh::PrintStructLines,
                                  BeginStructPlain, LabelName,               EndStruct,
                                  Knosh::PrintEnumNumber, Knosh::PrintHexDump};
const KNOSHOutputTable kPythonOutput{PrintBasePython,  Knosh::PrintArrayPython, Knosh::PrintStructPython,
                                     BeginStructPlain, LabelPython,             EndStruct,
                                     Knosh::PrintEnumNumber, Knosh::PrintHexDump};

} // namespace

const KNOSHOutputTable* knoshDefaultOutputPtr = &kDefaultOutput;
const KNOSHOutputTable* knoshRawOutputPtr = &kRawOutput;
const KNOSHOutputTable* knoshPythonOutputPtr = &kPythonOutput;
