// strtoul_limit (bases, limits, signs, trailing text) and the natural
// comparison used to sort names.
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tarn/knosh.h"

TEST(KnoshStrtoulLimit, BasesLimitsSignsAndTrailingText) {
    struct Case {
        const char* text;
        int base;
        unsigned long negLimit, limit;
        int trailing;
        unsigned long value;
        size_t end;  // offset of the end in the text
    };
    const unsigned long M = ULONG_MAX;
    const Case cases[] = {
        {" 0x1F,", 0, 0, M, 0, 31, 5},
        {"017", 0, 0, M, 0, 15, 3},
        {"017", 10, 0, M, 0, 17, 3},
        {"0x10", 10, 0, M, 1, 0, 1},  // no prefix in base 10
        {"zz", 36, 0, M, 0, 35 * 36 + 35, 2},
        {"\t\n\v\f\r 42", 10, 0, M, 0, 42, 8},
        {"+7", 10, 0, M, 0, 7, 2},
        // A digit or letter not valid in the base: stop, or refuse the lot.
        {"12a", 10, 0, M, 0, 0, 0},
        {"12a", 10, 0, M, 1, 12, 2},
        {"09", 0, 0, M, 0, 0, 0},
        {"0x1g", 0, 0, M, 1, 1, 3},
        // Other characters simply end the number.
        {"12\xe9", 10, 0, M, 0, 12, 2},
        // No digit at all: 0 at the start of the text.
        {"", 0, 0, M, 0, 0, 0},
        {"0x", 16, 0, M, 1, 0, 0},
        {"-", 10, 0, M, 1, 0, 0},
        // Saturation at the limit, the digits still consumed.
        {"300", 10, 0, 255, 0, 255, 3},
        {"0x10000", 0, 0, 65535, 0, 65535, 7},
        {"99999999999999999999999", 10, 0, M, 0, M, 23},
        {"18446744073709551615", 10, 0, M, 0, M, 20},
        {"300x", 10, 0, 255, 0, 0, 0},
        // Signs: a negative number is negated, or saturates at the negative
        // limit (not negated) when one is given.
        {"-5", 10, 0, M, 0, static_cast<unsigned long>(-5L), 2},
        {"-100", 10, 128, 127, 0, static_cast<unsigned long>(-100L), 4},
        {"-200", 10, 128, 127, 0, 128, 4},
        {"-200", 10, 0, 127, 0, 127, 4},
    };
    for (const Case& c : cases) {
        char* end = nullptr;
        EXPECT_EQ(strtoul_limit(c.text, &end, c.base, c.negLimit, c.limit, c.trailing), c.value)
            << '"' << c.text << "\" base " << c.base;
        EXPECT_EQ(static_cast<size_t>(end - c.text), c.end) << '"' << c.text << "\" base " << c.base;
    }
    EXPECT_EQ(strtoul_limit("42", nullptr, 10, 0, M, 0), 42ul) << "end may be absent";
}

TEST(KnoshNaturalCompare, NumbersByValueLettersWithoutCase) {
    auto cmp = [](const char* a, const char* b) {
        int r = KNOSH_StringCompareCb(&a, &b);
        return r < 0 ? -1 : r > 0 ? 1 : 0;
    };
    EXPECT_EQ(cmp("a9", "a10"), -1);
    EXPECT_EQ(cmp("abc", "ABC"), 0);
    EXPECT_EQ(cmp("B", "a10"), 1);
    EXPECT_EQ(cmp("010", "9"), -1) << "010 reads as octal 8";
    EXPECT_EQ(cmp("0x1f", "30"), 1) << "0x1f reads as 31";
    EXPECT_EQ(cmp("x8", "x010"), 0);
    EXPECT_EQ(cmp("a1b2", "a1b10"), -1);
    EXPECT_EQ(cmp("a", "ab"), -1);
    EXPECT_EQ(cmp("_", "a"), 1) << "letters compare upper-cased, so '_' comes after them";

    std::vector<const char*> names{"a10", "B", "a9", "b1", "A2", "a1"};
    qsort(names.data(), names.size(), sizeof(const char*), KNOSH_StringCompareCb);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.end()),
              (std::vector<std::string>{"a1", "A2", "a9", "a10", "B", "b1"}));
}
