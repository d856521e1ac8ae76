// knosh command lines on the sample tree: each input line is one command.
// The tree file is put back and the shell returned to its root before each
// input, so no input sees what another one set.
#include <sstream>

#include "fuzz/sample_tree.h"

namespace {
TarnFuzz::SampleTree sample;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return sample.Init(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sample.Restore();
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
