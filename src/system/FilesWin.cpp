#include <windows.h>

#include <algorithm>

#include "Errors.h"
#include "Files.h"
#include "WideWin.h"

namespace setup {

// The Windows programs leave std::filesystem out: its static runtime brings the whole locale
// and stream library with it, several hundred kilobytes of setup.exe.
bool IsExistingFile(const std::string& Path) {
  const DWORD Attributes = GetFileAttributesW(ToWide(Path).c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && !(Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void SaveBytesToFile(const std::string& Path, std::string_view Bytes) {
  HandleGuard File(CreateFileW(ToWide(Path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
  if (!File.Valid()) throw Exception("Cannot create file \"" + Path + "\". " + SystemErrorMessage(GetLastError()));
  std::size_t Done = 0;
  while (Done < Bytes.size()) {
    const DWORD Chunk = static_cast<DWORD>(std::min<std::size_t>(Bytes.size() - Done, 1u << 24));
    DWORD Written = 0;
    if (!WriteFile(File.Get(), Bytes.data() + Done, Chunk, &Written, nullptr) || Written == 0) {
      const DWORD Error = GetLastError();
      File.Reset();
      DeleteFileW(ToWide(Path).c_str());
      throw Exception("Cannot write file \"" + Path + "\". " + SystemErrorMessage(Error));
    }
    Done += Written;
  }
}

std::string LoadBytesFromFile(const std::string& Path) {
  HandleGuard File(CreateFileW(ToWide(Path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!File.Valid()) throw Exception("Cannot open file \"" + Path + "\". " + SystemErrorMessage(GetLastError()));
  std::string Bytes;
  char Buffer[65536];
  DWORD Read = 0;
  while (ReadFile(File.Get(), Buffer, sizeof Buffer, &Read, nullptr) && Read > 0) Bytes.append(Buffer, Read);
  return Bytes;
}

}  // namespace setup
