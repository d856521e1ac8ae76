// The structure input of `set`: text such as {1, {2, 3}, "name", [4, 5],
// (0-3, 15)} turned into a struct's bytes, one element per member in
// member order. The text comes from outside: the parser reads each
// character once and nests only as deep as the type does.
#include <cctype>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "apps/knosh/knoshInternal.h"

namespace {

// Types nest at most this deep (the tree's loader allows less).
constexpr int kMaxDepth = 64;

unsigned long LimitOf(uint32_t size) {
    switch (size) {
    case 1: return 255;
    case 2: return 65535;
    case 4: return 0xFFFFFFFFul;
    case 8: return ULONG_MAX;
    }
    Panic("NOT_REACHED %s:%d\n", "apps/knosh/knoshCore", __LINE__);
}

void Store(unsigned char* at, uint32_t size, unsigned long value) {
    for (uint32_t i = 0; i < size; ++i, value >>= 8) at[i] = static_cast<unsigned char>(value);
}

class Parser {
public:
    Parser(const char* text, size_t length) : p_(text), end_(text + length) {}

    KES_ReturnStatus Struct(const KNOType* type, unsigned char* out, int depth);
    bool AtEnd() const { return p_ == end_; }

private:
    KES_ReturnStatus Element(const KNOType* type, unsigned char* out, int depth);
    KES_ReturnStatus Number(unsigned long limit, unsigned long* value);
    KES_ReturnStatus Text(const KNOType* type, unsigned char* out);
    KES_ReturnStatus List(const KNOType* type, unsigned char* out);
    KES_ReturnStatus Bitset(const KNOType* type, unsigned char* out);
    void SkipSpace() {
        while (p_ < end_ && isspace(static_cast<unsigned char>(*p_))) ++p_;
    }
    // Skips the commas and blanks between the entries of a list or bitset.
    void SkipSeparators() {
        while (p_ < end_ && (*p_ == ',' || isspace(static_cast<unsigned char>(*p_)))) ++p_;
    }
    KES_ReturnStatus Missing() const { return AtEnd() ? KES_INCOMPLETE : KES_BAD_PARAM; }
    // A struct's text ends at its closing brace: members still unread there
    // are missing, whatever stands before it.
    bool StructEnds() const { return AtEnd() || *p_ == '}'; }

    const char* p_;
    const char* end_;
};

KES_ReturnStatus Parser::Struct(const KNOType* type, unsigned char* out, int depth) {
    if (depth > kMaxDepth || p_ == end_ || *p_ != '{') return KES_BAD_PARAM;
    ++p_;
    for (uint32_t i = 0; i < type->numMembers; ++i) {
        if (i) {
            // "," and at least one whitespace character between elements.
            if (StructEnds()) return KES_INCOMPLETE;
            if (*p_++ != ',') return KES_BAD_PARAM;
            if (StructEnds()) return KES_INCOMPLETE;
            if (!isspace(static_cast<unsigned char>(*p_))) return KES_BAD_PARAM;
        }
        SkipSpace();
        if (StructEnds()) return KES_INCOMPLETE;
        const KNOStructMember& member = type->members[i];
        KES_ReturnStatus status = Element(member.type, out + member.offset, depth);
        if (status != KES_OK) return status;
    }
    SkipSpace();
    if (AtEnd() || *p_ != '}') return KES_FAILURE;  // text after the last member
    ++p_;
    return KES_OK;
}

KES_ReturnStatus Parser::Element(const KNOType* type, unsigned char* out, int depth) {
    if (type->kind == KNO_TYPE_STRUCT) return Struct(type, out, depth + 1);
    if (*p_ == '{') return KES_BAD_PARAM;
    if (type->kind == KNO_TYPE_BASE || type->kind == KNO_TYPE_ENUM) {
        unsigned long value;
        KES_ReturnStatus status = Number(LimitOf(type->size), &value);
        if (status == KES_OK) Store(out, type->size, value);
        return status;
    }
    const KNOType* element = type->kind == KNO_TYPE_ARRAY ? type->elementType : nullptr;
    if (element && element->kind == KNO_TYPE_BASE) {
        if (*p_ == '"' && element->size == 1) return Text(type, out);
        if (*p_ == '[') return List(type, out);
        if (*p_ == '(') return Bitset(type, out);
    }
    KNOSHDiag(0, "KNOSHCreateStructInput", "Element type (%d) is not supported.", static_cast<int>(type->kind));
    return KES_NOT_SUPPORTED;
}

KES_ReturnStatus Parser::Number(unsigned long limit, unsigned long* value) {
    char* after = nullptr;
    *value = strtoul_limit(p_, &after, 0, 0, limit, 0);
    // The text is NUL-terminated at end_, so the reader cannot pass it.
    if (after == p_) return Missing();
    p_ = after;
    return KES_OK;
}

KES_ReturnStatus Parser::Text(const KNOType* type, unsigned char* out) {
    const char* close = static_cast<const char*>(memchr(p_ + 1, '"', static_cast<size_t>(end_ - p_ - 1)));
    if (!close) {
        p_ = end_;
        return KES_INCOMPLETE;
    }
    size_t length = static_cast<size_t>(close - p_ - 1);
    if (length > type->size) {
        KNOSHDiag(1, "KNOSHHandleStringElement", "String parameter is too long");
        return KES_BAD_PARAM;
    }
    memset(out, 0, type->size);
    memcpy(out, p_ + 1, length);
    p_ = close + 1;
    return KES_OK;
}

KES_ReturnStatus Parser::List(const KNOType* type, unsigned char* out) {
    const uint32_t step = type->elementType->size, count = type->size / step;
    uint32_t read = 0;
    for (++p_;; ++read) {
        SkipSeparators();
        if (AtEnd()) return KES_INCOMPLETE;
        if (*p_ == ']') break;
        if (read == count) return KES_INCOMPLETE;  // more numbers than elements
        unsigned long value;
        KES_ReturnStatus status = Number(LimitOf(step), &value);
        if (status != KES_OK) return status;
        Store(out + read * step, step, value);
    }
    ++p_;
    return read == count ? KES_OK : KES_INCOMPLETE;
}

KES_ReturnStatus Parser::Bitset(const KNOType* type, unsigned char* out) {
    const char* const label = "KNOSHHandleBitsetElement";
    const unsigned long highest = static_cast<unsigned long>(type->size) * 8 - 1;
    // Ranges are marked at their ends and filled in one sweep, so many wide
    // ranges cost no more than the text and the member.
    std::vector<int> starts(highest + 2, 0);
    for (++p_;;) {
        SkipSeparators();
        if (AtEnd()) return KES_INCOMPLETE;
        if (*p_ == ')') break;
        unsigned long first, last;
        KES_ReturnStatus status = Number(ULONG_MAX, &first);
        if (status != KES_OK) return status;
        last = first;
        if (p_ < end_ && *p_ == '-') {
            ++p_;
            if (Number(ULONG_MAX, &last) != KES_OK) return KES_BAD_PARAM;  // a dangling start
            if (p_ < end_ && *p_ == '-') return KES_BAD_PARAM;
        }
        for (unsigned long bit : {first, last}) {
            if (bit > highest) {
                KNOSHDiag(1, label, "Bitset value %lu exceeds highest permitted bitset value %u", bit,
                          static_cast<unsigned>(highest));
                return KES_BAD_PARAM;
            }
        }
        if (last < first) {
            KNOSHDiag(1, label, "Bitset end value %lu is smaller than bitset start value %u", last,
                      static_cast<unsigned>(first));
            return KES_BAD_PARAM;
        }
        ++starts[first];
        --starts[last + 1];
    }
    ++p_;
    memset(out, 0, type->size);
    int open = 0;
    for (unsigned long bit = 0; bit <= highest; ++bit)
        if ((open += starts[bit]) > 0) out[bit / 8] |= static_cast<unsigned char>(1u << bit % 8);
    return KES_OK;
}

} // namespace

namespace Knosh {

KES_ReturnStatus CreateStructInput(const char* text, size_t length, const KNOType* type, void* buffer, uint32_t size) {
    if (length < 2 || text[0] != '{' || text[length - 1] != '}' || type->kind != KNO_TYPE_STRUCT || type->size > size)
        return KES_BAD_PARAM;
    Parser parser(text, length);
    KES_ReturnStatus status = parser.Struct(type, static_cast<unsigned char*>(buffer), 0);
    if (status == KES_OK && !parser.AtEnd()) status = KES_FAILURE;  // text after the struct's closing brace
    return status;
}

} // namespace Knosh
