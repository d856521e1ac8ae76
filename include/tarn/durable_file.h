// A file that is either whole under its final name or as it was, even across
// a kill or a power cut: written under a temporary name beside it, synced,
// renamed over it, and the directory synced.
#pragma once

#include <string>

#include "tarn/export.h"

namespace TarnConfigStore {

// Writes text as the file to, through the file temporary (replaced if a
// killed run left one). Empty on success, else the reason; a failure leaves
// no temporary file behind.
TARN_EXPORT std::string DurableWrite(const std::string& text, const std::string& temporary, const std::string& to);

} // namespace TarnConfigStore
