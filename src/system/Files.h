#pragma once
// Whole-file reads and writes with UTF-8 paths, the same on Windows and on the host.
#include <filesystem>
#include <string>
#include <string_view>

namespace setup {

std::filesystem::path PathFromUtf8(std::string_view Path);

// True when Path names an existing file (not a folder).
bool IsExistingFile(const std::string& Path);

// Creates the file anew (truncating it) and writes Bytes. Raises
// "Cannot create file "<path>". <reason>" when it cannot be created, and a write failure
// with the same form, so that a partly written file is never taken for a complete one.
void SaveBytesToFile(const std::string& Path, std::string_view Bytes);

// Reads the whole file; raises "Cannot open file "<path>". <reason>" when it cannot.
std::string LoadBytesFromFile(const std::string& Path);

}  // namespace setup
