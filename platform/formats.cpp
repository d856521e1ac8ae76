#include "formats.h"

#include <arpa/inet.h>
#include <uriparser/Uri.h>

#include <cstring>

#include "tarn/platform/pattern.h"

namespace TarnPlatform {
namespace {

bool Digits(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

int Number(const char* s, size_t n) {
    int v = 0;
    for (size_t i = 0; i < n; ++i) v = v * 10 + (s[i] - '0');
    return v;
}

// A fixed-width field of digits at s[at], within [low, high].
bool Field(const std::string& s, size_t at, size_t width, int low, int high, int* value = nullptr) {
    if (at + width > s.size() || !Digits(s.data() + at, width)) return false;
    const int v = Number(s.data() + at, width);
    if (value) *value = v;
    return v >= low && v <= high;
}

int DaysIn(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// RFC 3339 date-time: full-date "T" full-time, "T" and "Z" in either case.
bool DateTime(const std::string& s) {
    int year, month, day;
    if (!Field(s, 0, 4, 0, 9999, &year) || s.size() < 20 || s[4] != '-' || !Field(s, 5, 2, 1, 12, &month) ||
        s[7] != '-' || !Field(s, 8, 2, 1, 31, &day) || day > DaysIn(year, month))
        return false;
    if ((s[10] != 'T' && s[10] != 't') || !Field(s, 11, 2, 0, 23) || s[13] != ':' || !Field(s, 14, 2, 0, 59) ||
        s[16] != ':' || !Field(s, 17, 2, 0, 60))  // 60: a leap second
        return false;
    size_t at = 19;
    if (s[at] == '.') {
        const size_t start = ++at;
        while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at;
        if (at == start) return false;
    }
    if (at < s.size() && (s[at] == 'Z' || s[at] == 'z')) return at + 1 == s.size();
    return at + 6 == s.size() && (s[at] == '+' || s[at] == '-') && Field(s, at + 1, 2, 0, 23) && s[at + 3] == ':' &&
           Field(s, at + 4, 2, 0, 59);
}

// RFC 1034 host name: dot-separated labels of letters, digits and hyphens,
// 1 to 63 characters, not beginning or ending with a hyphen; 253 in all.
bool Hostname(const std::string& s) {
    if (s.empty() || s.size() > 253) return false;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find('.', start);
        if (end == std::string::npos) end = s.size();
        const size_t length = end - start;
        if (length == 0 || length > 63 || s[start] == '-' || s[end - 1] == '-') return false;
        for (size_t i = start; i < end; ++i) {
            const char c = s[i];
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')) return false;
        }
        start = end + 1;
    }
    return true;
}

// An e-mail address: a local part and a host name around one "@"; the local part
// of printable characters other than "@", blanks and control characters.
bool Email(const std::string& s) {
    const size_t at = s.find('@');
    if (at == 0 || at == std::string::npos || s.find('@', at + 1) != std::string::npos) return false;
    for (size_t i = 0; i < at; ++i)
        if (static_cast<unsigned char>(s[i]) <= ' ' || s[i] == 0x7f) return false;
    return Hostname(s.substr(at + 1));
}

bool Address(int family, const std::string& s) {
    unsigned char buffer[sizeof(struct in6_addr)];
    return inet_pton(family, s.c_str(), buffer) == 1;
}

// An absolute URI (RFC 3986): a scheme and what follows, as uriparser reads it.
bool Uri(const std::string& s) {
    UriUriA uri;
    const char* error = nullptr;
    if (uriParseSingleUriExA(&uri, s.data(), s.data() + s.size(), &error) != URI_SUCCESS) return false;
    const bool absolute = uri.scheme.first != nullptr;
    uriFreeUriMembersA(&uri);
    return absolute;
}

} // namespace

bool IsCheckedFormat(std::string_view f) {
    return f == "date-time" || f == "email" || f == "hostname" || f == "ipv4" || f == "ipv6" || f == "uri" ||
           f == "regex";
}

bool FormatHolds(std::string_view f, const char* text, size_t size) {
    const std::string s(text, size);
    if (s.find('\0') != std::string::npos && f != "regex") return false;  // no format holds a NUL
    if (f == "date-time") return DateTime(s);
    if (f == "email") return Email(s);
    if (f == "hostname") return Hostname(s);
    if (f == "ipv4") return Address(AF_INET, s);
    if (f == "ipv6") return Address(AF_INET6, s);
    if (f == "uri") return Uri(s);
    if (f == "regex") return CompilePattern(text, size) != nullptr;
    return true;
}

std::string FormatDescription(std::string_view f) {
    if (f == "date-time") return "a date and time (RFC 3339)";
    if (f == "email") return "an e-mail address";
    if (f == "hostname") return "a host name";
    if (f == "ipv4") return "an IPv4 address";
    if (f == "ipv6") return "an IPv6 address";
    if (f == "uri") return "an absolute URI";
    if (f == "regex") return "a regular expression";
    return "a " + std::string(f);
}

} // namespace TarnPlatform
