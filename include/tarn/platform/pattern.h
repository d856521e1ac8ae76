// Regular expressions of JSON schemas ("pattern", "patternProperties"):
// RE2 syntax, matched in time linear in the text, whatever the pattern.
#pragma once

#include <cstddef>
#include <memory>

#include "tarn/export.h"

namespace TarnPlatform {

class Pattern;  // a compiled expression, defined inside the platform library

// Shared: schemas of many objects repeat the same few expressions (an
// address, an identifier), and the compiled form of a recent text is handed
// out again instead of compiled anew.
using PatternPtr = std::shared_ptr<const Pattern>;

// Null when the text is not an expression we match: not RE2 syntax (look-
// arounds, backreferences), a repetition count over 1000, or a compiled
// form over the memory bound.
TARN_PLATFORM_EXPORT PatternPtr CompilePattern(const char* text, size_t size);

// Whether the pattern matches anywhere in the text (size bytes, UTF-8).
TARN_PLATFORM_EXPORT bool PatternSearch(const Pattern& pattern, const char* text, size_t size);

} // namespace TarnPlatform
