#include "json_output.h"

#include <cstdio>

namespace TarnCli {
namespace {

// Length of the well-formed sequence at the start of s (n bytes left), or 0.
size_t SequenceLength(const unsigned char* s, size_t n) {
    const unsigned char c = s[0];
    if (c < 0x80) return 1;
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (c >= 0xC2 && c <= 0xDF) length = 2;
    else if (c >= 0xE0 && c <= 0xEF) length = 3, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4) length = 4, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
    else return 0;
    if (n < length || s[1] < low || s[1] > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (s[i] < 0x80 || s[i] > 0xBF) return 0;
    return length;
}

} // namespace

std::string ValidUtf8(const char* text, size_t length) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length;) {
        const size_t n = SequenceLength(s + i, length - i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text + i, n);
            i += n;
        }
    }
    return out;
}

bool JsonOutput::String(const char* text, rapidjson::SizeType length, bool copy) {
    const std::string valid = ValidUtf8(text, length);
    if (valid.size() == length) return Base::String(text, length, copy);  // nothing replaced
    return Base::String(valid.data(), static_cast<rapidjson::SizeType>(valid.size()), true);
}

void JsonOutput::Layer(const std::optional<std::string>& stored) {
    rapidjson::Document parsed;
    if (!stored || stored->empty()) Null();
    else if (!TarnJson::Parse(parsed, *stored)) String(*stored);
    else parsed.Accept(*this);
}

void JsonOutput::Print() const { std::printf("%s\n", m_buffer.GetString()); }

} // namespace TarnCli
