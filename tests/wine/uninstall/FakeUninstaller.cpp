// Stands in for an earlier installation's uninstaller: records its arguments next to the list
// it was given, then, like the real one, leaves the work to another program of its own, which
// runs on for a moment after the first has ended and marks the list ("<list>.done") when it is
// through, so that a test sees whether the installer waited for it.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wstring(argv[1]) == L"--linger") {
    Sleep(1500);
    const std::wstring Done = std::wstring(argv[2]) + L".done";
    CloseHandle(CreateFileW(Done.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return 0;
  }
  std::wstring Record;
  for (int I = 1; I < argc; ++I) Record += std::wstring(argv[I]) + L"\n";
  if (argc < 2) return 1;
  const std::wstring Log = std::wstring(argv[1]) + L".ran";
  HANDLE File = CreateFileW(Log.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (File != INVALID_HANDLE_VALUE) {
    DWORD Written;
    WriteFile(File, Record.data(), static_cast<DWORD>(Record.size() * sizeof(wchar_t)), &Written, nullptr);
    CloseHandle(File);
  }
  wchar_t Self[MAX_PATH];
  GetModuleFileNameW(nullptr, Self, MAX_PATH);
  std::wstring Command = L"\"" + std::wstring(Self) + L"\" --linger \"" + argv[1] + L"\"";
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process{};
  if (!CreateProcessW(nullptr, Command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process))
    return 1;
  CloseHandle(Process.hThread);
  CloseHandle(Process.hProcess);
  return 0;
}
