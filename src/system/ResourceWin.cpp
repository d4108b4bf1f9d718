#include "ResourceWin.h"

#include <windows.h>

#include "Errors.h"
#include "WideWin.h"

namespace setup {

bool FindProgramResource(const std::string& ResourceName, const void*& Bytes, unsigned long& Size) {
  const HMODULE Program = GetModuleHandleW(nullptr);
  const HRSRC Found = FindResourceW(Program, ToWide(ResourceName).c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!Found) return false;
  const HGLOBAL Loaded = LoadResource(Program, Found);
  Bytes = Loaded ? LockResource(Loaded) : nullptr;
  Size = SizeofResource(Program, Found);
  return Bytes != nullptr;
}

void SaveResourceToFile(const std::string& ResourceName, const std::string& FileName) {
  const void* Bytes = nullptr;
  unsigned long Size = 0;
  if (!FindProgramResource(ResourceName, Bytes, Size)) throw EAbort();

  const std::wstring Name = ToWide(FileName);
  // No sharing while it is written: another copy of the program that holds the file loaded
  // makes this fail instead of changing the file under it.
  HandleGuard File(CreateFileW(Name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!File.Valid()) throw Exception("Cannot create file \"" + FileName + "\". " + SystemErrorMessage(GetLastError()));
  DWORD Written = 0;
  const bool Complete = WriteFile(File.Get(), Bytes, Size, &Written, nullptr) && Written == Size;
  if (!Complete) {
    // A short write without an error code means the disk ran out of room.
    const DWORD Error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_HANDLE_DISK_FULL;
    File.Reset();
    DeleteFileW(Name.c_str());
    throw Exception("Cannot write file \"" + FileName + "\". " + SystemErrorMessage(Error));
  }
}

}  // namespace setup
