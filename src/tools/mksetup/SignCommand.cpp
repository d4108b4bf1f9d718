// The signing command on the build server: run by the shell with the file's path appended.
#include <cstdlib>
#include <sys/wait.h>

#include "Packager.h"

namespace setup::mksetup {

void RunSignCommand(const std::string& Command, const std::string& Path) {
  std::string Quoted = "'";
  for (const char C : Path) Quoted += C == '\'' ? std::string("'\\''") : std::string(1, C);
  Quoted += "'";
  const int Status = std::system((Command + " " + Quoted).c_str());
  if (Status == -1 || !WIFEXITED(Status) || WEXITSTATUS(Status) != 0)
    throw Exception("The signing command failed on '" + Path + "': " + Command);
}

}  // namespace setup::mksetup
