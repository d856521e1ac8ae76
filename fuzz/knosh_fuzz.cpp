// knosh command lines on the sample tree: each input line is one command.
// The tree file is put back and the shell returned to its root before each
// input, so no input sees what another one set.
#include <fstream>
#include <sstream>

#include "fuzz/private_root.h"
#include "tarn/knosh.h"

namespace {

std::string sampleTree, treeFile;

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sampleTree = ReadWhole(TARN_SAMPLE_TREE);
    treeFile = TarnFuzz::WriteRooted("/trees/sample.json", sampleTree);
    options.cacheFile = treeFile.c_str();
    options.logLevel = -1;
    return KNOSH_Init();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (ReadWhole(treeFile) != sampleTree) {  // replaced whole, as a set does, so the shell reloads it
        TarnFuzz::WriteRooted("/trees/new.json", sampleTree);
        std::filesystem::rename(TarnFuzz::PrivateRoot() + "/trees/new.json", treeFile);
    }
    options.rawOutput = options.pythonOutput = options.noInstanceCheck = options.expectStatus = 0;
    options.logLevel = -1;
    shellTerminate = 0;
    if (KNOSH_InitRoot(knoshDefaultOutputPtr) != 0) __builtin_trap();

    std::istringstream lines(std::string(reinterpret_cast<const char*>(data), size));
    std::string line;
    while (!shellTerminate && std::getline(lines, line)) KNOSH_ParseAndExecCmd(line.c_str());
    TarnFuzz::EmptyLogs();
    return 0;
}
