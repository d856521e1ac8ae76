// Helpers shared by the tests. Every test process runs under a private host
// root (TARN_ROOT), emptied before each test case.
#pragma once

#include <string>

namespace TarnTest {

// The private host root of this test process.
const std::string& Root();

// Empties the host root (called before every test).
void ResetRoot();

// The path of a fixed host path under the private root.
std::string Rooted(const std::string& fixedPath);

void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// Path of a helper program built with the tests.
std::string HelperProgram(const std::string& name);

} // namespace TarnTest
