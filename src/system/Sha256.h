#pragma once
// SHA-256 (FIPS 180-4), for the digest that ties an uninstall list to the installation that
// wrote it. Small rather than fast: lists are a few kilobytes, and setup.exe counts its bytes.
#include <string>
#include <string_view>

namespace setup {

// The digest as 64 upper-case hexadecimal digits.
std::string Sha256Hex(std::string_view Bytes);

}  // namespace setup
