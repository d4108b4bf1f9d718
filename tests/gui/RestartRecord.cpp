// The test programs' restart: the request is written to %TEMP%\restart-request.txt, where the
// walk tests look for it, instead of restarting the machine.
#include <windows.h>

#include "app/Restart.h"
#include "system/SystemWin.h"
#include "system/WideWin.h"

namespace setup {

void RequestRestart() {
  EnableShutdownPrivileges();
  const std::wstring Record = ToWide(GetTempDir() + "restart-request.txt");
  HandleGuard File(CreateFileW(Record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD Written = 0;
  WriteFile(File.Get(), "EWX_REBOOT\r\n", 12, &Written, nullptr);
}

}  // namespace setup
