// The input of a data node's set: hexadecimal byte text, two digits a
// byte; a lone last digit of an argument is a byte of its own.
#include <cstring>

#include "apps/knosh/knoshInternal.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

namespace Knosh {

DataPtr CreateInputData(int argc, char** argv, KES_ReturnStatus* status) {
    uint64_t capacity = 1;  // one spare byte, as the kernel's own tools size it
    for (int i = 0; i < argc; ++i) capacity += (strlen(argv[i]) + 1) / 2;
    DataPtr data(capacity <= UINT32_MAX ? KNOData_Create(static_cast<uint32_t>(capacity), nullptr, 0) : nullptr);
    if (!data) {
        *status = KES_NO_MEMORY;
        return nullptr;
    }
    uint32_t used = 0;
    for (int i = 0; i < argc; ++i) {
        for (const char* p = argv[i]; *p; p += p[1] ? 2 : 1) {
            int high = HexValue(p[0]), low = p[1] ? HexValue(p[1]) : 0;
            if (high < 0 || low < 0) {
                KNOSHDiag(0, "KNOSHCreateInputData", "expecting hex bytes; got '%c'", high < 0 ? p[0] : p[1]);
                *status = KES_BAD_PARAM;
                return nullptr;
            }
            data->data[used++] = static_cast<unsigned char>(p[1] ? high << 4 | low : high);
        }
    }
    data->length = used;
    *status = KES_OK;
    return data;
}

} // namespace Knosh
