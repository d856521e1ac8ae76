// Entry point of every test program: a private host root for the process,
// emptied before each test and removed at the end.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

class FreshRoot : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { TarnTest::ResetRoot(); }
};

} // namespace

int main(int argc, char** argv) {
    std::string base = std::filesystem::temp_directory_path() / "tarn-test-XXXXXX";
    if (!mkdtemp(base.data())) return 2;
    setenv("TARN_ROOT", base.c_str(), 1);  // before anything reads the host root

    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new FreshRoot);
    int rc = RUN_ALL_TESTS();

    std::error_code ec;
    std::filesystem::remove_all(base, ec);
    return rc;
}
