// A private host root for a benchmark program: made and put in TARN_ROOT
// before anything reads the host root, removed when the program ends, so no
// benchmark touches the machine's real host paths.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace TarnBench {

class PrivateRoot {
public:
    PrivateRoot() : m_path((std::filesystem::temp_directory_path() / "tarn-bench-XXXXXX").string()) {
        if (!mkdtemp(m_path.data())) std::exit(2);
        setenv("TARN_ROOT", m_path.c_str(), 1);
    }
    ~PrivateRoot() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    PrivateRoot(const PrivateRoot&) = delete;
    PrivateRoot& operator=(const PrivateRoot&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace TarnBench
