// Readers of knosh's option values: each accepts a whole value or nothing.
#pragma once

#include <cstdint>

namespace KnoshFrontend {

// A decimal number in the signed 32-bit range.
bool ReadLogLevel(const char* text, int32_t& level);

// A decimal TCP port, 1 to 65535.
bool ReadPort(const char* text, uint16_t& port);

// A numeric IPv4 address (the daemon listens on IPv4 only).
bool IsIPv4Address(const char* text);

} // namespace KnoshFrontend
