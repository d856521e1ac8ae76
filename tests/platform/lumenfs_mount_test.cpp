// The lumenfs option text and its translation into tmpfs options.
#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/mount.h"

using TarnPlatform::TranslateLumenfsOptions;

namespace {

std::string Translated(const std::string& text) {
    std::string options = "untouched";
    return TranslateLumenfsOptions(text, &options) ? options : "refused, " + options;
}

// The store's own options are mounted by the RAM disk tests.
TEST(LumenfsOptions, TranslationAndRefusalOfMalformedTexts) {
    EXPECT_EQ(Translated("32,32,0,0,0,00644,configstore"), "size=32m,mode=0644");
    EXPECT_EQ(Translated("8,256,1,2,3,1777,scratch"), "size=256m,mode=01777");
    EXPECT_EQ(Translated("0,1,0,0,0,0,x"), "size=1m,mode=00");
    for (const char* text : {"", "32,32,0,0,0,00644", "32,32,0,0,0,00644,a,b", "32,32,0,0,0,00648,name",
                             "32,32,0,0,0,010000,name", "32,0,0,0,0,00644,name", "64,32,0,0,0,00644,name",
                             "32,32,0,0,0,00644,", "32,-1,0,0,0,00644,name", "32, 32,0,0,0,00644,name",
                             "32,x,0,0,0,00644,name", "32,99999999999999999999,0,0,0,00644,name"})
        EXPECT_EQ(Translated(text), "refused, untouched") << text;

    const std::string target = TarnTest::Rooted("/mnt/disk");  // refused texts mount nothing
    errno = 0;
    EXPECT_EQ(TarnPlatform::Mount("none", target.c_str(), "lumenfs", 0, "32,32"), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(TarnTest::Exists(target));
}

} // namespace
