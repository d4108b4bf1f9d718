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

bool RemoveTempUninstaller(const std::string& CommandLine) {
  const std::string Target = GetTempDir() + ExtractFileName(TextBetween(CommandLine, "\"", "\""));
  const std::wstring WideTarget = ToWide(Target);
  // The earlier uninstaller runs from its temporary copy; it is finished when the copy can be
  // deleted. A copy that does not go away within a minute is reported, so that the caller can
  // ask or stop rather than install into a folder the old uninstaller may still be emptying.
  for (int Attempt = 0; Attempt < 600 && FileExists(Target); ++Attempt) {
    DeleteFileW(WideTarget.c_str());
    if (!FileExists(Target)) return true;
    Sleep(100);
  }
  return !FileExists(Target);
}

}  // namespace setup
