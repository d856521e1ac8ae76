#include "option_values.h"

#include <arpa/inet.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace KnoshFrontend {

namespace {

// A whole decimal number within [low, high].
bool ReadDecimal(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    value = strtol(text, &end, 10);
    return end != text && *end == '\0' && errno != ERANGE && value >= low && value <= high;
}

} // namespace

bool ReadLogLevel(const char* text, int32_t& level) {
    long value = 0;
    if (!ReadDecimal(text, INT32_MIN, INT32_MAX, value)) return false;
    level = static_cast<int32_t>(value);
    return true;
}

bool ReadPort(const char* text, uint16_t& port) {
    long value = 0;
    // Digits only: no sign or blanks, which strtol would take.
    if (!isdigit(static_cast<unsigned char>(*text)) || !ReadDecimal(text, 1, 65535, value)) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

bool IsIPv4Address(const char* text) {
    in_addr address{};
    return inet_pton(AF_INET, text, &address) == 1;
}

} // namespace KnoshFrontend
