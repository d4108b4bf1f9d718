#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace setup {

// Splits a command line into arguments the way the program's own arguments are split:
// blanks and control characters separate, double quotes group text and are removed,
// backslashes have no special meaning (so "/PATH=\"C:\Program Files\\"" keeps its backslash).
std::vector<std::string> SplitCommandLine(std::string_view CommandLine);

// The value of the first argument that starts with Switch (letter case ignored), with its
// own case kept; Default when no argument matches. Args excludes the program's own path.
std::string GetSwitchValue(const std::vector<std::string>& Args, std::string_view Switch,
                           const std::string& Default);

}  // namespace setup
