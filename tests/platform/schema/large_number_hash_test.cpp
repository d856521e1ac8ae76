// enum and uniqueItems hash numbers; doubles outside the 64-bit integer
// range hash without undefined behaviour and still tell values apart
// (run under -fsanitize=undefined to see the difference).
#include <gtest/gtest.h>

#include "platform/schema/schema_store_fixture.h"

namespace {

TEST(LargeNumberHash, EnumAndUniqueItemsTellHugeDoublesApart) {
    const std::set<int> codes = {JsonValidator::CHECK_SCHEMA};
    const struct {
        const char *schema, *value;
        bool valid;
    } cases[] = {
        {R"({"enum": [1e20]})", "1e20", true},           {R"({"enum": [1e20]})", "1e19", false},
        {R"({"enum": [-1e20]})", "-1e20", true},         {R"({"enum": [-1e20]})", "-1e21", false},
        {R"({"enum": [1e300, 5]})", "5.0", true},        {R"({"uniqueItems": true})", "[1e20, 1e20]", false},
        {R"({"uniqueItems": true})", "[1e20, 1e21]", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SchemaTest::Validate(c.schema, c.value, codes).empty(), c.valid) << c.schema << " " << c.value;
}

} // namespace
