#include "tarn/platform/pattern.h"

#include <re2/re2.h>

#include <cstring>
#include <optional>
#include <string>

#include "formats.h"

namespace TarnPlatform {

namespace {
// Bounds the compiled program and its match-time caches, so a pattern that
// compiles cannot take much memory per value it is matched against.
constexpr int64_t PATTERN_MAX_MEMORY = 1 << 20;
} // namespace

// An expression, or a format with the node's own expression, if any (see
// FormatPatternText).
class Pattern {
public:
    Pattern(const re2::RE2::Options& options, const char* text, size_t size) {
        if (size > 0 && text[0] == FORMAT_MARK) {
            const char* mark = static_cast<const char*>(std::memchr(text + 1, FORMAT_MARK, size - 1));
            if (!mark) return;  // not made by FormatPatternText: refused
            format.emplace(text + 1, static_cast<size_t>(mark - text - 1));
            size -= static_cast<size_t>(mark + 1 - text);
            text = mark + 1;
            if (size == 0) return;
        }
        re.emplace(re2::StringPiece(text, size), options);
    }
    bool Ok() const { return format ? !re || re->ok() : re && re->ok(); }

    std::optional<std::string> format;
    std::optional<re2::RE2> re;
};

void PatternDelete::operator()(Pattern* pattern) const { delete pattern; }

PatternPtr CompilePattern(const char* text, size_t size) {
    re2::RE2::Options options;
    options.set_encoding(re2::RE2::Options::EncodingUTF8);
    options.set_log_errors(false);
    options.set_max_mem(PATTERN_MAX_MEMORY);
    PatternPtr pattern(new Pattern(options, text, size));
    if (!pattern->Ok()) pattern.reset();
    return pattern;
}

bool PatternSearch(const Pattern& pattern, const char* text, size_t size) {
    if (pattern.format && !FormatHolds(*pattern.format, text, size)) return false;
    return !pattern.re || re2::RE2::PartialMatch(re2::StringPiece(text, size), *pattern.re);
}

} // namespace TarnPlatform
