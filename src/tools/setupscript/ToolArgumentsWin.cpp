#include "ToolArguments.h"
#include "system/SystemWin.h"

namespace setup {

// argv holds the arguments in the ANSI code page; the wide command line keeps every character.
std::vector<std::string> ToolArguments(int, char**) { return ProgramArguments(); }

}  // namespace setup
