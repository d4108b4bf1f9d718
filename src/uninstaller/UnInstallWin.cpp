// UnInstall.exe: removes one installation, named by its uninstall list.
#include <windows.h>
#include <commctrl.h>

#include "RemovalList.h"
#include "RemovalSystemWin.h"
#include "UninstallerMessages.h"
#include "UninstallerRun.h"
#include "model/Discovery.h"
#include "system/Errors.h"
#include "system/Files.h"
#include "system/Paths.h"
#include "system/RegistryWin.h"
#include "system/RunFolderWin.h"
#include "system/SystemLibraryWin.h"
#include "system/SystemWin.h"
#include "system/WideWin.h"

using namespace setup;

namespace {

// Our texts break lines with "\r"; a message box wants CR LF.
std::wstring BoxText(const std::string& Text) {
  std::wstring Out;
  for (wchar_t C : ToWide(Text)) {
    Out += C;
    if (C == L'\r') Out += L'\n';
  }
  return Out;
}

int ShowBox(const std::string& Text, UINT Flags) {
  return MessageBoxW(nullptr, BoxText(Text).c_str(), ToWide(UnMsg::Title).c_str(), Flags | MB_SETFOREGROUND);
}

// A small window with the current path and a bar, shown while an attended removal runs.
class ProgressWindow {
 public:
  explicit ProgressWindow(const std::string& Heading) {
    INITCOMMONCONTROLSEX Controls{sizeof Controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&Controls);
    FWindow = CreateWindowExW(WS_EX_DLGMODALFRAME, L"STATIC", ToWide(UnMsg::Title).c_str(),
                              WS_POPUP | WS_CAPTION | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, 460, 130, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!FWindow) return;
    RECT Work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &Work, 0);
    SetWindowPos(FWindow, HWND_TOP, (Work.left + Work.right - 460) / 2, (Work.top + Work.bottom - 130) / 2, 0, 0,
                 SWP_NOSIZE);
    const auto Font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HWND Title = CreateWindowExW(0, L"STATIC", ToWide(Heading).c_str(), WS_CHILD | WS_VISIBLE | SS_ENDELLIPSIS, 12,
                                 10, 430, 18, FWindow, nullptr, nullptr, nullptr);
    FPath = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_PATHELLIPSIS, 12, 32, 430, 18, FWindow,
                            nullptr, nullptr, nullptr);
    FBar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 12, 56, 430, 20, FWindow, nullptr,
                           nullptr, nullptr);
    for (HWND Control : {Title, FPath}) SendMessageW(Control, WM_SETFONT, reinterpret_cast<WPARAM>(Font), TRUE);
    Pump();
  }
  ~ProgressWindow() {
    if (FWindow) DestroyWindow(FWindow);
  }
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  void Show(int Done, int Total, const std::string& Path) {
    if (!FWindow) return;
    // Painting costs more than removing a file: shown at most every 50 ms, and when done.
    const DWORD Now = GetTickCount();
    if (Now - FPainted < 50 && Done < Total) return;
    FPainted = Now;
    SendMessageW(FBar, PBM_SETRANGE32, 0, Total);
    SendMessageW(FBar, PBM_SETPOS, Done, 0);
    SetWindowTextW(FPath, ToWide(Path).c_str());
    Pump();
  }

 private:
  static void Pump() {
    MSG Message;
    while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&Message);
      DispatchMessageW(&Message);
    }
  }
  HWND FWindow = nullptr;
  HWND FPath = nullptr;
  HWND FBar = nullptr;
  DWORD FPainted = GetTickCount() - 50;
};

// The absolute form of a path given on the command line: the copy works in another folder.
std::string FullPath(const std::string& Path) {
  const std::wstring Wide = ToWide(Path);
  const DWORD Size = GetFullPathNameW(Wide.c_str(), 0, nullptr, nullptr);
  if (Size == 0) return Path;
  std::wstring Full(Size, L'\0');
  const DWORD Length = GetFullPathNameW(Wide.c_str(), Size, Full.data(), nullptr);
  Full.resize(Length);
  return FromWide(Full);
}

// Copies this program into a new folder of its own in the temporary folder and lets the copy
// do the work; returns the copy's outcome, or -1 when no copy could be started (the work is
// then done here).
int RunFromTemporaryCopy(const std::vector<std::string>& Args) {
  const std::string Self = ProgramPath();
  const std::string Name = ExtractFileName(Self);
  TRunFolder Folder;
  std::string Copy;
  try {
    Folder.Create(GetTempDir());
    const std::string Program = LoadBytesFromFile(Self);
    // The copy inherits the handle that holds its file, and the system deletes the file when
    // the copy's last handle closes, that is when it ends. Without write or delete sharing
    // nobody changes or deletes it while it runs (which is also what an installer waiting for
    // it relies on), and the folder's handle, which the copy inherits as well, keeps the
    // folder's name from being taken meanwhile. The copy is a new file, never an existing one.
    Copy = Folder.WriteBytes(Name, Program.data(), static_cast<unsigned long>(Program.size()), true);
  } catch (const std::exception&) {
    return -1;
  }
  SECURITY_ATTRIBUTES Inherited{sizeof Inherited, nullptr, TRUE};
  HANDLE ReadEnd = nullptr, WriteEnd = nullptr;
  if (!CreatePipe(&ReadEnd, &WriteEnd, &Inherited, 0)) return -1;
  HandleGuard StatusRead(ReadEnd), StatusWrite(WriteEnd);
  SetHandleInformation(ReadEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE Own = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &Own, SYNCHRONIZE, TRUE, 0))
    return -1;
  HandleGuard OwnProcess(Own);
  SetHandleInformation(Folder.Handle(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  SetHandleInformation(Folder.FileHandle(Name), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);

  std::wstring Command = ToWide(CopyCommandLine(Copy, Args, Self, reinterpret_cast<std::uintptr_t>(Own),
                                                reinterpret_cast<std::uintptr_t>(WriteEnd)));
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process{};
  // The copy works in its own folder: a current folder inside the installation would keep
  // that folder from being removed, and in the temporary folder anybody could leave a program
  // that a removal command names without a path.
  if (!CreateProcessW(ToWide(Copy).c_str(), Command.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                      ToWide(Folder.Path()).c_str(), &Startup, &Process))
    return -1;
  CloseHandle(Process.hThread);
  CloseHandle(Process.hProcess);
  // The copy holds the folder and its file now; the folder, empty once the copy has ended,
  // goes with the next run of this program or of setup.exe.
  Folder.HandOver();
  // Only the copy may hold the pipe's write end now, so the read ends when the copy reports
  // or ends.
  StatusWrite.Reset();
  unsigned char Status = 0;
  DWORD Read = 0;
  if (ReadFile(ReadEnd, &Status, 1, &Read, nullptr) && Read == 1) return Status;
  return usSomethingLeft;  // the copy ended without a word: what it did is unknown
}

class Uninstaller {
 public:
  explicit Uninstaller(const TUninstallerArguments& Arguments) : FArgs(Arguments) {}

  int Run() {
    // Working from the installation folder would keep it from being removed. The copy works
    // in its own folder; working in place, the system folder, where nobody else leaves a
    // program that a removal command might name without a path.
    if (!FArgs.IsCopy()) {
      wchar_t System[MAX_PATH];
      const UINT Length = GetSystemDirectoryW(System, MAX_PATH);
      if (Length > 0 && Length < MAX_PATH) SetCurrentDirectoryW(System);
    }
    const int Status = Remove();
    Report(Status);
    FinishAfterOriginal();
    return Status;
  }

 private:
  void Fail(const std::string& Text) {
    if (!FArgs.Silent) ShowBox(Text, MB_OK | MB_ICONERROR);
  }

  int Remove() {
    if (FArgs.ListFile.empty()) {
      Fail(UnMsg::NoListGiven);
      return usNotStarted;
    }
    // A second uninstaller of the same list (the control panel's and an installer's, say)
    // would remove what the first one is still deciding about: it leaves everything to it.
    FRemoving.Reset(CreateMutexW(nullptr, FALSE, ToWide(RemovalMutexName(FListFile)).c_str()));
    if (!FRemoving || GetLastError() == ERROR_ALREADY_EXISTS) {
      Fail(FormatMessage1(UnMsg::AlreadyRemoving, FListFile));
      return usNotStarted;
    }
    std::string Bytes;
    try {
      Bytes = LoadBytesFromFile(FListFile);
    } catch (const Exception& Error) {
      Fail(FormatMessage1(UnMsg::ListUnreadable, Error.what()));
      return usNotStarted;
    }
    try {
      FList = ReadRemovalList(Bytes);
    } catch (const Exception& Error) {
      Fail(Error.what());
      return usNotStarted;
    }
    // The entry that names the list tells where the product was installed and what the list
    // was; a list changed since then is not this installation's record any more.
    RegistryWin Registry;
    const TListEntry Entry = FindListEntry(Registry, FList.ProductName, FListFile);
    const TListOrigin Origin = CheckListOrigin(Entry, Bytes);
    if (Origin == TListOrigin::loChanged) {
      Fail(FormatMessage1(UnMsg::ListChanged, FListFile));
      return usNotStarted;
    }
    const std::string Name = ShownProductName(FList.ProductName);
    if (!FArgs.Silent &&
        ShowBox(FormatMessage1(UnMsg::ConfirmRemoval, Name), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
      return usNotStarted;

    FPlan = std::make_unique<TRemovalPlan>(FList, FListFile);
    // Working from a copy, the program the user started ends only after the report: its file
    // goes last. Working in place, this program's file is busy and goes at the next restart.
    if (FArgs.IsCopy()) FPlan->DeferredFile = FArgs.Original;
    FPlan->InstallFolder = Entry.InstallLocation;
    FPlan->ListVerified = Origin == TListOrigin::loProven;
    FPlan->SystemFolders = SystemFolderPaths();
    FPlan->SystemTrees = SystemTreePaths();
    FPlan->ProgramsFolders = ProgramsFolderPaths();
    FPlan->AddinFolders = Find1CFolders(Registry, &SystemFolders1C());
    FSystem.ShowCommand = FArgs.Silent ? SW_HIDE : SW_SHOWDEFAULT;
    FSystem.UnregisterHelper = ProgramPath();
    std::unique_ptr<ProgressWindow> Progress;
    if (!FArgs.Silent) {
      Progress = std::make_unique<ProgressWindow>(FormatMessage1(UnMsg::Removing, Name));
      FPlan->OnProgress = [&](int Done, int Total, const std::string& Path) { Progress->Show(Done, Total, Path); };
    }
    FReport = FPlan->Execute(FSystem, Registry);
    Progress.reset();
    if (!FArgs.Silent) {
      const bool Clean = FReport.Notes.empty();
      ShowBox(ReportText(FList.ProductName, FReport), MB_OK | (Clean ? MB_ICONINFORMATION : MB_ICONWARNING));
    }
    return FReport.ExitStatus();
  }

  // Tells the program that started this copy how it went; that program then ends.
  void Report(int Status) {
    if (!FArgs.StatusPipe) return;
    HandleGuard Pipe(reinterpret_cast<HANDLE>(FArgs.StatusPipe));
    const auto Byte = static_cast<unsigned char>(Status);
    DWORD Written = 0;
    WriteFile(Pipe.Get(), &Byte, 1, &Written, nullptr);
  }

  void FinishAfterOriginal() {
    if (!FArgs.OriginalProcess) return;
    HandleGuard Original(reinterpret_cast<HANDLE>(FArgs.OriginalProcess));
    // It ends right after reading the outcome; a program that does not end in this time
    // has its file deleted at the next restart instead.
    WaitForSingleObject(Original.Get(), 30000);
    if (FPlan) FPlan->FinishDeferred(FSystem, FReport);
  }

  TUninstallerArguments FArgs;
  HandleGuard FRemoving;
  std::string FListFile = FArgs.ListFile;
  TRemovalList FList;
  std::unique_ptr<TRemovalPlan> FPlan;
  RemovalSystemWin FSystem;
  TRemovalReport FReport;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything can load a library by name: the program may run elevated, and the current
  // folder or the PATH may be anybody's.
  RestrictLibrarySearch();
  try {
    std::vector<std::string> Args = ProgramArguments();
    TUninstallerArguments Arguments = ParseUninstallerArguments(Args);
    if (!Arguments.ListFile.empty() && !Arguments.IsCopy()) {
      for (auto& Arg : Args)
        if (Arg == Arguments.ListFile) Arg = FullPath(Arg);
      Arguments.ListFile = FullPath(Arguments.ListFile);
    }
    if (!Arguments.UnregisterLibrary.empty()) {
      UnregisterLibraryHere(Arguments.UnregisterLibrary);
      return 0;
    }
    if (!Arguments.IsCopy()) {
      const int Status = RunFromTemporaryCopy(Args);
      if (Status >= 0) return Status;
    }
    return Uninstaller(Arguments).Run();
  } catch (const std::exception&) {
    return usNotStarted;
  }
}
