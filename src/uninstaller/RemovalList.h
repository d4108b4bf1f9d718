#pragma once
// The uninstall list as the uninstaller reads it: the whole file is checked before anything is
// touched, so that a damaged list removes nothing.
#include <string>
#include <string_view>

#include "system/Registry.h"
#include "uninstall/untUnInstallFiles.h"

namespace setup {

struct TRemovalList {
  std::string ProductName;
  TUnInstallList Items;
};

// Reads a list file's bytes (the system's ANSI code page). Raises an Exception whose text is the
// message shown for a damaged list: a list saved again in another encoding (UTF-16, or UTF-8
// with or without a byte order mark: its paths would name nothing and its product name no
// entry, so that a run would remove nothing yet delete the list), an unknown format version,
// a count that is no number or names more items than the file holds, an item of unknown type,
// a number that is not decimal, or a path that is not absolute. Items with an empty path are kept: the installation
// records folders that may be empty on a given system, and they simply name nothing to remove.
TRemovalList ReadRemovalList(std::string_view AnsiBytes);

// "C:\..." or "\\server\share\...": the only paths an installation records.
bool IsAbsoluteWindowsPath(std::string_view Path);

// True when an uninstall command line (as registered) names this list file.
bool CommandNamesList(const std::string& CommandLine, const std::string& ListFileName);

// What the uninstall entry that names a list recorded about it. The entry is found by the list
// file, not by the product name the list gives, which whoever changed the list chose.
struct TListEntry {
  bool Found = false;
  std::string KeyName;          // under the uninstall key
  std::string InstallLocation;  // the installation folder
  std::string Digest;           // of the list as written; empty from setups that recorded none
};
TListEntry FindListEntry(IRegistry& Registry, const std::string& ProductName, const std::string& ListFileName);

enum class TListOrigin {
  loUnknown,  // no entry names the list, or its entry recorded no digest
  loProven,   // the list is the one the installation wrote
  loChanged,  // the list differs from the one the installation wrote
};
TListOrigin CheckListOrigin(const TListEntry& Entry, std::string_view ListBytes);

}  // namespace setup
