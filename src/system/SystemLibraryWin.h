#pragma once
// Functions of the system libraries that no KnownDLLs entry protects (version.dll, msimg32.dll),
// taken from the system folder at their first use instead of being imported. A library in the
// program's import table is looked for in the program's own folder first, and setup.exe runs
// elevated from wherever the user downloaded it, where anybody could have left a library of
// that name. For the same reason the programs look for libraries named without a path in the
// system folder only, from their first instruction on.
#include <windows.h>

namespace setup {

// The function Name of the system library Library ("version.dll"), loaded by its full path in
// the system folder and kept loaded; null when either is missing.
FARPROC SystemLibraryFunction(const wchar_t* Library, const char* Name);

// Makes every library this process loads by name alone (its own calls, and those of the system
// libraries it uses) come from the system folder only, never from the program's folder, the
// current folder or the PATH (SetDefaultDllDirectories). Called first thing by each program.
// False on a system without it (Windows 7 without update KB2533623), where the search stays as
// it was.
bool RestrictLibrarySearch();

// The LoadLibraryEx flags for a library named by its full path (a COM server of the product):
// the libraries it imports come from its own folder and the system folder only. Where the
// system lacks such flags, the older altered search path, which looks in the library's folder
// first but also in the current folder and the PATH.
DWORD ServerLibraryFlags();

template <class Function>
Function* SystemFunction(const wchar_t* Library, const char* Name) {
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(SystemLibraryFunction(Library, Name)));
}

}  // namespace setup
