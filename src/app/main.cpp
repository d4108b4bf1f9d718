// setup.exe: the wizard window first (it owns the model), then the background, then the loop.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "app/AppWin.h"
#include "app/untMain.h"
#include "app/untWork.h"
#include "system/ServerRegistrationWin.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // A child run that registers one COM server for the installation: nothing else happens in it.
  int ChildExitCode = 0;
  if (setup::RunChildRegistration(ChildExitCode)) return ChildExitCode;
  INITCOMMONCONTROLSEX Controls = {sizeof(Controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&Controls);
  // The folder tree and the folder browser are shell objects.
  OleInitialize(nullptr);

  setup::TfrmWork Work;
  if (!Work.Create()) return Work.ExitCode;
  setup::TfrmMain Main;
  Main.Create(Work.Info->Description, Work.Info->NameFont, Work.Handle);
  // The wizard stays above the background even when the background is clicked.
  if (Main.Handle) SetWindowLongPtrW(Work.Handle, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(Main.Handle));
  Work.Show();

  MSG Message;
  int ExitCode = setup::exitFailed;
  for (;;) {
    const BOOL Got = GetMessageW(&Message, nullptr, 0, 0);
    if (Got == 0) {
      ExitCode = static_cast<int>(Message.wParam);
      break;
    }
    if (Got < 0) break;
    if (Work.Handle && IsDialogMessageW(Work.Handle, &Message)) continue;
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
  return ExitCode;
}
