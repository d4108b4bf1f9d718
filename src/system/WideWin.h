#pragma once
// UTF-8 <-> UTF-16 at the Win32 boundary, and the system's error texts.
#include <windows.h>

#include <string>
#include <string_view>

#include "system/ScopedWin.h"  // HandleGuard, for the many callers that had it here

namespace setup {

std::wstring ToWide(std::string_view Text);
// A path for the system's file functions. An absolute path too long for their classic limit
// (folders stop at 248 characters, files at 260) is given in the "\\?\" form, which lifts it:
// a setup folder of 255 characters must still reach the cabinets in it. Such paths must be in
// normal form (backslashes, no "." or ".." parts), as the program builds them.
std::wstring ToWidePath(std::string_view Path);
std::string FromWide(std::wstring_view Text);

// The system's message for an error code, in the user's language, without trailing line break.
std::string SystemErrorMessage(DWORD Code);

// Raises the system error for Code (or for GetLastError()).
[[noreturn]] void RaiseLastOSError(DWORD Code = GetLastError());

}  // namespace setup
