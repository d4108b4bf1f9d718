#pragma once
// The shell's folder dialog.
#include <windows.h>

#include <string>

namespace setup {

// Lets the user choose a folder below the special folder RootFolder (0 is the desktop). Path
// is the folder selected when the dialog opens (an empty Path opens it with OK disabled) and,
// when the user chose one, the chosen folder with a trailing backslash (none with
// BIF_BROWSEFORCOMPUTER). Returns false, Path unchanged, when the user cancelled. The other
// windows of the program are disabled while the dialog is open. A RootFolder that cannot be
// resolved raises the system error.
bool BrowseForFolder(const std::string& Title, int RootFolder, std::string& Path, UINT Flags);

// The dialog's callback: on initialisation selects the folder Data points to (a UTF-16 text),
// disables OK when that text is empty or just "\\", and centres the dialog on the screen.
int CALLBACK BrowseCallback(HWND Window, UINT Message, LPARAM Param, LPARAM Data);

}  // namespace setup
