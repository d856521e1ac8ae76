// Enum values: by their descriptions in the default style, as a number in
// the raw and python styles.
#include "apps/knosh/knoshInternal.h"

namespace {

uint32_t EnumValue(const void* buffer, const KNOType* type) {
    return static_cast<uint32_t>(Knosh::ReadUnsigned(buffer, type->size < 4 ? type->size : 4));
}

} // namespace

namespace Knosh {

void PrintEnumNamed(const void* buffer, const KNOType* type) {
    uint32_t value = EnumValue(buffer, type);
    bool named = false;
    if (type->isBitmask) {
        KNOSHPrintf(" %#x ->", value);
        for (uint32_t i = 0; i < type->numValues; ++i) {
            uint32_t flag = type->values[i].value;
            if ((flag & value) || (flag == 0 && value == 0)) {
                KNOSHPrintf(" %s", type->values[i].description);
                named = true;
            }
        }
    } else {
        KNOSHPrintf(" %d ->", static_cast<int>(value));
        for (uint32_t i = 0; i < type->numValues && !named; ++i) {
            if (type->values[i].value == value) {
                KNOSHPrintf(" %s", type->values[i].description);
                named = true;
            }
        }
    }
    if (!named) KNOSHPrintf(" No matching defined enum value found.");
}

void PrintEnumNumber(const void* buffer, const KNOType* type) {
    uint32_t value = EnumValue(buffer, type);
    if (type->isBitmask)
        KNOSHPrintf("%#x", value);
    else
        KNOSHPrintf("%d", static_cast<int>(value));
}

} // namespace Knosh
