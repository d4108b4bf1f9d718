#pragma once
// Self-registration of installed COM servers. Failures are silent: a server that does not
// register must not stop the installation.
#include <string>

namespace setup {

// Loads the library, calls its "DllRegisterServer" if it has one, unloads it.
void RegisterDllServer(const std::string& FileName);

// Runs "<FileName> /RegServer" in the file's folder and waits for it to end.
void RegisterExeServer(const std::string& FileName);

}  // namespace setup
