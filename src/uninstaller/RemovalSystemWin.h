#pragma once
// The removal plan carried out on the Windows file system.
#include <string>
#include <vector>

#include "RemovalPlan.h"

namespace setup {

class RemovalSystemWin : public IRemovalSystem {
 public:
  // How the removal commands' windows are shown (hidden in a silent run).
  int ShowCommand = 10;  // SW_SHOWDEFAULT
  // The program that unregisters a library in a process of its own (so that a server that
  // crashes takes only that process with it); empty: in this process.
  std::string UnregisterHelper;

  bool FileExists(const std::string& Path) override;
  bool DirectoryExists(const std::string& Path) override;
  bool IsLink(const std::string& Path) override;
  DeleteOutcome RemoveFile(const std::string& Path) override;
  bool RemoveEmptyFolder(const std::string& Path) override;
  bool ScheduleDeleteAtRestart(const std::string& Path) override;
  std::vector<Entry> ListDirectory(const std::string& Dir) override;
  bool RunCommand(const std::string& CommandLine) override;
  void UnregisterServer(const std::string& Path, bool IsProgram) override;
  std::string LongPath(const std::string& Path) override;
};

// The system's own folders, which no list may remove.
std::vector<std::string> SystemFolderPaths();
// The Windows folder: nothing in it is a product's.
std::vector<std::string> SystemTreePaths();
// The Start menu's Programs folders, the user's and everyone's.
std::vector<std::string> ProgramsFolderPaths();

// Loads the library and calls its DllUnregisterServer, if it has one.
void UnregisterLibraryHere(const std::string& Path);

}  // namespace setup
