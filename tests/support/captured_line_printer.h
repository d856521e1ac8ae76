// Readable test failure messages for captured log and system-log lines.
#pragma once

#include <ostream>

#include "tarn/platform/capture.h"

namespace TarnPlatform {

inline void PrintTo(const CapturedLine& line, std::ostream* out) { *out << "{" << line.priority << ", \"" << line.text << "\"}"; }

} // namespace TarnPlatform
