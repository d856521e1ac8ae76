// Base64 (RFC 4648, with padding): the etcd JSON gateway carries every key
// and value in it.
#pragma once

#include <optional>
#include <string>

namespace TarnFleet {

std::string EncodeBase64(const std::string& bytes);
// nullopt when text is not the base64 of any bytes (the padding of its
// length, and zero in the bits the padding drops).
std::optional<std::string> DecodeBase64(const std::string& text);

} // namespace TarnFleet
