// Checks that a command stored what it was asked to, and says why not: the
// store's record operations ignore a failed write (the boot must go on), and
// its failure texts name the operation rather than the cause.
#pragma once

#include <string>

#include "tarn/platform/capture.h"

namespace TarnCli {

// Watches the store's failure lines from its construction on.
class WriteCheck {
public:
    // Throws std::runtime_error "<what> was not stored: <failure line>" when
    // a failure was logged meanwhile, or "<what> was not stored in the
    // configuration store" when holds is false.
    void Expect(bool holds, const std::string& what) const;
    // Expect for the key/value table holding expected under key.
    void ExpectStored(const char* key, const std::string& expected, const std::string& what) const;

private:
    TarnPlatform::Capture m_capture;
};

// Prints to standard error, one line each, what stops writes to the store's
// databases, its backup and its lock ("cause: <path>: read-only file
// system"). Prints nothing when nothing is seen.
void PrintWriteProblems();

} // namespace TarnCli
