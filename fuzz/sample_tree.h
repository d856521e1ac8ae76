// The shell's targets share the sample tree: copied once under the private
// root for KNOSH_Init, and put back before an input when a set replaced it.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz/private_root.h"
#include "tarn/knosh.h"

namespace TarnFuzz {

class SampleTree {
public:
    // Copies the sample tree and initialises the shell on it, quiet.
    int Init() {
        m_text = ReadWhole(TARN_SAMPLE_TREE);
        m_file = WriteRooted("/trees/sample.json", m_text);
        options.cacheFile = m_file.c_str();
        options.logLevel = -1;
        return KNOSH_Init();
    }

    // Replaced whole, as a set does, so that the shell reloads it.
    void Restore() const {
        if (ReadWhole(m_file) == m_text) return;
        WriteRooted("/trees/new.json", m_text);
        std::filesystem::rename(PrivateRoot() + "/trees/new.json", m_file);
    }

private:
    static std::string ReadWhole(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string m_text, m_file;
};

} // namespace TarnFuzz
