#pragma once
// Functions of the system libraries that no KnownDLLs entry protects (version.dll, msimg32.dll),
// taken from the system folder at their first use instead of being imported. A library in the
// program's import table is looked for in the program's own folder first, and setup.exe runs
// elevated from wherever the user downloaded it, where anybody could have left a library of
// that name.
#include <windows.h>

namespace setup {

// The function Name of the system library Library ("version.dll"), loaded by its full path in
// the system folder and kept loaded; null when either is missing.
FARPROC SystemLibraryFunction(const wchar_t* Library, const char* Name);

template <class Function>
Function* SystemFunction(const wchar_t* Library, const char* Name) {
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(SystemLibraryFunction(Library, Name)));
}

}  // namespace setup
