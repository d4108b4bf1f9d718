#pragma once
// SHA-256 (FIPS 180-4), for the digest that ties an uninstall list to the installation that
// wrote it. Small rather than fast: lists are a few kilobytes.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace setup {

std::array<std::uint8_t, 32> Sha256(std::string_view Bytes);
// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view Bytes);

}  // namespace setup
