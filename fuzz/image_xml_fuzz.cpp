// The image database's XML. The input up to its first NUL byte is the image
// profile, the rest one crate descriptor; the crate ids are read, then the
// crate map is built and dumped.
#include <algorithm>
#include <exception>

#include "fuzz/private_root.h"
#include "tarn/image.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    TarnFuzz::WriteRooted("/var/run/.keep", "");  // the lock file's and the dump's folders
    TarnFuzz::WriteRooted("/tmp/.keep", "");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const size_t cut = std::find(text, text + size, '\0') - text;
    TarnFuzz::WriteRooted(std::string(TarnImage::IMAGE_PROFILES_DIR) + "/profile.xml", std::string(text, cut));
    TarnFuzz::WriteRooted(std::string(TarnImage::IMAGE_CRATES_DIR) + "/crate.xml",
                          cut < size ? std::string(text + cut + 1, size - cut - 1) : "");
    try {
        TarnImage::GetCrateIds();
        TarnImage::Dump();
    } catch (const std::exception&) {  // the reader's refusals
    }
    TarnFuzz::EmptyLogs();
    return 0;
}
