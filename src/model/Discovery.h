#pragma once
// Where the 1C:Enterprise platform is installed on this machine, and its registered infobases.
#include <string>
#include <utility>
#include <vector>

#include "system/Registry.h"
#include "untData.h"

namespace setup {

// Fills Products8, Products77 and Products75 (in that order) from the local machine's keys.
// Only reads: keys are opened for reading, so that a user without administrator rights finds
// the same installations. A value that is not a string counts as absent.
void Discover1CProducts(IRegistry& Registry, TInstallInfo& Info);

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
