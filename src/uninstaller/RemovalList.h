#pragma once
// The uninstall list as the uninstaller reads it: the whole file is checked before anything is
// touched, so that a damaged list removes nothing.
#include <string>
#include <string_view>

#include "uninstall/untUnInstallFiles.h"

namespace setup {

struct TRemovalList {
  std::string ProductName;
  TUnInstallList Items;
};

// Reads a list file's bytes (the system's ANSI code page). Raises an Exception whose text is the
// message shown for a damaged list: an unknown format version, a count that is no number or
// names more items than the file holds, an item of unknown type, a number that is not decimal,
// or a path that is not absolute. Items with an empty path are kept: the installation records
// folders that may be empty on a given system, and they simply name nothing to remove.
TRemovalList ReadRemovalList(std::string_view AnsiBytes);

// "C:\..." or "\\server\share\...": the only paths an installation records.
bool IsAbsoluteWindowsPath(std::string_view Path);

}  // namespace setup
