#pragma once
// Version texts of installed files, in the form the replace policy compares.
#include <cstdint>
#include <string>
#include <string_view>

namespace setup {

// "a.b.c.d" from the two 32-bit halves of a fixed file version, most significant part first.
std::string FormatFileVersion(std::uint32_t MostSignificant, std::uint32_t LeastSignificant);

// The string-table path of a file's "FileVersion" for one translation entry:
// "\StringFileInfo\" + language and code page as eight upper-case hex digits + "\FileVersion".
std::string FileVersionSubBlock(std::uint16_t Language, std::uint16_t CodePage);

// Keeps digits and dots, turns commas into dots and drops everything else, so that
// "4, 8, 10, 0 (beta)" reads "4.8.10.0".
std::string CleanVersionText(std::string_view Text);

}  // namespace setup
