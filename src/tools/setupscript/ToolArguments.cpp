#include "ToolArguments.h"

namespace setup {

std::vector<std::string> ToolArguments(int argc, char** argv) { return {argv + (argc > 0 ? 1 : 0), argv + argc}; }

}  // namespace setup
