// Helpers shared by the tests. Every test process runs under a private host
// root (TARN_ROOT), emptied before each test case.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tarn/platform/capture.h"

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

// A loopback TCP port that nobody listens on now: the kernel's choice for port 0.
int FreeLoopbackPort();

// Path of a helper program built with the tests.
std::string HelperProgram(const std::string& name);

// Runs statements on a database file outside the library (creating it and
// its directory when absent): the result rows, columns joined by "|", NULL as "NULL". A failing
// statement fails the test.
std::vector<std::string> Query(const std::string& path, const std::string& sql);

// Captured lines' texts (of one priority, or all when priority < 0), SQL
// texts, and events as "id arg...: message".
std::vector<std::string> Texts(const std::vector<TarnPlatform::CapturedLine>& lines, int priority = -1);
std::vector<std::string> SqlTexts(const TarnPlatform::Capture& capture);
std::vector<std::string> Events(const TarnPlatform::Capture& capture);

// "<class> [<code>] <what()>" of what f throws (the store's exceptions with
// their code, standard ones by class), or "nothing thrown".
std::string Thrown(const std::function<void()>& f);

} // namespace TarnTest

namespace TarnPlatform {
// Readable failure messages for captured lines.
inline void PrintTo(const CapturedLine& line, std::ostream* out) { *out << "{" << line.priority << ", \"" << line.text << "\"}"; }
} // namespace TarnPlatform
