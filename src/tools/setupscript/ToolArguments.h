#pragma once
#include <string>
#include <vector>

namespace setup {

// The tool's arguments as UTF-8, without the program's own path.
std::vector<std::string> ToolArguments(int argc, char** argv);

}  // namespace setup
