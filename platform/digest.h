#pragma once
// A digest of bytes: what tells later, without keeping them, whether a file still
// holds the same text.

#include <string>
#include <string_view>

namespace quarvel::platform {

// The SHA-256 digest of the bytes, in lower-case hexadecimal (64 characters).
std::string Sha256Hex(std::string_view bytes);

}  // namespace quarvel::platform
