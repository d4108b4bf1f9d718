#pragma once
// Starting the programs an installation runs.
#include <windows.h>

#include <string>

#include "system/ScopedWin.h"

namespace setup {

// The handle of a started process, closed when dropped. Callers that only needed the program
// to run simply let it go.
using ProcessHandle = HandleGuard;

// Starts CommandLine + " " + Params (an empty Params leaves the trailing blank) in a new
// console, in the program's own folder when the command begins with an absolute path, and
// waits for it to end when Wait is set. Raises the system's error when it cannot start.
ProcessHandle RunProgram(const std::string& CommandLine, const std::string& Params, bool Wait,
                         int ShowCmd = SW_SHOWDEFAULT);

}  // namespace setup
