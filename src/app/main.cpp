// setup.exe: the background's window (hidden), the wizard it owns (which owns the model), then the loop.
#include <windows.h>
#include <commctrl.h>

#include "app/AppWin.h"
#include "app/untMain.h"
#include "app/untWork.h"
#include "system/LogWin.h"
#include "system/ServerRegistrationWin.h"
#include "system/SystemLibraryWin.h"
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
  // Before anything can load a library by name: the folder the program was started from is
  // anybody's, and the program may run elevated.
  setup::RestrictLibrarySearch();
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

  // The background's window is made first, hidden and empty, and owns the wizard from its
  // making: the wizard lies above it from the start and stays there whatever happens (a click
  // on the background, a window manager or none). It is filled and shown behind the wizard once
  // the first page is on screen. (Declared first, it goes last: after the window it owns.)
  setup::TfrmMain Main;
  Main.CreateHidden();
  setup::TfrmWork Work;
  if (!Work.Create(Main.Handle)) {
    setup::LogLine("exit status " + std::to_string(Work.ExitCode));
    return Work.ExitCode;
  }
  LogStart(*Work.Info);
  // A quiet run is a deployment tool's: nobody is there to see a window.
  if (!Options.Quiet)
    Work.AfterFirstPage = [&Main, &Work] { Main.Create(Work.Info->Description, Work.Info->NameFont, Work.Handle); };
  Work.Show(Options.Quiet);

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
