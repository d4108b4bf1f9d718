// What the packager asks of the build server's system: the signing command, run by the shell
// with the file's path appended, and a source file's attributes.
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include "Packager.h"
#include "cabinet/writer/CabinetWriter.h"
#include "system/Files.h"

namespace setup::mksetup {

// Only the write permission means anything to Windows: without it the file is read-only.
std::uint16_t SourceAttributes(const std::string& Path) {
  std::uint16_t Attributes = cabAttrArchive;
  std::error_code Error;
  const auto Perms = std::filesystem::status(PathFromUtf8(Path), Error).permissions();
  if (!Error && (Perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none)
    Attributes |= cabAttrReadOnly;
  return Attributes;
}

void RunSignCommand(const std::string& Command, const std::string& Path) {
  std::string Quoted = "'";
  for (const char C : Path) Quoted += C == '\'' ? std::string("'\\''") : std::string(1, C);
  Quoted += "'";
  const int Status = std::system((Command + " " + Quoted).c_str());
  if (Status == -1 || !WIFEXITED(Status) || WEXITSTATUS(Status) != 0)
    throw Exception("The signing command failed on '" + Path + "': " + Command);
}

// Terminals here take UTF-8 as it is.
void PrepareConsole() {}

}  // namespace setup::mksetup
