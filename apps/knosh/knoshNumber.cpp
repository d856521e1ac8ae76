// strtoul_limit: a bounded number reader. Unlike strtoul it saturates at a
// caller's limit and can refuse digits that are not valid in the base.
#include "apps/knosh/knoshInternal.h"

namespace {

bool IsBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Value of a digit or letter (0-35); -1 for any other character.
int DigitValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return -1;
}

} // namespace

unsigned long strtoul_limit(const char* text, char** end, int base, unsigned long negLimit, unsigned long limit,
                            int allowTrailing) {
    const char* p = text;
    auto finish = [&](const char* at, unsigned long value) {
        if (end) *end = const_cast<char*>(at);
        return value;
    };

    while (IsBlank(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+') {
        ++p;
    } else if (*p == '-') {
        negative = true;
        if (negLimit != 0) limit = negLimit;
        ++p;
    }
    if ((base == 0 || base == 16) && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    } else if (base == 0) {
        base = *p == '0' ? 8 : 10;
    }

    unsigned long value = 0;
    bool anyDigit = false, saturated = false;
    for (;; ++p) {
        int digit = DigitValue(static_cast<unsigned char>(*p));
        if (digit < 0) break;
        if (digit >= base) {
            if (allowTrailing) break;
            return finish(text, 0);
        }
        anyDigit = true;
        if (saturated) continue;
        unsigned long b = static_cast<unsigned long>(base), d = static_cast<unsigned long>(digit);
        if (d > limit || value > (limit - d) / b) {  // value * b + d > limit, without overflow
            saturated = true;
            continue;
        }
        value = value * b + d;
    }
    if (!anyDigit) return finish(text, 0);
    if (saturated) return finish(p, limit);
    return finish(p, negative ? 0UL - value : value);
}
