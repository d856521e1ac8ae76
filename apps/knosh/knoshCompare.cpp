// Natural order of names: numbers inside names compare by value, letters
// without regard to case, so a9 sorts before a10.
#include <cctype>
#include <cstdlib>

#include "apps/knosh/knoshInternal.h"

namespace Knosh {

int NaturalCompare(const char* s, const char* t) {
    for (;;) {
        unsigned char c = static_cast<unsigned char>(*s), d = static_cast<unsigned char>(*t);
        if (isdigit(c) && isdigit(d)) {
            char* sEnd = nullptr;
            char* tEnd = nullptr;
            unsigned long long x = strtoull(s, &sEnd, 0), y = strtoull(t, &tEnd, 0);
            if (x != y) return x < y ? -1 : 1;
            s = sEnd;
            t = tEnd;
            continue;
        }
        int cu = toupper(c), du = toupper(d);
        if (cu != du) return cu < du ? -1 : 1;
        if (cu == 0) return 0;
        ++s;
        ++t;
    }
}

} // namespace Knosh

int KNOSH_StringCompareCb(const void* a, const void* b) {
    return Knosh::NaturalCompare(*static_cast<const char* const*>(a), *static_cast<const char* const*>(b));
}
