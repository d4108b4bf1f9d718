#include "app/untWork.h"

#include <shellapi.h>

#include <tuple>

#include "app/AppWin.h"
#include "app/ProductMutexWin.h"
#include "app/Restart.h"
#include "app/WorkControls.h"
#include "app/StateImages.h"
#include "app/untQuest.h"
#include "cabinet/CabinetWin.h"
#include "cabinet/reader/StreamFileHandlerWin.h"
#include "model/Discovery.h"
#include "model/StartupWin.h"
#include "system/CommandLine.h"
#include "system/Errors.h"
#include "system/Files.h"
#include "system/LogWin.h"
#include "system/Inflate.h"
#include "system/ProcessWin.h"
#include "system/ResourceWin.h"
#include "system/SystemWin.h"
#include "system/Text.h"
#include "system/WideWin.h"
#include "uninstall/untUnInstall.h"

namespace setup {
using namespace work;
namespace {

const wchar_t* const cClassName = L"TfrmWork";
const char* const cRunBeforeName = "runbefore.exe";
const char* const cRegistrationName = "setup.exe";
constexpr UINT cmFirstShow = WM_APP + 1;
constexpr UINT_PTR cChoicePagesTimer = 1;
constexpr int cClientWidth = 632, cClientHeight = 372;

// The program's own icon (the icon group mksetup gives number 1) when it has one, else the
// system's application icon, in both sizes the task bar and Alt+Tab take.
void SetProgramIcons(HWND Wnd) {
  const HINSTANCE Instance = GetModuleHandleW(nullptr);
  for (const auto& [Kind, Width, Height] : {std::tuple{ICON_BIG, SM_CXICON, SM_CYICON},
                                             std::tuple{ICON_SMALL, SM_CXSMICON, SM_CYSMICON}}) {
    // Shared icons belong to the system's cache: nothing to free.
    HANDLE Icon = LoadImageW(Instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(Width),
                             GetSystemMetrics(Height), LR_SHARED);
    if (!Icon)
      Icon = LoadImageW(nullptr, MAKEINTRESOURCEW(32512) /* IDI_APPLICATION */, IMAGE_ICON, GetSystemMetrics(Width),
                        GetSystemMetrics(Height), LR_SHARED);
    SendMessageW(Wnd, WM_SETICON, Kind, reinterpret_cast<LPARAM>(Icon));
  }
}

}  // namespace


TfrmWork::TfrmWork() : ExitCode(exitNotStarted) {}

TfrmWork::~TfrmWork() {
  if (Handle) DestroyWindow(Handle);
  if (FLogo) DeleteObject(FLogo);
  if (FProductFont) DeleteObject(FProductFont);
  if (FLinkFont) DeleteObject(FLinkFont);
  if (FStateImages) ImageList_Destroy(FStateImages);
}

bool TfrmWork::Create(HWND Owner) {
  RegisterWindowClass(cPanelClass, PanelProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  // A fixed dialog frame without border icons: the wizard is left through its buttons.
  const DWORD Style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
  RECT Frame = {0, 0, Scaled(cClientWidth), Scaled(cClientHeight)};
  AdjustWindowRectEx(&Frame, Style, FALSE, WS_EX_DLGMODALFRAME);
  const int Width = Frame.right - Frame.left, Height = Frame.bottom - Frame.top;
  // The wizard stands for the program on the task bar and in Alt+Tab, although the background
  // window owns it (which keeps it in front).
  if (!CreateHandle({cClassName, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), LoadIconW(nullptr, IDI_APPLICATION)},
                    WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW, WideText(Msg::ApplicationTitle).c_str(),
                    Style, 0, 0, Width, Height, Owner))
    return false;
  CentreWindow();
  if (!FormCreate()) {
    DestroyWindow(Handle);
    return false;
  }
  // The task bar shows the caption and the icon: the product's name comes first there.
  const std::string Caption =
      Info->Description.empty() ? Msg::ApplicationTitle : Info->Description + " — " + Msg::ApplicationTitle;
  SetWindowTextW(Handle, ToWide(Caption).c_str());
  SetProgramIcons(Handle);
  return true;
}

bool TfrmWork::FormCreate() {
  // A run that was killed or cut off is undone before anything here looks at the machine.
  std::vector<std::string> Left;
  bool Undone = false;
  try {
    FRunFolder.Create(GetTempDir(), [&](HANDLE Folder, const std::string& Path) {
      Undone = RecoverInterruptedRun(Folder, Path, FRunFolder, *this, FRegistry, Left) || Undone;
    });
  } catch (const std::exception&) {
    // Told when the folder is needed.
  }
  if (Undone && !ReadRunOptions(ProgramArguments()).Unattended) {
    std::string Text = Left.empty() ? Msg::InterruptedRunUndone : Msg::RolledBackPart;
    for (std::size_t Item = 0; Item < Left.size(); ++Item) Text += (Item ? ", " : "") + Left[Item];
    AppMessageBox(Handle, FormatMessage1(Msg::InterruptedRun, Text), Msg::ApplicationTitle, MB_OK | MB_ICONINFORMATION);
  }
  Info = std::make_unique<TInstallInfo>(&FRegistry, &SystemFolders1C());
  const std::vector<std::string> Args = ProgramArguments();
  try {
    InitEnvironment(*Info, FRegistry, Args);
  } catch (const EAbort&) {
    // No script in the program: nothing to install and nothing to say.
    return false;
  } catch (const std::exception& Error) {
    // A partly read script would install a partial product: report it and end.
    AppMessageBox(Handle, Error.what(), Msg::ApplicationTitle, MB_OK | MB_ICONERROR);
    LogLine("the script cannot be read: exit status " + std::to_string(exitNotStarted));
    return false;
  }
  // An upgrade goes where the earlier version is, so that it replaces that one instead of
  // adding a second copy beside it; a folder given on the command line still decides.
  const std::string NoPath = "\x01";
  if (GetSwitchValue(Args, "/PATH=", NoPath) == NoPath) {
    const std::string Earlier = EarlierInstallLocation(FRegistry, Info->UnInstallInfo.ProductID);
    // The same conditions as for a folder typed on the directory page.
    if (IsInstallFolder(Earlier)) {
      Info->InstallDir = Earlier;
      LogLine("earlier installation found in " + Earlier + ": the folder proposed and used");
    }
  }
  // A one-file setup: its cabinet is read from the program's own file, under its path.
  const void* Place = nullptr;
  unsigned long PlaceSize = 0;
  if (FindProgramResource("CABPLACE", Place, PlaceSize) &&
      ReadEmbeddedCabinetPlace({static_cast<const char*>(Place), PlaceSize}, FCarried)) {
    Info->Environment.SetupDir = ProgramPath();
    CarryCabinet(Info->Environment.SetupDir, FCarried);
    Info->Environment.SetupDir += '\\';
  }
  FSelection = std::make_unique<TComponentSelection>(*Info);
  FLogo = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), L"LOGO", IMAGE_BITMAP, 0, 0, 0));
  CreateFrame();
  CreateWelcomePage();
  FUnattended = ReadRunOptions(Args).Unattended;
  FPreselected = PreselectInstallType(*Info, GetSwitchValue(Args, "/TYPE=", ""), !FUnattended);
  FRefusal = CheckTypeSwitches(*Info, Args, FUnattended, FChosen);
  // Chosen components are a custom installation: it starts from everything selected.
  if (!FChosen.empty()) FPreselected = {false, false, false, true};
  FPage = pgNone;
  return true;
}

void TfrmWork::CreateChoicePages() {
  if (FChoicePagesMade) return;
  FChoicePagesMade = true;
  InitShellObjects();
  for (int Page : {pgDirectory, pgType, pgComponents, pgGroup, pg1C}) Panels[Page] = CreatePanel();
  FStateImages = CreateStateImages();
  CreateDirectoryPage();
  CreateTypePage();
  CreateComponentsPage();
  CreateGroupPage();
  Create1CPage();
  Fill1CTree();
  FillComponentTree();

  SetChecked(radioFull, FPreselected.Full);
  SetChecked(radioTypical, FPreselected.Typical);
  SetChecked(radioMinimal, FPreselected.Minimal);
  SetChecked(radioCustom, FPreselected.Custom);

  SetWindowTextW(edtProgramGroup, ToWide(Info->ProgramGroup).c_str());
  SetWindowTextW(edtDirectory, ToWide(Info->InstallDir).c_str());
  // The folder tree is filled, and shows InstallDir, when its page is first entered.

  F1CTitles = Read1CTitles(FRegistry);
  for (const T1CTitle& Title : F1CTitles)
    SendMessageW(lbx1CForSelectDirectory, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(Title.Title).c_str()));
  const bool Show1CList = Info->SelectDirectoryFrom1C && !F1CTitles.empty();
  ShowWindow(pnl1CForSelectDirectory, Show1CList ? SW_SHOW : SW_HIDE);
  // Without the list the folder tree takes its place.
  SetWindowPos(stvDirectory.Handle, nullptr, 0, 0, Scaled(cWidth), Scaled(Show1CList ? 80 : 150),
               SWP_NOMOVE | SWP_NOZORDER);
}

void TfrmWork::Show(bool Quiet) {
  if (Quiet) {
    FShown = true;
    PostMessageW(Handle, cmFirstShow, 0, 0);
    return;
  }
  ShowWindow(Handle, SW_SHOW);
  SetForegroundWindow(Handle);
}

void TfrmWork::HideAllPages() {
  for (HWND Panel : Panels)
    if (Panel) ShowWindow(Panel, SW_HIDE);
}

void TfrmWork::ShowPanel(HWND Panel) {
  HideAllPages();
  SetWindowPos(Panel, nullptr, Scaled(cPageLeft), Scaled(cPageTop), Scaled(cPageWidth), Scaled(cPageHeight),
               SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(Panel, SW_SHOW);
}

bool TfrmWork::ExtractCabinetLibrary(std::string& Folder) {
  // A folder of this run's own: nothing another program left or changes in the temporary
  // folder is ever loaded.
  if (!FRunFolder.Created()) FRunFolder.Create(GetTempDir());
  // The program carries the library packed (a stub of an earlier build carries it as it is).
  const void* Bytes = nullptr;
  unsigned long Size = 0;
  if (!FindProgramResource("CABINET", Bytes, Size)) throw EAbort();
  const std::string Library = UnpackLibrary({static_cast<const char*>(Bytes), Size});
  if (Library.empty()) throw EAbort();
  FRunFolder.WriteBytes("CABINET.DLL", Library.data(), static_cast<unsigned long>(Library.size()));
  Folder = FRunFolder.Path();
  return true;
}

void TfrmWork::CopyRegistrationProgram() {
  // The registration child is this program started again. Started from the media, it would be
  // gone once the next disk is in the drive, and every server after it with it; so it runs
  // from a copy held in the run folder. Only a product with servers to register pays for the
  // copy, and it is made now: by the registration stage the first disk may have gone already.
  bool AnyServer = false;
  for (const auto& File : Info->Files) AnyServer = AnyServer || File->RegisterDll;
  // A one-file setup stays where it is for the whole run, and copying it would copy its payload.
  if (!AnyServer || FCarried.Size) return;
  const std::string Self = ProgramPath();
  try {
    const std::string Program = LoadBytesFromFile(Self);
    FRegistrationProgram =
        FRunFolder.WriteBytes(cRegistrationName, Program.data(), static_cast<unsigned long>(Program.size()));
    LogLine("registration program: " + FRegistrationProgram);
  } catch (const std::exception& Error) {
    // The servers are still registered, from the program's own file while it is there.
    FRegistrationProgram.clear();
    LogLine("registration program: " + Self + " (no copy: " + Error.what() + ")");
  }
}

void TfrmWork::NotStarted(const std::string& Text, int Status) {
  AppMessageBox(Handle, Text, Msg::ApplicationTitle, MB_OK | MB_ICONERROR);
  LogLine("not started: exit status " + std::to_string(Status));
  Close(Status);
}

bool TfrmWork::PrepareCabinetLibrary() {
  if (FLibraryPrepared) return Handle != nullptr;
  FLibraryPrepared = true;
  try {
    std::string Folder;
    ExtractCabinetLibrary(Folder);
    LoadCabinetLibrary(Folder);
    LogLine("cabinet library: " + Folder + "CABINET.DLL");
    CopyRegistrationProgram();
    return true;
  } catch (const EAbort&) {
    NotStarted(Msg::CabinetLibraryMissing, exitNotStarted);
  } catch (const ECabinetLibraryNotLoaded& Error) {
    NotStarted(FormatTexts(Msg::CabinetLibraryNotLoaded, {FRunFolder.Path() + "CABINET.DLL", SystemErrorMessage(Error.Code)}),
               exitNotStarted);
  } catch (const std::exception& Error) {
    // The temporary folder cannot be written (missing, read-only, full): its own reason.
    NotStarted(Error.what(), exitNotStarted);
  }
  return false;
}

void TfrmWork::CMShowingChanged() {
  // A download cut short: only its length is checked now (the digest when the installation
  // starts), so that the first page does not wait for the whole file to be read.
  if (FCarried.Size && !EmbeddedCabinetComplete(FCarried, CreateWindowsInstallSystem()->FileSize(ProgramPath()))) {
    NotStarted(Msg::PayloadDamaged, exitNotStarted);
    return;
  }
  // Two copies of one product's setup would install over each other. A deployment tool tries
  // again later on its own status for this.
  const std::string& Product =
      Info->UnInstallInfo.ProductName.empty() ? Info->Description : Info->UnInstallInfo.ProductName;
  if (!ClaimProductMutex(Product, FProductMutex)) {
    NotStarted(Msg::AlreadyRunning, FUnattended ? exitAnotherRunning : exitNotStarted);
    return;
  }
  const TRunOptions Options = ReadRunOptions(ProgramArguments());
  // Nothing has changed yet: a folder or a group that nobody may correct on its page stops the
  // run here (the directory page is always shown; the group page only when the script asks).
  const bool BadDir = Options.Unattended && (Options.BadPath || !IsInstallFolder(Info->InstallDir));
  const bool BadGroup = Options.BadGroup && (Options.Unattended || !Info->DialogGroup);
  // The library is needed by the installation only. A wizard that goes on to its first page
  // prepares it once that page is on screen, before the user can leave the page; a run that
  // starts or stops here prepares it now, so that its failure is the one reported.
  if ((Options.Unattended || BadDir || BadGroup || FRefusal) && !PrepareCabinetLibrary()) return;
  if (Options.Unattended) RunAfterFirstPage();
  if (BadDir || BadGroup) {
    NotStarted(BadDir ? FormatMessage1(Msg::BadInstallDir, Info->InstallDir)
                      : FormatMessage1(Msg::BadProgramGroup, Info->ProgramGroup),
               exitNotStarted);
    return;
  }
  if (FRefusal) {
    NotStarted(FRefusal, exitNotStarted);
    return;
  }
  if (Options.Unattended) {
    const TTypeChoice Type = CheckedTypes();
    Info->ApplyInstallType(Type.Full, Type.Typical, Type.Minimal, Type.Custom);
    FSelection->SelectOnly(FChosen);
    LogLine(std::string("installation type: ") +
            (Type.Full ? "FULL" : Type.Typical ? "TYPICAL" : Type.Minimal ? "MINIMAL" : "CUSTOM"));
    LogSelection();
    RunInstallation();
    const int Status =
        FPayloadDamaged ? exitNotStarted : UnattendedExitStatus(FInstallSucceeded, FAnySkipped, Info->DialogReboot);
    LogLine(std::string("outcome: ") + (FInstallSucceeded ? "installed" : "not installed") + ", exit status " +
            std::to_string(Status));
    Close(Status);
    return;
  }
  SetFocus(btnNext);
  btnNextBackClick(btnNext);
  // A timer comes after the first page has been painted.
  SetTimer(Handle, cChoicePagesTimer, 0, nullptr);
}

void TfrmWork::RunAfterFirstPage() {
  InitShellObjects();
  std::function<void()> Action = std::move(AfterFirstPage);
  AfterFirstPage = nullptr;
  if (Action) Action();
}

TTypeChoice TfrmWork::CheckedTypes() const {
  if (!FChoicePagesMade) return FPreselected;
  return {Checked(radioFull), Checked(radioTypical), Checked(radioMinimal), Checked(radioCustom)};
}

void TfrmWork::ShowError(const std::string& Text) { AppMessageBox(Handle, Text, Msg::ApplicationTitle, MB_OK | MB_ICONERROR); }

void TfrmWork::LogSelection() {
  LogLine("installation folder: " + Info->InstallDir + "; program group: " + Info->ProgramGroup);
  for (const auto& Group : Info->Groups)
    LogLine("group " + std::to_string(Group->ItemNo) + " \"" + Group->Caption + "\": " +
            (Group->State == gsSelected ? "selected" : Group->State == gsPartlySelected ? "partly selected"
             : Group->State == gsNotSelected ? "not selected" : "no mark"));
}

void TfrmWork::Log(const std::string& Line) { LogLine(Line); }

void TfrmWork::btnNextBackClick(HWND Sender) {
  if (!Handle || FRunning) return;
  // The first page may be left before its timer came.
  if (FPage != pgNone && !PrepareCabinetLibrary()) return;
  int Step = -1;
  if (Sender == btnNext) {
    try {
      LeavePage();
    } catch (const EAbort&) {
      return;
    } catch (const std::exception& Error) {
      ShowError(Error.what());
      return;
    }
    if (!Handle) return;  // the licence was refused and the wizard has closed
    Step = 1;
  }
  FPage = StepPage(*Info, FPage, Step, CheckedTypes().Custom);
  EnterPage();
}

void TfrmWork::LeavePage() {
  switch (FPage) {
    case pgLicense:
      if (Checked(radioNo)) {
        AppMessageBox(Handle, Msg::LicenseRefused, Msg::ExitCaption, MB_OK | MB_ICONINFORMATION);
        Close(exitFailed);
      }
      break;
    case pgDirectory:
      // An empty or relative folder would put the product wherever the current folder is; a
      // "." or ".." would make the folder recorded for removal another than the one installed.
      // Refused, not tidied: the page keeps what the user typed for them to correct.
      if (!IsInstallFolder(WindowText(edtDirectory)))
        throw Exception(FormatMessage1(Msg::BadInstallDir, WindowText(edtDirectory)));
      Info->InstallDir = WindowText(edtDirectory);
      RunBeforePrograms();
      // Without a type page the single offered type (or the full one) is what the user gets,
      // as in an unattended run.
      if (!PageEnabled(*Info, pgType, CheckedTypes().Custom)) {
        const TTypeChoice Type = CheckedTypes();
        Info->ApplyInstallType(Type.Full, Type.Typical, Type.Minimal, Type.Custom);
      }
      break;
    case pgType: {
      const TTypeChoice Type = CheckedTypes();
      Info->ApplyInstallType(Type.Full, Type.Typical, Type.Minimal, Type.Custom);
      break;
    }
    case pgComponents:
      if (NoComponentSelected(*Info)) throw Exception(Msg::NoComponentSelected);
      break;
    case pgGroup:
      if (!IsProgramGroupName(WindowText(edtProgramGroup)))
        throw Exception(FormatMessage1(Msg::BadProgramGroup, WindowText(edtProgramGroup)));
      Info->ProgramGroup = WindowText(edtProgramGroup);
      break;
    default:
      break;
  }
}

void TfrmWork::RunBeforePrograms() {
  for (const auto& File : Info->Files) {
    if (!File->RunBefore) continue;
    // Written to this run's own folder and held there while it runs, then deleted. A missing
    // resource ends here silently; a file that cannot be written shows its error.
    if (!FRunFolder.Created()) FRunFolder.Create(GetTempDir());
    const std::string Program = FRunFolder.WriteResource("RUNBEFORE" + std::to_string(File->ItemNo), cRunBeforeName);
    for (const std::string& Command : RunBeforeCommands(*Info, *File, Program)) {
      try {
        RunProgram(Command, "", true, SW_SHOWDEFAULT);
      } catch (const std::exception& Error) {
        ShowError(Error.what());
      }
    }
    FRunFolder.Discard(cRunBeforeName);
  }
}

void TfrmWork::EnterPage() {
  if (FPage != pgWelcome) CreateChoicePages();
  switch (FPage) {
    case pgWelcome: ShowPanel(Panels[pgWelcome]); break;
    case pgLicense: ShowLicensePage(); break;
    case pgReadme: ShowReadmePage(); break;
    case pgDirectory: ShowDirectoryPage(); break;
    case pgType: ShowPanel(Panels[pgType]); break;
    case pgComponents: ShowComponentsPage(); break;
    case pgGroup: ShowGroupPage(); break;
    case pg1C: ShowPanel(Panels[pg1C]); break;
    case pgProgress:
      RunInstallation();
      // Nothing was changed: the download has to be fetched again.
      if (FPayloadDamaged) return Close(exitNotStarted);
      // The run is over: the program moves on to the finish page itself.
      FPage = StepPage(*Info, FPage, 1, CheckedTypes().Custom);
      EnterPage();
      return;
    case pgFinish: ShowFinishPage(); return;
    default: Close(FInstallSucceeded ? exitSucceeded : exitFailed); return;
  }
  EnableWindow(btnBack, BackEnabled(FPage));
  EnableWindow(btnNext, NextEnabledOnEntry(FPage));
  HWND Focus = GetFocus();
  if (!Focus || !IsWindowVisible(Focus) || !IsWindowEnabled(Focus))
    SetFocus(IsWindowEnabled(btnNext) ? btnNext : btnCancel);
}

void TfrmWork::RunInstallation() {
  ShowPanel(PagePanel(pgProgress));
  EnableWindow(btnNext, FALSE);
  EnableWindow(btnBack, FALSE);
  SetFocus(btnCancel);
  RedrawWindow(Handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  FRunning = true;
  try {
    FExecutor = std::make_unique<TExecutor>(*Info, *this, FRegistry, CabinetLibrary, FRegistrationProgram);
    // Written ahead of every change, so that a run killed in the middle is undone by the next
    // one; without it the run is still undone at once when it fails.
    DWORD Error = ERROR_SUCCESS;
    if (const HANDLE Journal = FRunFolder.CreateWritable(cJournalName, Error))
      FExecutor->KeepJournal(JournalFileStore(Journal, FRunFolder.Path() + cJournalName));
    else
      LogLine("no journal on disk: " + SystemErrorMessage(Error));
    // The digests mksetup recorded of the cabinets it made; a program made otherwise has none.
    const void* Digests = nullptr;
    unsigned long DigestsSize = 0;
    if (FindProgramResource("CABDIGESTS", Digests, DigestsSize))
      FExecutor->CabinetDigests = ParseCabinetDigests({static_cast<const char*>(Digests), DigestsSize});
    FExecutor->CabinetsCarried = FCarried.Size != 0;
    FExecutor->Execute();
  } catch (...) {
    // The worker reports its own errors; whatever escapes only means the run is incomplete.
  }
  FInstallSucceeded = FExecutor && FExecutor->Succeeded;
  FPayloadDamaged = FExecutor && FExecutor->PayloadDamaged;
  // The worker has logged each of them as it went.
  FAnySkipped = FExecutor && !FExecutor->SkippedFiles.empty();
  FFinishText.clear();
  if (FExecutor && FExecutor->RolledBack) {
    std::string Left;
    for (const std::string& Item : FExecutor->UndoLeft) Left += (Left.empty() ? Msg::RolledBackPart : ", ") + Item;
    FFinishText = FormatMessage1(Msg::FinishRolledBack, Left.empty() ? Msg::RolledBackAll : Left);
  }
  FExecutor.reset();
  // Undone or kept: nothing is left for a later run to do.
  FRunFolder.Discard(cJournalName);
  FRunning = false;
}

void TfrmWork::ShowFinishPage() {
  PagePanel(pgFinish);
  EnableWindow(btnNext, FALSE);
  EnableWindow(btnBack, FALSE);
  SetWindowTextW(btnCancel, WideText(Msg::FinishButton).c_str());
  const bool Restart = OfferRestart(FInstallSucceeded, Info->DialogReboot);
  SetChecked(radioReboot, false);
  SetChecked(radioNoReboot, Restart);
  for (HWND Control : {Label26, radioReboot, radioNoReboot}) ShowWindow(Control, Restart ? SW_SHOW : SW_HIDE);
  SetWindowTextW(lblDoneMessage,
                 LinesText(FFinishText.empty() ? FinishText(FInstallSucceeded, Info->DialogReboot) : FFinishText).c_str());
  ShowPanel(Panels[pgFinish]);
  SetFocus(btnCancel);
}

void TfrmWork::btnCancelClick(bool FromButton) {
  if (!Handle) return;
  auto Confirmed = [this] {
    return AppMessageBox(Handle, Msg::GiveUpQuestion, Msg::ExitCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) ==
           IDYES;
  };
  // A running installation, attended or not, stops at the worker's next check; the window
  // moves on (or closes) once the run has returned.
  if (FExecutor) {
    if (Confirmed() && FExecutor) FExecutor->Cancelled = true;
    return;
  }
  // Only a restart the finish page offered and the user chose, confirmed with the button itself,
  // counts: Escape or closing the window leaves the machine running.
  const bool Restart = FromButton && OfferRestart(FInstallSucceeded, Info->DialogReboot) && Checked(radioReboot);
  switch (CancelAction(FPage, Info->DialogReboot, Restart)) {
    case TCancelAction::AskThenClose:
    case TCancelAction::AskThenStopRun:
      if (Confirmed()) Close(exitFailed);
      break;
    case TCancelAction::Close:
      Close(FInstallSucceeded ? exitSucceeded : exitFailed);
      break;
    case TCancelAction::RestartThenClose:
      RequestRestart();
      Close(exitSucceeded);
      break;
  }
}

void TfrmWork::Close(int Code) {
  ExitCode = Code;
  DestroyAtExit();
}

void TfrmWork::HandlerFailed(const char* Text) { ShowError(Text); }

// Pages are panels; their controls' notifications belong to the wizard.
LRESULT CALLBACK TfrmWork::PanelProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      return SendMessageW(GetParent(Wnd), Msg, WParam, LParam);
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

LRESULT CALLBACK TfrmWork::ControlProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam, UINT_PTR, DWORD_PTR Data) {
  auto* Form = reinterpret_cast<TfrmWork*>(Data);
  // The controls' handlers change the model: guarded like the window's own.
  if (Form && Form->Handle && Form->Guarded(Msg, [&] { return LRESULT(Form->ControlMessage(Wnd, Msg, WParam, LParam)); }))
    return 0;
  return DefSubclassProc(Wnd, Msg, WParam, LParam);
}

LRESULT TfrmWork::WindowMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_SHOWWINDOW:
      // The first show acts once the window is really on screen.
      if (WParam && !FShown) {
        FShown = true;
        PostMessageW(Handle, cmFirstShow, 0, 0);
      }
      break;
    case cmFirstShow:
      CMShowingChanged();
      return 0;
    case WM_TIMER:
      if (WParam != cChoicePagesTimer) break;
      KillTimer(Handle, cChoicePagesTimer);
      if (!PrepareCabinetLibrary()) return 0;
      RunAfterFirstPage();
      CreateChoicePages();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT Paint;
      HDC Dc = BeginPaint(Handle, &Paint);
      FormPaint(Dc);
      EndPaint(Handle, &Paint);
      return 0;
    }
    case WM_ACTIVATE:
      // Activation handed over by the background window, or coming back from another program,
      // returns the focus to where the user left it.
      if (LOWORD(WParam) == WA_INACTIVE) {
        HWND Focus = GetFocus();
        if (Focus && IsChild(Handle, Focus)) FLastFocus = Focus;
      } else {
        HWND Focus = FLastFocus && IsWindowVisible(FLastFocus) && IsWindowEnabled(FLastFocus) ? FLastFocus : nullptr;
        if (!Focus) Focus = IsWindowEnabled(btnNext) ? btnNext : btnCancel;
        SetFocus(Focus);
      }
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(idBtnNext, DC_HASDEFID);
    case WM_CTLCOLORSTATIC: {
      HDC Dc = reinterpret_cast<HDC>(WParam);
      HWND Control = reinterpret_cast<HWND>(LParam);
      if (Control == memoLicense || Control == memoReadme) {
        SetBkColor(Dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      SetBkMode(Dc, TRANSPARENT);
      if (Control == lblProductName) SetTextColor(Dc, RGB(0, 0, 128));
      if (Control == lblDownloadWebPage) SetTextColor(Dc, RGB(0, 0, 255));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_NOTIFY: {
      const auto& Header = *reinterpret_cast<const NMHDR*>(LParam);
      if (stvDirectory.Notify(Header)) {
        if (Header.code == TVN_SELCHANGEDW) stvDirectoryChange();
        return 0;
      }
      if (Header.hwndFrom == treeComps && Header.code == TVN_ITEMEXPANDINGW &&
          (reinterpret_cast<const NMTREEVIEWW&>(Header).action & TVE_COLLAPSE))
        FCollapsing = true;
      if ((Header.hwndFrom == treeComps || Header.hwndFrom == tree1S) && Header.code == TVN_BEGINLABELEDITW)
        return TRUE;  // node texts are not for editing
      break;
    }
    case WM_COMMAND: {
      const int Id = LOWORD(WParam), Code = HIWORD(WParam);
      switch (Id) {
        case idBtnNext:
          if (IsWindowEnabled(btnNext)) btnNextBackClick(btnNext);
          return 0;
        case idBtnBack:
          if (IsWindowEnabled(btnBack)) btnNextBackClick(btnBack);
          return 0;
        case idBtnCancel:
          btnCancelClick(true);
          return 0;
        case IDCANCEL:  // Escape
          btnCancelClick(false);
          return 0;
        case idRadioYes:
        case idRadioNo:
          // Either answer lets the user go on; refusing ends the program on Next.
          if (Checked(radioYes) || Checked(radioNo)) EnableWindow(btnNext, TRUE);
          return 0;
        case idDownloadLink:
          if (Code == STN_CLICKED)
            OpenAddress(ToWide(Info->DownloadWebPage));
          return 0;
        case idBtnDirDefault:
          Info->InstallDir = Info->Directory;
          SetWindowTextW(edtDirectory, ToWide(Info->Directory).c_str());
          return 0;
        case idList1C:
          if (Code == LBN_SELCHANGE) lbx1CForSelectDirectoryClick();
          return 0;
        case idLstProgram:
          if (Code == LBN_SELCHANGE) {
            const LRESULT Index = SendMessageW(lstProgram, LB_GETCURSEL, 0, 0);
            if (Index >= 0) {
              std::wstring Name(static_cast<std::size_t>(SendMessageW(lstProgram, LB_GETTEXTLEN, Index, 0)) + 1, L'\0');
              Name.resize(static_cast<std::size_t>(
                  SendMessageW(lstProgram, LB_GETTEXT, Index, reinterpret_cast<LPARAM>(Name.data()))));
              SetWindowTextW(edtProgramGroup, Name.c_str());
            }
          }
          return 0;
        case idBtnProgramDefault:
          SetWindowTextW(edtProgramGroup, ToWide(Info->GroupName).c_str());
          return 0;
      }
      break;
    }
    case WM_CLOSE:
      btnCancelClick(false);
      return 0;
    case WM_DESTROY:
      FreeCabinetLibrary();
      // Nothing of the run stays in the temporary folder, whichever way it ends.
      FRunFolder.Remove();
      Info.reset();
      FSelection.reset();
      PostQuitMessage(ExitCode);
      return 0;
  }
  return DefWindowProcW(Handle, Msg, WParam, LParam);
}

void TfrmWork::SetCaption(const std::string& Text) { SetWindowTextW(lblOperation, ToWide(Text).c_str()); }

void TfrmWork::RepaintCaption(const std::string& Text) {
  // Painting costs more than writing a small file: the label shows a file at most every 50 ms,
  // which is still more than anyone reads.
  const DWORD Now = GetTickCount();
  if (Now - FCaptionPainted < 50) return;
  FCaptionPainted = Now;
  SetWindowTextW(lblOperation, ToWide(Text).c_str());
  UpdateWindow(lblOperation);
}

void TfrmWork::SetProgress(std::int64_t Position, std::int64_t Maximum) {
  // The bar's own range is 32-bit; sizes of a large product are not.
  const std::int64_t Permille = Maximum > 0 ? Position * 1000 / Maximum : 0;
  // Painted at most every 50 ms as well, and always when it is full.
  const DWORD Now = GetTickCount();
  if (Permille == FPermille || (Now - FBarPainted < 50 && Permille < 1000)) return;
  FPermille = Permille;
  FBarPainted = Now;
  SendMessageW(barProgress, PBM_SETPOS, static_cast<WPARAM>(Permille), 0);
}

void TfrmWork::ProcessMessages() {
  MSG Message;
  while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
    if (Message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(Message.wParam));
      return;
    }
    if (!Handle || !IsDialogMessageW(Handle, &Message)) {
      TranslateMessage(&Message);
      DispatchMessageW(&Message);
    }
  }
}

int TfrmWork::ShowMessage(const std::string& Caption, const std::string& Text, unsigned Flags) {
  return AppMessageBox(Handle, Text, Caption, Flags, false);  // the worker logs its boxes itself
}

bool TfrmWork::AskNextDisk(std::string& Folder, const std::string& FileName, bool WrongDisk) {
  return setup::AskNextDisk(Handle, Folder, FileName, WrongDisk);
}

}  // namespace setup
