// setup.exe: the wizard window first (it owns the model), then the background, then the loop.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "app/AppWin.h"
#include "app/untMain.h"
#include "app/untWork.h"
#include "system/LogWin.h"
#include "system/ServerRegistrationWin.h"
#include "system/SystemWin.h"
#include "system/Text.h"
#include "wizard/RunOptions.h"

namespace {

void LogStart(const setup::TInstallInfo& Info) {
  using setup::LogLine;
  const auto& E = Info.Environment;
  LogLine("folders: system " + E.SystemDir + "; Windows " + E.WindowsDir + "; programs " + E.ProgramsDir +
          "; fonts " + E.FontsDir + "; Program Files " + E.ProgramFilesDir + "; Common Files " + E.CommonFilesDir +
          "; BDE " + E.BdeDir + "; setup " + E.SetupDir);
  LogLine("product: " + Info.Description + " (uninstall entry \"" + Info.UnInstallInfo.ProductName + "\")");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // A child run that registers one COM server for the installation: nothing else happens in it.
  int ChildExitCode = 0;
  if (setup::RunChildRegistration(ChildExitCode)) return ChildExitCode;
  const setup::TRunOptions Options = setup::ReadRunOptions(setup::ProgramArguments());
  setup::SetQuietMode(Options.Quiet);
  if (!Options.LogPath.empty()) setup::OpenLog(Options.LogPath);  // no log is no reason to stop
  setup::LogLine(std::string("setup.exe ") + SETUP_VERSION + "; command line: " + setup::FromWide(GetCommandLineW()));
  if (Options.Help) {
    if (!Options.Quiet)
      MessageBoxW(nullptr, setup::LinesText(setup::Msg::HelpText).c_str(),
                  setup::WideText(setup::Msg::ApplicationTitle).c_str(), MB_OK | MB_ICONINFORMATION);
    return setup::exitSucceeded;
  }
  INITCOMMONCONTROLSEX Controls = {sizeof(Controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&Controls);
  // The folder tree and the folder browser are shell objects.
  OleInitialize(nullptr);

  setup::TfrmWork Work;
  if (!Work.Create()) {
    setup::LogLine("exit status " + std::to_string(Work.ExitCode));
    return Work.ExitCode;
  }
  LogStart(*Work.Info);
  // The background comes behind the wizard once its first page is on screen.
  setup::TfrmMain Main;
  Work.AfterFirstPage = [&Main, &Work] {
    Main.Create(Work.Info->Description, Work.Info->NameFont, Work.Handle);
    // The wizard stays above the background even when the background is clicked.
    if (Main.Handle) SetWindowLongPtrW(Work.Handle, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(Main.Handle));
  };
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
  setup::LogLine("exit status " + std::to_string(ExitCode));
  return ExitCode;
}
