#include "ProcessWin.h"

#include "Files.h"
#include "ProgramCommand.h"
#include "WideWin.h"

namespace setup {

ProcessHandle RunProgram(const std::string& CommandLine, const std::string& Params, bool Wait, int ShowCmd) {
  const std::wstring Directory = ToWide(CommandWorkingDirectory(CommandLine, IsExistingFile));
  std::wstring Command = ToWide(CommandLine + " " + Params);
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  Startup.dwFlags = STARTF_USESHOWWINDOW;
  Startup.wShowWindow = static_cast<WORD>(ShowCmd);
  PROCESS_INFORMATION Started{};
  if (!CreateProcessW(nullptr, Command.data(), nullptr, nullptr, FALSE,
                      CREATE_DEFAULT_ERROR_MODE | CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr,
                      Directory.empty() ? nullptr : Directory.c_str(), &Startup, &Started))
    RaiseLastOSError();
  CloseHandle(Started.hThread);
  ProcessHandle Process(Started.hProcess);
  if (Wait) WaitForSingleObject(Process.Get(), INFINITE);
  return Process;
}

}  // namespace setup
