#pragma once
// Symbolic links as another account would plant them, for the Windows tests. Windows makes them
// with CreateSymbolicLinkW. Wine 8 only pretends to (it answers yes and makes nothing), but it
// runs a program named by a Unix path as a Unix program: there the link is made and removed on
// the Unix side, and a Unix symbolic link in the prefix is what Wine takes for a link or
// junction. Paths are UTF-8.
#include <windows.h>

#include <string>

#include "system/WideWin.h"

namespace test {

// The Unix path of a Windows path under Wine; empty elsewhere.
inline std::string UnixPath(const std::string& Path) {
  using Converter = char*(LPCWSTR);
  const auto Convert = reinterpret_cast<Converter*>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!Convert) return {};
  char* Unix = Convert(setup::ToWide(Path).c_str());
  if (!Unix) return {};
  std::string Result = Unix;
  HeapFree(GetProcessHeap(), 0, Unix);
  return Result;
}

// Whether something (also a link to nothing) has the name Path.
inline bool NameExists(const std::string& Path) {
  WIN32_FIND_DATAW Found;
  const HANDLE Search = FindFirstFileW(setup::ToWide(Path).c_str(), &Found);
  if (Search == INVALID_HANDLE_VALUE) return false;
  FindClose(Search);
  return true;
}

// Runs a Unix program under Wine (which does not tell when it ends nor how) and waits up to
// five seconds for Done.
template <class Condition>
bool RunUnix(const std::string& CommandLine, Condition Done) {
  std::wstring Command = setup::ToWide(CommandLine);
  std::wstring Program = setup::ToWide("Z:" + CommandLine.substr(0, CommandLine.find(' ')));
  for (wchar_t& C : Program)
    if (C == L'/') C = L'\\';
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process{};
  if (!CreateProcessW(Program.c_str(), Command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup,
                      &Process))
    return false;
  CloseHandle(Process.hThread);
  CloseHandle(Process.hProcess);
  for (int Attempt = 0; Attempt < 100 && !Done(); ++Attempt) Sleep(50);
  return Done();
}

// Makes Link a symbolic link to Target (a folder when Folder); true when the link is there.
inline bool MakeLink(const std::string& Link, const std::string& Target, bool Folder) {
  const std::string UnixLink = UnixPath(Link), UnixTarget = UnixPath(Target);
  if (UnixLink.empty()) {
    const DWORD Flags = (Folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | 0x2;  // unprivileged, where allowed
    return CreateSymbolicLinkW(setup::ToWide(Link).c_str(), setup::ToWide(Target).c_str(), Flags) && NameExists(Link);
  }
  return RunUnix("/bin/ln -s \"" + UnixTarget + "\" \"" + UnixLink + "\"", [&] { return NameExists(Link); });
}

// Removes the link Link itself; true when it is gone.
inline bool RemoveLink(const std::string& Link) {
  const std::string UnixLink = UnixPath(Link);
  if (UnixLink.empty()) {
    const std::wstring Wide = setup::ToWide(Link);
    return RemoveDirectoryW(Wide.c_str()) || DeleteFileW(Wide.c_str()) || !NameExists(Link);
  }
  return RunUnix("/bin/rm -f \"" + UnixLink + "\"", [&] { return !NameExists(Link); });
}

}  // namespace test
