#pragma once
// Path texts in Windows notation (backslashes), held as UTF-8.
#include <string>
#include <string_view>

namespace setup {

void AddBackslash(std::string& S);
std::string WithBackslash(std::string S);
void DelBackslash(std::string& S);
std::string WithoutBackslash(std::string S);

// Directory text in normal form: surrounding double quotes removed, a lone drive letter
// completed with ":", one trailing backslash ensured; empty stays empty.
std::string NormalizeDir(std::string_view S);

// The folder part of a path including its final backslash ("C:\A\b.exe" gives "C:\A\").
std::string ExtractFilePath(std::string_view Path);
// The name after the last backslash or colon.
std::string ExtractFileName(std::string_view Path);

}  // namespace setup
