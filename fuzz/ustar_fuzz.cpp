// Payload archives (ustar): the reader refuses or returns entries whose names
// stay inside the root they are unpacked into.
#include <cstdlib>
#include <string>
#include <vector>

#include "tarn/platform/tardisk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<TarnPlatform::UstarEntry> entries;
    std::string error;
    if (!TarnPlatform::ParseUstar(std::string(reinterpret_cast<const char*>(data), size), &entries, &error)) return 0;
    for (const auto& entry : entries) {
        const std::string& name = entry.name;
        const std::string wrapped = "/" + name + "/";
        if (name.empty() || name[0] == '/' || wrapped.find("/../") != std::string::npos ||
            wrapped.find("//") != std::string::npos || (entry.mode & 06000) || entry.data.size() > size)
            std::abort();
    }
    return 0;
}
