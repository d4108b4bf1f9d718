#include "app/Restart.h"

#include <windows.h>

#include "system/SystemWin.h"

namespace setup {

void RequestRestart() {
  EnableShutdownPrivileges();
  ExitWindowsEx(EWX_REBOOT, 0);
}

}  // namespace setup
