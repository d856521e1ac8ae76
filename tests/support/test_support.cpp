#include "support/test_support.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tarn/platform/host_root.h"

namespace fs = std::filesystem;

namespace TarnTest {

const std::string& Root() { return TarnPlatform::HostRoot(); }

void ResetRoot() {
    if (Root().empty()) throw std::logic_error("tests must run under a private host root");
    for (const auto& entry : fs::directory_iterator(Root())) fs::remove_all(entry.path());
}

std::string Rooted(const std::string& fixedPath) { return TarnPlatform::HostPath(fixedPath); }

void WriteFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::string HelperProgram(const std::string& name) {
    return (fs::read_symlink("/proc/self/exe").parent_path() / name).string();
}

} // namespace TarnTest
