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

// The validator checks a format through the pattern slot of its schema node:
// a pattern text in this form stands for "format" and, after the second
// mark, the node's own pattern (possibly empty).
inline constexpr char FORMAT_MARK = '\x01';
inline std::string FormatPatternText(std::string_view format, std::string_view pattern) {
    return std::string(1, FORMAT_MARK) + std::string(format) + FORMAT_MARK + std::string(pattern);
}

} // namespace TarnPlatform
