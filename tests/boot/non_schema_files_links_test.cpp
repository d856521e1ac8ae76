// Removal of listed files under a private host root never reaches outside it,
// whatever links the root holds.
#include <cstdlib>
#include <filesystem>

#include "boot/load_store_fixture.h"

namespace LoadStoreTest {
namespace {

namespace fs = std::filesystem;
using TarnTest::Exists;
using TarnTest::Rooted;

TEST_F(LoadStoreHost, ListedPathsThroughLinksOrDotDotStayInsideTheRoot) {
    std::string outside = (fs::temp_directory_path() / "tarn-outside-XXXXXX").string();
    ASSERT_NE(mkdtemp(outside.data()), nullptr);
    TarnTest::WriteFile(outside + "/e", "outside");
    TarnTest::WriteFile(outside + "/dir/f", "outside");
    TarnTest::WriteFile(Rooted("/etc/real/g"), "inside");
    fs::create_directory_symlink(outside, Rooted("/etc/linkdir"));
    fs::create_symlink(outside + "/e", Rooted("/etc/linkfile"));
    TarnTest::WriteFile(Rooted("/var/run/nonSchemaFiles"),
                        "etc/linkdir/e etc/linkdir/dir/f etc/real/g etc/linkfile etc/../../" +
                            fs::path(outside).filename().string() + "/e");

    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);
    EXPECT_TRUE(Exists(outside + "/e"));
    EXPECT_TRUE(Exists(outside + "/dir/f"));
    EXPECT_FALSE(Exists(Rooted("/etc/real/g")));
    EXPECT_FALSE(Exists(Rooted("/etc/linkfile")));  // the link itself lies inside
    fs::remove_all(outside);
}

} // namespace
} // namespace LoadStoreTest
