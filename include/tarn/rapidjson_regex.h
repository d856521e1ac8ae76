// The regular expressions of rapidjson's schema validator (included by
// tarn/rapidjson.h before <rapidjson/schema.h>).
//
// rapidjson's own engine recurses without bound on some patterns ("a?+")
// and builds huge automata for counted repetitions. This class takes its
// place, with the same name and the members schema.h uses, and hands the
// work to the platform's RE2 patterns, which match in linear time.
#pragma once

#ifdef RAPIDJSON_INTERNAL_REGEX_H_
#error "rapidjson's regex was included before tarn/rapidjson.h"
#endif
#define RAPIDJSON_INTERNAL_REGEX_H_  // rapidjson's own is never included

#include <cstring>
#include <type_traits>

#include "tarn/platform/pattern.h"

namespace rapidjson {
namespace internal {

template <typename Encoding, typename Allocator = CrtAllocator>
class GenericRegex {
public:
    typedef typename Encoding::Ch Ch;
    static_assert(std::is_same<Ch, char>::value, "patterns are UTF-8");

    // The text ends at its first NUL, as rapidjson hands it over.
    explicit GenericRegex(const Ch* source, Allocator* = 0)
        : pattern_(TarnPlatform::CompilePattern(source, std::strlen(source))) {}

    bool IsValid() const { return pattern_ != nullptr; }

    bool Search(const Ch* text) const {
        RAPIDJSON_ASSERT(IsValid());
        return TarnPlatform::PatternSearch(*pattern_, text, std::strlen(text));
    }

private:
    TarnPlatform::PatternPtr pattern_;
};

} // namespace internal
} // namespace rapidjson
