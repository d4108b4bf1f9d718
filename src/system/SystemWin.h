#pragma once
// Win32 file, folder and process routines. Paths are UTF-8.
#include <string>
#include <vector>

namespace setup {

// Creates Dir and every missing parent. An empty Dir raises "Unable to create directory";
// a directory that cannot be created is not reported.
void MakeDirs(const std::string& Dir);
// The system temporary folder, ending in a backslash.
std::string GetTempDir();
// True when Path exists and has every attribute bit of Mask.
bool HasAttributes(const std::string& Path, unsigned long Mask);
bool DirectoryExists(const std::string& Path);
bool FileExists(const std::string& Path);
// Enables the shutdown, system-time and debug privileges of the process, ignoring failures.
void EnableShutdownPrivileges();

// The running program's full path, and its arguments (without the program's path) split the
// way the program's switches expect.
std::string ProgramPath();
std::vector<std::string> ProgramArguments();

}  // namespace setup
