// Types nest at most 64 levels, since values are encoded and decoded by
// recursion over their type and written back into the tree file.
#include "tests/platform/kno/kno_test_support.h"

namespace {

std::string TreeWithTypeNesting(unsigned levels) {
    std::string types = R"({"name": "t1", "kind": "base", "size": 1})";
    for (unsigned i = 2; i <= levels; ++i)
        types += ", {\"name\": \"t" + std::to_string(i) + "\", \"kind\": \"array\", \"element\": \"t" +
                 std::to_string(i - 1) + "\", \"count\": 1}";
    return R"({"types": [)" + types + R"(], "nodes": [{"id": 0, "name": "root"}]})";
}

TEST(TypeNesting, SixtyFiveLevelsAreRefused) {
    const std::string path = TarnTest::Rooted("/types.json");
    for (unsigned levels : {64u, 65u}) {
        TarnTest::WriteFile(path, TreeWithTypeNesting(levels));
        KNO_Reset();
        EXPECT_EQ(KNO_UseCache(path.c_str(), -1), levels == 64 ? KES_OK : KES_BAD_TREE) << KNO_LastError();
    }
    EXPECT_EQ(std::string(KNO_LastError()), path + ": type 't65': nests deeper than 64 levels");
    KNO_Reset();
}

} // namespace
