#include "SystemWin.h"

#include <windows.h>

#include "CommandLine.h"
#include "Errors.h"
#include "Paths.h"
#include "SystemLibraryWin.h"
#include "WideWin.h"

namespace setup {

void MakeDirs(const std::string& Dir) {
  if (Dir.empty()) throw Exception("Unable to create directory");
  const std::string Path = WithoutBackslash(Dir);
  if (Path.size() < 3 || DirectoryExists(Path)) return;
  const std::string Parent = WithoutBackslash(ExtractFilePath(Path));
  if (Parent == Path) return;  // a drive root
  if (!Parent.empty()) MakeDirs(Parent);
  CreateDirectoryW(ToWidePath(Path).c_str(), nullptr);
}

FARPROC SystemLibraryFunction(const wchar_t* Library, const char* Name) {
  wchar_t Folder[MAX_PATH];
  const UINT Length = GetSystemDirectoryW(Folder, MAX_PATH);
  if (Length == 0 || Length >= MAX_PATH) return nullptr;
  const std::wstring Path = std::wstring(Folder, Length) + L"\\" + Library;
  // Loaded once for the life of the process: the handle is not given back.
  HMODULE Module = GetModuleHandleW(Path.c_str());
  if (!Module) Module = LoadLibraryW(Path.c_str());
  return Module ? GetProcAddress(Module, Name) : nullptr;
}

bool RestrictLibrarySearch() {
  const auto SetDirectories =
      SystemFunction<decltype(SetDefaultDllDirectories)>(L"kernel32.dll", "SetDefaultDllDirectories");
  return SetDirectories && SetDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

DWORD ServerLibraryFlags() {
  // The flags came with the function.
  return SystemLibraryFunction(L"kernel32.dll", "SetDefaultDllDirectories")
             ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
             : LOAD_WITH_ALTERED_SEARCH_PATH;
}

std::string GetTempDir() {
  std::wstring Buffer(MAX_PATH + 1, L'\0');
  DWORD Length = GetTempPathW(static_cast<DWORD>(Buffer.size()), Buffer.data());
  if (Length > Buffer.size()) {
    Buffer.assign(Length + 1, L'\0');
    Length = GetTempPathW(static_cast<DWORD>(Buffer.size()), Buffer.data());
  }
  Buffer.resize(Length);
  return FromWide(Buffer);
}

bool HasAttributes(const std::string& Path, unsigned long Mask) {
  const DWORD Attributes = GetFileAttributesW(ToWidePath(Path).c_str());
  if (Attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (Attributes & Mask) == Mask;
}

bool DirectoryExists(const std::string& Path) { return HasAttributes(Path, FILE_ATTRIBUTE_DIRECTORY); }

bool FileExists(const std::string& Path) {
  const DWORD Attributes = GetFileAttributesW(ToWidePath(Path).c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && !(Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void EnableShutdownPrivileges() {
  HandleGuard Token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, Token.Receive())) return;
  for (const wchar_t* Name : {L"SeShutdownPrivilege", L"SeSystemTimePrivilege", L"SeDebugPrivilege"}) {
    TOKEN_PRIVILEGES Privileges{};
    if (!LookupPrivilegeValueW(nullptr, Name, &Privileges.Privileges[0].Luid)) continue;
    Privileges.PrivilegeCount = 1;
    Privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(Token.Get(), FALSE, &Privileges, 0, nullptr, nullptr);
  }
}

std::string ProgramPath() {
  std::wstring Buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD Length = GetModuleFileNameW(nullptr, Buffer.data(), static_cast<DWORD>(Buffer.size()));
    if (Length < Buffer.size()) {
      Buffer.resize(Length);
      return FromWide(Buffer);
    }
    Buffer.resize(Buffer.size() * 2);
  }
}

std::vector<std::string> ProgramArguments() {
  std::vector<std::string> Args = SplitCommandLine(FromWide(GetCommandLineW()));
  if (!Args.empty()) Args.erase(Args.begin());
  return Args;
}

}  // namespace setup
