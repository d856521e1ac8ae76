// Data objects in every style: a hex dump of 16 bytes a row with the
// printable characters beside them, then the length.
#include "apps/knosh/knoshInternal.h"

namespace Knosh {

void PrintHexDump(const KNOData* data, const KNOSHOutputTable*) {
    const uint32_t used = data->length;
    for (uint32_t row = 0; row < used; row += 16) {
        KNOSHPrintf("%08x  ", row);
        for (uint32_t col = 0; col < 16; ++col) {
            if (row + col < used)
                KNOSHPrintf("%02x ", data->data[row + col]);
            else
                KNOSHPrintf("   ");
            if (col == 7) KNOSHPrintf(" ");
        }
        KNOSHPrintf(" |");
        for (uint32_t col = 0; col < 16 && row + col < used; ++col) {
            unsigned char c = data->data[row + col];
            KNOSHPrintf("%c", c >= 0x20 && c < 0x7f ? c : '.');  // ASCII, whatever the locale
        }
        KNOSHPrintf("|\n");
    }
    KNOSHPrintf("%08x\n", used);
}

} // namespace Knosh
