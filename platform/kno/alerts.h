// System alerts: what a set of /system/sysAlert does.
#pragma once

#include <string>

#include "tarn/platform/kno/kes_status.h"

namespace TarnPlatform::Kno {

// Appends one line "<UTC time> <text>" to the host's alert log (line breaks
// in the text written as \n) and records the text for tests.
KES_ReturnStatus RaiseAlert(const std::string& text);

} // namespace TarnPlatform::Kno
