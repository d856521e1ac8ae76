// MD5 digest, used only to sign the kernel-info definitions (not for
// security).
#pragma once

#include <string>

namespace TarnPlatform::Kno {

// The digest of text as 32 lower-case hexadecimal digits.
std::string Md5Hex(const std::string& text);

} // namespace TarnPlatform::Kno
