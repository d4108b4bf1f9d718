#pragma once
// Where the 1C:Enterprise platform is installed on this machine, and its registered infobases.
#include <string>
#include <utility>
#include <vector>

#include "system/Registry.h"
#include "untData.h"

namespace setup {

// What discovery looks at on disk: the names of the subfolders of a folder (given with its
// trailing backslash), and whether a file is there.
class I1CFolders {
 public:
  virtual ~I1CFolders() = default;
  virtual std::vector<std::string> SubFolders(const std::string& Folder) = 0;
  virtual bool FileExists(const std::string& Path) = 0;
};
#ifdef _WIN32
I1CFolders& SystemFolders1C();
#endif

// Fills Products8, Products77 and Products75 (in that order) from the local machine's keys.
// Only reads: keys are opened for reading, so that a user without administrator rights finds
// the same installations. A value that is not a string counts as absent.
// Version 8 comes from the Windows Installer's registrations of the platform, in both registry
// views, and, with Folders, from "1cv8\<version>\bin" folders holding 1cv8.exe under both
// Program Files folders; each bin folder is listed once.
void Discover1CProducts(IRegistry& Registry, TInstallInfo& Info, I1CFolders* Folders = nullptr);
// The program folders of the installations Discover1CProducts finds, in its order.
std::vector<std::string> Find1CFolders(IRegistry& Registry, I1CFolders* Folders);

// One registered infobase: its title and its directory.
struct T1CTitle {
  std::string Title;
  std::string Directory;
};
// The registered infobases, those of 7.5 first, then those of 7.7, as the registry lists them.
std::vector<T1CTitle> Read1CTitles(IRegistry& Registry);

// Registers Directory as an infobase titled Title; raises "Failed to set data for '%s'" when
// the value cannot be written.
void Write1C75Title(IRegistry& Registry, const std::string& Directory, const std::string& Title);
void Write1C77Title(IRegistry& Registry, const std::string& Directory, const std::string& Title);

}  // namespace setup
