// JSON printed for scripts. Texts from the store and the file system may hold
// bytes that are not UTF-8 (a file name, an identifier); JSON must not, so
// such a sequence is written as U+FFFD and the output stays parseable.
#pragma once

#include <optional>
#include <string>

#include "tarn/rapidjson.h"

namespace TarnCli {

// The text with every byte sequence that is not well-formed UTF-8 (overlong,
// surrogate, past U+10FFFF, cut short) replaced by U+FFFD, one per byte.
std::string ValidUtf8(const char* text, size_t length);

class JsonOutput : public rapidjson::Writer<rapidjson::StringBuffer> {
    using Base = rapidjson::Writer<rapidjson::StringBuffer>;

public:
    JsonOutput() : Base(m_buffer) {}

    // Hide the base's texts, so that documents written through Accept come
    // here as well.
    bool String(const char* text, rapidjson::SizeType length, bool copy = false);
    bool String(const std::string& text) { return String(text.data(), static_cast<rapidjson::SizeType>(text.size())); }
    bool Key(const char* text, rapidjson::SizeType length, bool copy = false) { return String(text, length, copy); }
    bool Key(const char* text) { return Key(text, static_cast<rapidjson::SizeType>(std::char_traits<char>::length(text))); }

    // A stored layer: the JSON it holds, or its text when it is no JSON;
    // null when it holds nothing (NULL or an empty text: the store writes
    // both for an empty layer, and every listing shows them alike).
    void Layer(const std::optional<std::string>& stored);

    // Writes the finished document and a newline to standard output.
    void Print() const;
    // The finished document.
    std::string Text() const { return m_buffer.GetString(); }

private:
    rapidjson::StringBuffer m_buffer;
};

} // namespace TarnCli
