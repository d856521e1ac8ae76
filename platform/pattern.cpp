#include "tarn/platform/pattern.h"

#include <re2/re2.h>

#include <deque>
#include <mutex>
#include <string>
#include <utility>

namespace TarnPlatform {

namespace {
// Bounds the compiled program and its match-time caches, so a pattern that
// compiles cannot take much memory per value it is matched against.
constexpr int64_t PATTERN_MAX_MEMORY = 1 << 20;
// The recent expressions kept compiled, each at most the bound above, and
// only short texts: what schemas repeat.
constexpr size_t kKeptPatterns = 32;
constexpr size_t kKeptTextSize = 512;
} // namespace

class Pattern {
public:
    Pattern(const re2::RE2::Options& options, const char* text, size_t size)
        : re(re2::StringPiece(text, size), options) {}
    re2::RE2 re;
};

namespace {

PatternPtr Compile(const char* text, size_t size) {
    re2::RE2::Options options;
    options.set_encoding(re2::RE2::Options::EncodingUTF8);
    options.set_log_errors(false);
    options.set_max_mem(PATTERN_MAX_MEMORY);
    auto pattern = std::make_shared<const Pattern>(options, text, size);
    return pattern->re.ok() ? pattern : nullptr;
}

std::mutex gKeptMutex;
std::deque<std::pair<std::string, PatternPtr>> gKept;  // oldest first; null for a text that does not compile

} // namespace

PatternPtr CompilePattern(const char* text, size_t size) {
    if (size > kKeptTextSize) return Compile(text, size);
    const std::string key(text, size);
    {
        std::lock_guard<std::mutex> lock(gKeptMutex);
        for (const auto& [kept, pattern] : gKept)
            if (kept == key) return pattern;
    }
    PatternPtr pattern = Compile(text, size);  // unlocked: compiling is the slow part
    std::lock_guard<std::mutex> lock(gKeptMutex);
    if (gKept.size() == kKeptPatterns) gKept.pop_front();
    gKept.emplace_back(key, pattern);
    return pattern;
}

bool PatternSearch(const Pattern& pattern, const char* text, size_t size) {
    return re2::RE2::PartialMatch(re2::StringPiece(text, size), pattern.re);
}

} // namespace TarnPlatform
