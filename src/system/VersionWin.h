#pragma once
// The version of a file on the machine, as the replace policy compares it.
#include <string>

namespace setup {

// The file's fixed version "a.b.c.d"; without fixed information, its "FileVersion" string of
// the first translation, cleaned to digits and dots. Empty when the file has no version or it
// cannot be read; never raises.
std::string GetFileVersion(const std::string& FileName);

}  // namespace setup
