#pragma once
// The next-disk prompt: asks for the folder that holds the next cabinet file.
#include <windows.h>

#include <string>

namespace setup {

// Shows the prompt modally over Owner (may be null). True when the user pressed "ОК"; Folder
// then holds the edit's text exactly as the user left it. False leaves Folder unchanged.
// WrongDisk: the prompt first says that the disk offered before was not the right one.
bool AskNextDisk(HWND Owner, std::string& Folder, const std::string& FileName, bool WrongDisk = false);

}  // namespace setup
