// The signing command on a vendor's desk: run by cmd.exe with the file's path appended. The
// wide call keeps paths outside the ANSI code page intact.
#include <cstdlib>

#include "Packager.h"
#include "system/WideWin.h"

namespace setup::mksetup {

void RunSignCommand(const std::string& Command, const std::string& Path) {
  // cmd /c strips the outer quotes of its line; the extra pair keeps the command's own.
  const std::string Line = "\"" + Command + " \"" + Path + "\"\"";
  const int Status = _wsystem(ToWide(Line).c_str());
  if (Status != 0) throw Exception("The signing command failed on '" + Path + "': " + Command);
}

}  // namespace setup::mksetup
