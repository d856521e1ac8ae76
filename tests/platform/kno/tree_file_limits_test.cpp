// Only a regular tree file of bounded size is read: a device, a pipe or a
// huge file is refused at once with a message naming the problem.
#include <sys/stat.h>
#include <unistd.h>

#include "tests/platform/kno/kno_test_support.h"

namespace {

TEST(TreeFileLimits, DevicesPipesAndHugeFilesAreRefusedAtOnce) {
    const std::string fifo = TarnTest::Rooted("/tree.fifo"), huge = TarnTest::Rooted("/huge.json");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    TarnTest::WriteFile(huge, "{}");
    ASSERT_EQ(truncate(huge.c_str(), (64 << 20) + 1), 0);  // sparse: costs no disk
    const struct {
        std::string path, problem;
    } cases[] = {{"/dev/zero", "not a regular file"}, {fifo, "not a regular file"}, {huge, "larger than 64 MiB"}};
    for (const auto& c : cases) {
        KNO_Reset();
        EXPECT_EQ(KNO_UseCache(c.path.c_str(), -1), KES_BAD_TREE);
        EXPECT_EQ(std::string(KNO_LastError()), c.path + ": " + c.problem);
    }
    KNO_Reset();
}

} // namespace
