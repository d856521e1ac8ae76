// strtoul_limit: bases, limits, signs and trailing text; the natural order
// of names.
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tarn/knosh.h"

TEST(KnoshStrtoulLimit, BasesLimitsSignsAndTrailingText) {
    const unsigned long M = ULONG_MAX;
    const struct {
        const char* text;
        int base;
        unsigned long negLimit, limit;
        int trailing;
        unsigned long value;
        long end;  // offset of the end in the text
    } cases[] = {
        {" 0x1F,", 0, 0, M, 0, 31, 5}, {"017", 10, 0, M, 0, 17, 3}, {"0x10", 10, 0, M, 1, 0, 1} /* no prefix */,
        {"+017", 0, 0, M, 0, 15, 4} /* base 0: a leading 0 is octal */, {"0Xab", 16, 0, M, 0, 171, 4},
        {"z", 36, 0, M, 0, 35, 1}, {"\t\n\v\f\r 42", 10, 0, M, 0, 42, 8},
        // A digit or letter not valid in the base: stop, or refuse the lot.
        {"12a", 10, 0, M, 0, 0, 0}, {"12a", 10, 0, M, 1, 12, 2}, {"0x1g", 0, 0, M, 1, 1, 3},
        {"", 0, 0, M, 0, 0, 0}, {"-", 10, 0, M, 1, 0, 0},  // no digit at all: 0 at the start of the text
        // Saturation at the limit, the digits still consumed.
        {"300", 10, 0, 255, 0, 255, 3}, {"250", 10, 0, 255, 0, 250, 3},
        {"99999999999999999999999", 10, 0, M, 0, M, 23}, {"300x", 10, 0, 255, 0, 0, 0},
        // A negative number is negated, or saturates at the negative limit (not negated) when one is given.
        {"-5", 10, 0, M, 0, static_cast<unsigned long>(-5L), 2}, {"-200", 10, 128, 127, 0, 128, 4}, {"-200", 10, 0, 127, 0, 127, 4},
    };
    for (const auto& c : cases) {
        char* end = nullptr;
        EXPECT_EQ(strtoul_limit(c.text, &end, c.base, c.negLimit, c.limit, c.trailing), c.value) << '"' << c.text << '"';
        EXPECT_EQ(end - c.text, c.end) << '"' << c.text << '"';
    }
    EXPECT_EQ(strtoul_limit("42", nullptr, 10, 0, M, 0), 42ul) << "end may be absent";
}

// Names sort by the numbers in them, read as C literals are, and by their
// letters without regard to case.
TEST(KnoshNaturalOrder, NumbersReadAsLiteralsLettersWithoutCase) {
    std::vector<const char*> names = {"b", "a0x1f", "A10", "a9", "a010"};
    std::qsort(names.data(), names.size(), sizeof names[0], KNOSH_StringCompareCb);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.end()),
              (std::vector<std::string>{"a010", "a9", "A10", "a0x1f", "b"}));
}
