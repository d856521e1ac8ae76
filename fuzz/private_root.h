// What every fuzz target shares: a private host root made before anything
// reads TARN_ROOT (removed again when the run ends normally), files written
// under it, and the split of one input into two texts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

namespace TarnFuzz {

inline const std::string& PrivateRoot() {
    static const std::string root = [] {
        std::string base = std::filesystem::temp_directory_path() / "tarn-fuzz-XXXXXX";
        if (!mkdtemp(base.data())) std::abort();
        setenv("TARN_ROOT", base.c_str(), 1);
        std::atexit([] { std::filesystem::remove_all(std::getenv("TARN_ROOT")); });  // `root` is gone by then
        return base;
    }();
    return root;
}

// Writes text to the fixed host path under the private root; returns the
// file's path.
inline std::string WriteRooted(const std::string& fixedPath, const std::string& text) {
    std::filesystem::path path = PrivateRoot() + fixedPath;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    return path;
}

// Empties the logs (the store's, the alerts) that an input wrote, keeping
// the files: creating and removing files each run costs more than the run.
inline void EmptyLogs() {
    std::error_code none;
    for (const auto& entry : std::filesystem::directory_iterator(PrivateRoot() + "/var/log", none))
        std::filesystem::resize_file(entry.path(), 0, none);
}

// The input up to its first newline, and the rest.
inline std::pair<std::string, std::string> SplitAtNewline(const uint8_t* data, size_t size) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    const size_t cut = std::min(all.find('\n'), all.size());
    return {all.substr(0, cut), all.substr(std::min(cut + 1, all.size()))};
}

} // namespace TarnFuzz
