#pragma once
// Start-menu shortcuts.
#include <string>

namespace setup {

// Saves LinkFile as a shortcut to Target (a file or a folder) with the given arguments and
// description, starting in the folder that holds Target. Failures are silent: a missing
// shortcut must not stop the installation.
void CreateShellLink(const std::string& Target, const std::string& Arguments, const std::string& LinkFile,
                     const std::string& Description);

}  // namespace setup
