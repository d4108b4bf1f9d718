// Stands in for an earlier installation's uninstaller: records its arguments next to the list
// it was given, then, like the real one, runs on from a copy of itself in the temporary folder
// for a moment so that the installer has to wait for that copy to go away.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wstring(argv[1]) == L"--linger") {
    Sleep(1500);
    return 0;
  }
  std::wstring Record;
  for (int I = 1; I < argc; ++I) Record += std::wstring(argv[I]) + L"\n";
  if (argc >= 2) {
    const std::wstring Log = std::wstring(argv[1]) + L".ran";
    HANDLE File = CreateFileW(Log.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (File != INVALID_HANDLE_VALUE) {
      DWORD Written;
      WriteFile(File, Record.data(), static_cast<DWORD>(Record.size() * sizeof(wchar_t)), &Written, nullptr);
      CloseHandle(File);
    }
  }
  wchar_t Self[MAX_PATH], Temp[MAX_PATH];
  GetModuleFileNameW(nullptr, Self, MAX_PATH);
  GetTempPathW(MAX_PATH, Temp);
  std::wstring Copy = std::wstring(Temp) + L"UnInstall.exe";
  if (!CopyFileW(Self, Copy.c_str(), FALSE)) return 1;
  std::wstring Command = L"\"" + Copy + L"\" --linger x";
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process{};
  if (!CreateProcessW(nullptr, Command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process))
    return 1;
  CloseHandle(Process.hThread);
  CloseHandle(Process.hProcess);
  return 0;
}
