#pragma once
#include <string>

#include "Registry.h"

namespace setup {

// The database engine keeps its library folder in HKLM "SOFTWARE\Borland\Database Engine",
// value "DLLPATH". Read gives it with a trailing backslash, or empty.
std::string ReadBdeDllPath(IRegistry& Registry);
void WriteBdeDllPath(IRegistry& Registry, const std::string& Dir);

}  // namespace setup
