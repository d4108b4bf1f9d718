#include <windows.h>

#include "system/Paths.h"
#include "system/SystemWin.h"
#include "system/Text.h"
#include "system/WideWin.h"
#include "untUnInstall.h"

namespace setup {

bool RunUninstallerSilent(const std::string& CommandLine) {
  std::wstring Command = ToWide(CommandLine + " /silence");
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  Startup.dwFlags = STARTF_USESHOWWINDOW;
  Startup.wShowWindow = SW_SHOWDEFAULT;
  PROCESS_INFORMATION Process{};
  if (!CreateProcessW(nullptr, Command.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                      &Startup, &Process))
    return false;
  HandleGuard ProcessHandle(Process.hProcess), ThreadHandle(Process.hThread);
  return WaitForSingleObject(Process.hProcess, INFINITE) != WAIT_FAILED;
}

void RemoveTempUninstaller(const std::string& CommandLine) {
  const std::string Target = GetTempDir() + ExtractFileName(TextBetween(CommandLine, "\"", "\""));
  const std::wstring WideTarget = ToWide(Target);
  // The earlier uninstaller runs from its temporary copy; it is finished when the copy can be
  // deleted. A copy that never goes away must not hold the installation forever: after a
  // minute the installation goes on, since the uninstaller has already done its work.
  for (int Attempt = 0; Attempt < 600 && FileExists(Target); ++Attempt) {
    DeleteFileW(WideTarget.c_str());
    Sleep(100);
  }
}

}  // namespace setup
