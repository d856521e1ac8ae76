// rapidjson's value hasher (enum and uniqueItems) turns every double into an
// integer as well, a conversion whose result is undefined for a double
// outside the 64-bit range (1e20). Included by tarn/rapidjson.h after
// <rapidjson/schema.h>: these specializations, for both allocators schema.h
// hashes with, clamp the integer part first. Both hash alike, so an enum
// entry and a validated value still meet; in-range values hash as before.
#pragma once

#include <cstdint>
#include <limits>

namespace TarnJson {

inline uint64_t HashedIntegerPart(double d) {
    constexpr double TWO_TO_63 = 9223372036854775808.0;
    if (d < 0) {
        const int64_t i = d >= -TWO_TO_63 ? static_cast<int64_t>(d) : std::numeric_limits<int64_t>::min();
        return static_cast<uint64_t>(i);
    }
    if (d < 2 * TWO_TO_63) return static_cast<uint64_t>(d);
    return d > 0 ? std::numeric_limits<uint64_t>::max() : 0;  // +inf or NaN
}

} // namespace TarnJson

namespace rapidjson {
namespace internal {

template <>
inline bool Hasher<UTF8<>, MemoryPoolAllocator<>>::Double(double d) {
    Number n;
    n.u.u = TarnJson::HashedIntegerPart(d);
    n.d = d;
    return WriteNumber(n);
}

template <>
inline bool Hasher<UTF8<>, CrtAllocator>::Double(double d) {
    Number n;
    n.u.u = TarnJson::HashedIntegerPart(d);
    n.d = d;
    return WriteNumber(n);
}

} // namespace internal
} // namespace rapidjson
