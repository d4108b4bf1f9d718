#pragma once
// Self-registration of installed COM servers. Failures are silent: a server that does not
// register must not stop the installation.
#include <cstdint>
#include <string>

namespace setup {

// Outcome of an in-process registration; a child run exits with it.
enum : std::uint32_t {
  regRegistered = 0, regNotLoaded = 1, regNoEntry = 2, regServerFailed = 3, regNotStarted = 0xFFFFFFFFu
};

// Loads the library, calls its "DllRegisterServer" if it has one, unloads it. Runs the server's
// code in this process: a server that crashes takes the process with it.
// With Unregister, its "DllUnregisterServer" instead.
std::uint32_t RegisterDllServer(const std::string& FileName, bool Unregister = false);

// The same in a child run of Program ("<Program>" /REGSERVER="<FileName>"), waited for without
// a time limit: a server that crashes, in DllMain or in DllRegisterServer, ends only the child.
// The result is the child's exit status (a crash gives the system's exception code), or
// regNotStarted.
// With Unregister, the switch is /UNREGSERVER=.
std::uint32_t RegisterDllServerInChild(const std::string& Program, const std::string& FileName, bool Unregister = false);

// The child's side. When the program's own first argument is /REGSERVER=<file> (or
// /UNREGSERVER=<file>), registers (unregisters) that file, sets ExitCode and returns true: the program must end at once, before any window or
// mutex exists. Every program that registers servers this way calls it first in its entry.
bool RunChildRegistration(int& ExitCode);

// Runs "<FileName> /RegServer" (with Unregister, "/UnregServer") in the file's folder and waits
// for it to end.
void RegisterExeServer(const std::string& FileName, bool Unregister = false);

}  // namespace setup
