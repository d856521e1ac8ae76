// Why a path cannot be written, in words for an operator: the store's
// operations report a failed write by a fixed text (or not at all), which
// does not say that the disk is full or the file system read-only.
#pragma once

#include <string>

#include "tarn/export.h"

namespace TarnPlatform {

// What stops a write to path (a file, or a directory where files are to be
// made): "read-only file system", "no space left on device", "no free
// inodes", "does not exist", or the system's reason for refused access.
// A file that does not exist is judged by its nearest existing directory.
// Empty when nothing is seen to stop it.
TARN_PLATFORM_EXPORT std::string WriteProblem(const std::string& path);

} // namespace TarnPlatform
