#include "tarn/platform/pattern.h"

#include <re2/re2.h>

#include <string>

namespace TarnPlatform {

namespace {
// Bounds the compiled program and its match-time caches, so a pattern that
// compiles cannot take much memory per value it is matched against.
constexpr int64_t PATTERN_MAX_MEMORY = 1 << 20;
} // namespace

class Pattern {
public:
    Pattern(const re2::RE2::Options& options, const char* text, size_t size)
        : re(re2::StringPiece(text, size), options) {}
    re2::RE2 re;
};

void PatternDelete::operator()(Pattern* pattern) const { delete pattern; }

PatternPtr CompilePattern(const char* text, size_t size) {
    re2::RE2::Options options;
    options.set_encoding(re2::RE2::Options::EncodingUTF8);
    options.set_log_errors(false);
    options.set_max_mem(PATTERN_MAX_MEMORY);
    PatternPtr pattern(new Pattern(options, text, size));
    if (!pattern->re.ok()) pattern.reset();
    return pattern;
}

bool PatternSearch(const Pattern& pattern, const char* text, size_t size) {
    return re2::RE2::PartialMatch(re2::StringPiece(text, size), pattern.re);
}

} // namespace TarnPlatform
