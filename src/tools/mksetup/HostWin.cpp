// What the packager asks of a vendor's Windows: the signing command, run by cmd.exe with the
// file's path appended (the wide call keeps paths outside the ANSI code page intact), and a
// source file's attributes as the cabinet records them.
#include <windows.h>

#include <cstdlib>

#include "Packager.h"
#include "cabinet/writer/CabinetWriter.h"
#include "system/WideWin.h"

namespace setup::mksetup {

std::uint16_t SourceAttributes(const std::string& Path) {
  const DWORD Attributes = GetFileAttributesW(ToWide(Path).c_str());
  if (Attributes == INVALID_FILE_ATTRIBUTES) return cabAttrArchive;
  return std::uint16_t(Attributes & (cabAttrReadOnly | cabAttrHidden | cabAttrSystem | cabAttrArchive));
}

void RunSignCommand(const std::string& Command, const std::string& Path) {
  // cmd /c strips the outer quotes of its line; the extra pair keeps the command's own.
  const std::string Line = "\"" + Command + " \"" + Path + "\"\"";
  const int Status = _wsystem(ToWide(Line).c_str());
  if (Status != 0) throw Exception("The signing command failed on '" + Path + "': " + Command);
}

void PrepareConsole() {
  SetConsoleOutputCP(CP_UTF8);
}

}  // namespace setup::mksetup
