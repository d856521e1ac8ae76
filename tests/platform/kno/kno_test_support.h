// Shared by the kernel-info tests: the sample tree as the live tree of the
// test's host root, and parameter lists.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/kno/kno.h"
#include "tarn/platform/kno/kno_tree.h"

namespace KnoTest {

inline std::string SampleText() {
    std::string here = __FILE__;  // tests/platform/kno/...
    return TarnTest::ReadFile(here.substr(0, here.rfind("/tests/")) + "/examples/kno/sample-tree.json");
}

// text with from replaced by to; fails when from is not there.
inline std::string Edited(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << "sample tree lacks: " << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

inline void WriteLiveTree(const std::string& text) { TarnTest::WriteFile(KNO_LiveTreePath(), text); }

struct ListDeleter {
    void operator()(KNOParamList* list) const { KNO_ParamListDestroy(list); }
};
using List = std::unique_ptr<KNOParamList, ListDeleter>;

// A parameter list of texts, then integers.
inline List Keys(const std::vector<std::string>& texts, const std::vector<uint64_t>& numbers = {}) {
    List list(KNO_ParamListCreate(1, 2));
    for (const auto& t : texts) KNO_ParamListAddString(list.get(), t.c_str());
    for (uint64_t n : numbers) KNO_ParamListAddInt(list.get(), n);
    return list;
}
inline List Ints(const std::vector<uint64_t>& numbers) { return Keys({}, numbers); }

// Every test starts with the sample as the live tree and no tree loaded.
class SampleTree : public testing::Test {
protected:
    void SetUp() override {
        KNO_Reset();
        WriteLiveTree(SampleText());
    }
    void TearDown() override { KNO_Reset(); }
};

} // namespace KnoTest
