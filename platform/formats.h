// The string formats a schema's "format" keyword names and the validator
// checks: date-time, email, hostname, ipv4, ipv6, uri and regex. Other names
// are not checked, as JSON Schema leaves them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace TarnPlatform {

bool IsCheckedFormat(std::string_view format);

// Whether the text (size bytes) is in the format; true for an unchecked one.
bool FormatHolds(std::string_view format, const char* text, size_t size);

// What a value of the format is, for messages: "an IPv4 address".
std::string FormatDescription(std::string_view format);

} // namespace TarnPlatform
