#include "app/untWork.h"

#include <shellapi.h>

#include "app/AppWin.h"
#include "app/StateImages.h"
#include "app/untQuest.h"
#include "cabinet/CabinetWin.h"
#include "model/StartupWin.h"
#include "system/CommandLine.h"
#include "system/Errors.h"
#include "system/ProcessWin.h"
#include "system/ResourceWin.h"
#include "system/SystemWin.h"
#include "system/Text.h"
#include "system/WideWin.h"

namespace setup {
namespace {

const wchar_t* const cClassName = L"TfrmWork";
const wchar_t* const cPanelClass = L"TfrmWorkPanel";
constexpr UINT cmFirstShow = WM_APP + 1;
constexpr int cClientWidth = 632, cClientHeight = 372;
// Every page occupies the same panel area.
constexpr int cPageLeft = 186, cPageTop = 52, cPageWidth = 449, cPageHeight = 269;
// Controls inside a page.
constexpr int cLeft = 8, cWidth = cPageWidth - 16;

enum : int {
  idBtnBack = 201,
  idBtnNext,
  idBtnCancel,
  idDownloadLink = 301,
  idRadioYes,
  idRadioNo,
  idDirectoryTree,
  idList1C,
  idEdtDirectory,
  idBtnDirDefault,
  idTreeComps,
  idEdtProgramGroup,
  idBtnProgramDefault,
  idLstProgram,
  idTree1S,
  idRadioReboot,
  idRadioNoReboot
};

// Subclass ids of the controls whose input the wizard filters.
enum : UINT_PTR { scDirectoryEdit = 1, scComponents, sc1C, scLink };

HWND Label(HWND Parent, const std::string& Text, int Top, int Height, int Left = cLeft, int Width = cWidth) {
  return CreateChild(Parent, L"STATIC", LinesText(Text), SS_LEFT | SS_NOPREFIX, Left, Top, Width, Height, 0,
                     DialogFont());
}

HWND Radio(HWND Parent, const char* Text, int Top, int Id, bool First) {
  return CreateChild(Parent, L"BUTTON", WideText(Text), BS_AUTORADIOBUTTON | WS_TABSTOP | (First ? WS_GROUP : 0),
                     cLeft, Top, cWidth, 18, Id, DialogFont());
}

HWND Memo(HWND Parent, int Top, int Height) {
  HWND Edit = CreateChild(Parent, L"EDIT", L"", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
                          cLeft, Top, cWidth, Height, 0, DialogFont());
  SetWindowLongPtrW(Edit, GWL_EXSTYLE, GetWindowLongPtrW(Edit, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
  SetWindowPos(Edit, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  return Edit;
}

bool Checked(HWND Button) { return SendMessageW(Button, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void SetChecked(HWND Button, bool Value) {
  SendMessageW(Button, BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string JoinLines(const std::vector<std::string>& Lines) {
  std::string Text;
  for (const std::string& Line : Lines) Text += Line + "\r\n";
  return Text;
}

HTREEITEM AddNode(HWND Tree, HTREEITEM Parent, const std::string& Text, LPARAM Data, int Image) {
  const std::wstring Wide = ToWide(Text);
  TVINSERTSTRUCTW Insert{};
  Insert.hParent = Parent;
  Insert.hInsertAfter = TVI_LAST;
  Insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE;
  Insert.item.pszText = const_cast<wchar_t*>(Wide.c_str());
  Insert.item.lParam = Data;
  Insert.item.stateMask = TVIS_STATEIMAGEMASK;
  Insert.item.state = INDEXTOSTATEIMAGEMASK(Image > 0 ? Image : 0);
  return TreeView_InsertItem(Tree, &Insert);
}

LPARAM NodeData(HWND Tree, HTREEITEM Node) {
  TVITEMW Item{};
  Item.mask = TVIF_PARAM;
  Item.hItem = Node;
  return Node && TreeView_GetItem(Tree, &Item) ? Item.lParam : 0;
}

int NodeImage(HWND Tree, HTREEITEM Node) {
  return static_cast<int>((TreeView_GetItemState(Tree, Node, TVIS_STATEIMAGEMASK) & TVIS_STATEIMAGEMASK) >> 12);
}

// The node whose state picture lies under a point of the tree's client area, or null.
HTREEITEM StateIconAt(HWND Tree, LPARAM Point) {
  TVHITTESTINFO Hit{};
  Hit.pt = {static_cast<short>(LOWORD(Point)), static_cast<short>(HIWORD(Point))};
  HTREEITEM Node = TreeView_HitTest(Tree, &Hit);
  return (Hit.flags & TVHT_ONITEMSTATEICON) ? Node : nullptr;
}

// Shutting the machine down for the restart the user chose. Test builds record the request
// instead, so that no test can restart the machine it runs on.
void RequestRestart() {
  EnableShutdownPrivileges();
#ifdef SETUP_RECORD_RESTART
  const std::wstring Record = ToWide(GetTempDir() + "restart-request.txt");
  HandleGuard File(CreateFileW(Record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD Written = 0;
  WriteFile(File.Get(), "EWX_REBOOT\r\n", 12, &Written, nullptr);
#else
  ExitWindowsEx(EWX_REBOOT, 0);
#endif
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

bool TfrmWork::Create() {
  HINSTANCE Instance = GetModuleHandleW(nullptr);
  RegisterWindowClass(cClassName, WindowProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                      LoadIconW(nullptr, IDI_APPLICATION));
  RegisterWindowClass(cPanelClass, PanelProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  // A fixed dialog frame without border icons: the wizard is left through its buttons.
  const DWORD Style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
  RECT Frame = {0, 0, cClientWidth, cClientHeight};
  AdjustWindowRectEx(&Frame, Style, FALSE, WS_EX_DLGMODALFRAME);
  const int Width = Frame.right - Frame.left, Height = Frame.bottom - Frame.top;
  Handle = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, cClassName,
                           WideText(Msg::ApplicationTitle).c_str(), Style,
                           (GetSystemMetrics(SM_CXSCREEN) - Width) / 2, (GetSystemMetrics(SM_CYSCREEN) - Height) / 2,
                           Width, Height, nullptr, nullptr, Instance, this);
  if (!Handle) return false;
  if (!FormCreate()) {
    DestroyWindow(Handle);
    return false;
  }
  return true;
}

bool TfrmWork::FormCreate() {
  Info = std::make_unique<TInstallInfo>(&FRegistry);
  try {
    InitEnvironment(*Info, FRegistry, ProgramArguments());
  } catch (const EAbort&) {
    // No script in the program: nothing to install and nothing to say.
    return false;
  } catch (const std::exception& Error) {
    // A partly read script would install a partial product: report it and end.
    MessageBoxW(Handle, LinesText(Error.what()).c_str(), WideText(Msg::ApplicationTitle).c_str(),
                MB_OK | MB_ICONERROR);
    return false;
  }
  FSelection = std::make_unique<TComponentSelection>(*Info);
  FLogo = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), L"LOGO", IMAGE_BITMAP, 0, 0, 0));
  FStateImages = CreateStateImages();
  CreateFrame();
  CreateWelcomePage();
  CreateLicensePage();
  CreateReadmePage();
  CreateDirectoryPage();
  CreateTypePage();
  CreateComponentsPage();
  CreateGroupPage();
  Create1CPage();
  CreateProgressPage();
  CreateFinishPage();
  Fill1CTree();
  FillComponentTree();

  const TTypeChoice Type = PreselectInstallType(*Info, GetSwitchValue(ProgramArguments(), "/TYPE=", ""));
  SetChecked(radioFull, Type.Full);
  SetChecked(radioTypical, Type.Typical);
  SetChecked(radioMinimal, Type.Minimal);
  SetChecked(radioCustom, Type.Custom);

  SetWindowTextW(edtProgramGroup, ToWide(Info->ProgramGroup).c_str());
  SetWindowTextW(edtDirectory, ToWide(Info->InstallDir).c_str());
  // The folder tree is filled, and shows InstallDir, when its page is first entered.

  F1CTitles = Read1CTitles(FRegistry);
  for (const T1CTitle& Title : F1CTitles)
    SendMessageW(lbx1CForSelectDirectory, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(Title.Title).c_str()));
  const bool Show1CList = Info->SelectDirectoryFrom1C && !F1CTitles.empty();
  ShowWindow(pnl1CForSelectDirectory, Show1CList ? SW_SHOW : SW_HIDE);
  // Without the list the folder tree takes its place.
  SetWindowPos(stvDirectory.Handle, nullptr, 0, 0, cWidth, Show1CList ? 80 : 150, SWP_NOMOVE | SWP_NOZORDER);
  FPage = pgNone;
  return true;
}

HWND TfrmWork::CreatePanel() {
  return CreateWindowExW(WS_EX_CONTROLPARENT, cPanelClass, L"", WS_CHILD | WS_CLIPSIBLINGS, cPageLeft, cPageTop,
                         cPageWidth, cPageHeight, Handle, nullptr, GetModuleHandleW(nullptr), this);
}

void TfrmWork::CreateFrame() {
  HFONT Font = DialogFont();
  btnBack = CreateChild(Handle, L"BUTTON", WideText(Msg::BackButton), WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, 368,
                        338, 80, 25, idBtnBack, Font);
  btnNext = CreateChild(Handle, L"BUTTON", WideText(Msg::NextButton), WS_TABSTOP | BS_DEFPUSHBUTTON, 452, 338, 80, 25,
                        idBtnNext, Font);
  btnCancel = CreateChild(Handle, L"BUTTON", WideText(Msg::CancelButton), WS_TABSTOP | BS_PUSHBUTTON, 544, 338, 80,
                          25, idBtnCancel, Font);
  CreateChild(Handle, L"STATIC", L"", SS_ETCHEDHORZ, 186, 328, 440, 2, 0, Font);
  for (int Page = pgWelcome; Page <= pgFinish; ++Page) Panels[Page] = CreatePanel();
}

void TfrmWork::CreateWelcomePage() {
  HWND Panel = Panels[pgWelcome];
  Label(Panel, Msg::WelcomeHeading, 8, 30);
  HDC Screen = GetDC(nullptr);
  const int Pixels = GetDeviceCaps(Screen, LOGPIXELSY);
  ReleaseDC(nullptr, Screen);
  FProductFont = CreateFontW(-MulDiv(10, Pixels, 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial");
  lblProductName = CreateChild(Panel, L"STATIC", ToWide(Info->Description), SS_CENTER | SS_NOPREFIX, cLeft, 42,
                               cWidth, 36, 0, FProductFont);
  Label(Panel, Msg::WelcomeText, 86, 136);
  lblPromptDownloadWebPage = Label(Panel, Msg::DownloadPrompt, 226, 16);
  LOGFONTW Link{};
  GetObjectW(DialogFont(), sizeof(Link), &Link);
  Link.lfUnderline = TRUE;
  FLinkFont = CreateFontIndirectW(&Link);
  lblDownloadWebPage = CreateChild(Panel, L"STATIC", ToWide(Info->DownloadWebPage), SS_LEFT | SS_NOPREFIX | SS_NOTIFY,
                                   cLeft, 244, cWidth, 16, idDownloadLink, FLinkFont);
  SetWindowSubclass(lblDownloadWebPage, ControlProc, scLink, reinterpret_cast<DWORD_PTR>(this));
  if (Info->DownloadWebPage.empty()) {
    ShowWindow(lblPromptDownloadWebPage, SW_HIDE);
    ShowWindow(lblDownloadWebPage, SW_HIDE);
  }
}

void TfrmWork::CreateLicensePage() {
  HWND Panel = Panels[pgLicense];
  Label(Panel, Msg::LicenseHeading, 4, 42);
  memoLicense = Memo(Panel, 48, 156);
  radioYes = Radio(Panel, Msg::LicenseYes, 212, idRadioYes, true);
  radioNo = Radio(Panel, Msg::LicenseNo, 236, idRadioNo, false);
}

void TfrmWork::CreateReadmePage() {
  HWND Panel = Panels[pgReadme];
  Label(Panel, Msg::ReadmeHeading, 4, 42);
  memoReadme = Memo(Panel, 48, 214);
}

void TfrmWork::CreateDirectoryPage() {
  HWND Panel = Panels[pgDirectory];
  Label(Panel, Msg::DirectoryHeading, 4, 44);
  stvDirectory.Create(Panel, cLeft, 50, cWidth, 150, idDirectoryTree);
  pnl1CForSelectDirectory = CreateWindowExW(WS_EX_CONTROLPARENT, cPanelClass, L"", WS_CHILD, cLeft, 134, cWidth, 68,
                                            Panel, nullptr, GetModuleHandleW(nullptr), this);
  Label(pnl1CForSelectDirectory, Msg::Configurations1C, 0, 16, 0, cWidth);
  lbx1CForSelectDirectory = CreateChild(pnl1CForSelectDirectory, L"LISTBOX", L"",
                                        LBS_NOTIFY | WS_VSCROLL | WS_BORDER | WS_TABSTOP | LBS_NOINTEGRALHEIGHT, 0, 16,
                                        cWidth, 52, idList1C, DialogFont());
  Label(Panel, Msg::CurrentDirectory, 208, 16);
  edtDirectory = CreateChild(Panel, L"EDIT", L"", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, cLeft, 226, 330, 22,
                             idEdtDirectory, DialogFont());
  SetWindowSubclass(edtDirectory, ControlProc, scDirectoryEdit, reinterpret_cast<DWORD_PTR>(this));
  btnDirDefault = CreateChild(Panel, L"BUTTON", WideText(Msg::DefaultButton), BS_PUSHBUTTON | WS_TABSTOP, 344, 225,
                              97, 24, idBtnDirDefault, DialogFont());
}

void TfrmWork::CreateTypePage() {
  HWND Panel = Panels[pgType];
  Label(Panel, Msg::TypeHeading, 4, 28);
  struct {
    HWND* Button;
    bool Enabled;
    const char* Caption;
    const char* Text;
  } Types[] = {{&radioFull, Info->FullInstall, Msg::TypeFull, Msg::TypeFullText},
               {&radioTypical, Info->TypicalInstall, Msg::TypeTypical, Msg::TypeTypicalText},
               {&radioMinimal, Info->MinimalInstall, Msg::TypeMinimal, Msg::TypeMinimalText},
               {&radioCustom, Info->CustomInstall, Msg::TypeCustom, Msg::TypeCustomText}};
  // Only the enabled types show, stacked in this order; the others exist but stay hidden.
  int Top = 32;
  bool First = true;
  for (auto& Type : Types) {
    *Type.Button = Radio(Panel, Type.Caption, Type.Enabled ? Top : 0, 0, First);
    First = false;
    HWND Text = Label(Panel, Type.Text, Top + 18, 28, cLeft + 18, cWidth - 18);
    if (Type.Enabled) {
      Top += 48;
    } else {
      ShowWindow(*Type.Button, SW_HIDE);
      ShowWindow(Text, SW_HIDE);
    }
  }
}

void TfrmWork::CreateComponentsPage() {
  HWND Panel = Panels[pgComponents];
  Label(Panel, Msg::ComponentsHeading, 4, 18);
  treeComps = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                  TVS_SHOWSELALWAYS,
                              cLeft, 26, cWidth, 236, Panel, reinterpret_cast<HMENU>(idTreeComps),
                              GetModuleHandleW(nullptr), nullptr);
  SendMessageW(treeComps, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
  TreeView_SetImageList(treeComps, FStateImages, TVSIL_STATE);
  SetWindowSubclass(treeComps, ControlProc, scComponents, reinterpret_cast<DWORD_PTR>(this));
}

void TfrmWork::CreateGroupPage() {
  HWND Panel = Panels[pgGroup];
  Label(Panel, Msg::GroupHeading, 4, 30);
  edtProgramGroup = CreateChild(Panel, L"EDIT", L"", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, cLeft, 38, 330, 22,
                                idEdtProgramGroup, DialogFont());
  btnProgramDefault = CreateChild(Panel, L"BUTTON", WideText(Msg::DefaultButton), BS_PUSHBUTTON | WS_TABSTOP, 344, 37,
                                  97, 24, idBtnProgramDefault, DialogFont());
  Label(Panel, Msg::ExistingGroups, 70, 16);
  lstProgram = CreateChild(Panel, L"LISTBOX", L"", LBS_NOTIFY | WS_VSCROLL | WS_BORDER | WS_TABSTOP | LBS_NOINTEGRALHEIGHT,
                           cLeft, 88, cWidth, 174, idLstProgram, DialogFont());
}

void TfrmWork::Create1CPage() {
  HWND Panel = Panels[pg1C];
  Label(Panel, Msg::Products1CHeading, 4, 70);
  tree1S = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                           WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                               TVS_SHOWSELALWAYS,
                           cLeft, 76, cWidth, 186, Panel, reinterpret_cast<HMENU>(idTree1S), GetModuleHandleW(nullptr),
                           nullptr);
  SendMessageW(tree1S, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
  TreeView_SetImageList(tree1S, FStateImages, TVSIL_STATE);
  SetWindowSubclass(tree1S, ControlProc, sc1C, reinterpret_cast<DWORD_PTR>(this));
}

void TfrmWork::CreateProgressPage() {
  HWND Panel = Panels[pgProgress];
  Label(Panel, Msg::ProgressHeading, 8, 60);
  Label(Panel, Msg::CurrentOperation, 84, 16);
  lblOperation = Label(Panel, "", 102, 32);
  Label(Panel, Msg::ProgressLabel, 146, 16);
  barProgress = CreateChild(Panel, PROGRESS_CLASSW, L"", PBS_SMOOTH, cLeft, 166, cWidth, 18, 0, nullptr);
  SendMessageW(barProgress, PBM_SETRANGE32, 0, 1000);
  Label(Panel, Msg::ProgressCancelHint, 206, 32);
}

void TfrmWork::CreateFinishPage() {
  HWND Panel = Panels[pgFinish];
  lblDoneMessage = Label(Panel, "", 8, 60);
  Label26 = Label(Panel, Msg::RestartChoice, 84, 16);
  radioReboot = Radio(Panel, Msg::RestartNow, 104, idRadioReboot, true);
  radioNoReboot = Radio(Panel, Msg::RestartLater, 126, idRadioNoReboot, false);
}

void TfrmWork::FillComponentTree() {
  int TopLevel = 0;
  for (const auto& Group : Info->Groups) {
    if (Group->Hidden) continue;
    // A group under a hidden parent shows at the top, but only groups without a parent count.
    HTREEITEM Parent = Group->Parent && Group->Parent->TreeNode ? static_cast<HTREEITEM>(Group->Parent->TreeNode)
                                                                : TVI_ROOT;
    if (!Group->Parent) ++TopLevel;
    Group->TreeNode = AddNode(treeComps, Parent, Group->Caption, reinterpret_cast<LPARAM>(Group.get()), 0);
  }
  if (TopLevel == 1) TreeView_Expand(treeComps, TreeView_GetRoot(treeComps), TVE_EXPAND);
}

void TfrmWork::Fill1CTree() {
  const struct {
    const char* Caption;
    int Image;
    TOwnedList<T1SInfo>* Products;
  } Families[] = {{Msg::Product1C75, 4, &Info->Products75},
                  {Msg::Product1C77, 4, &Info->Products77},
                  {Msg::Product1C8, 5, &Info->Products8}};
  for (const auto& Family : Families) {
    HTREEITEM Top = AddNode(tree1S, TVI_ROOT, Family.Caption, 0, Family.Image);
    for (const auto& Product : *Family.Products)
      Product->TreeNode = AddNode(tree1S, Top, Product->Name, reinterpret_cast<LPARAM>(Product.get()), 1);
    TreeView_Expand(tree1S, Top, TVE_EXPAND);
  }
}

void TfrmWork::Show() {
  ShowWindow(Handle, SW_SHOW);
  SetForegroundWindow(Handle);
}

void TfrmWork::HideAllPages() {
  for (HWND Panel : Panels)
    if (Panel) ShowWindow(Panel, SW_HIDE);
}

void TfrmWork::ShowPanel(HWND Panel) {
  HideAllPages();
  SetWindowPos(Panel, nullptr, cPageLeft, cPageTop, cPageWidth, cPageHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(Panel, SW_SHOW);
}

bool TfrmWork::ExtractCabinetLibrary(std::string& Folder) {
  Folder = GetTempDir();
  SaveResourceToFile("CABINET", Folder + "CABINET.DLL");
  return true;
}

void TfrmWork::CMShowingChanged() {
  try {
    std::string Folder;
    ExtractCabinetLibrary(Folder);
    LoadCabinetLibrary(Folder);
  } catch (const std::exception&) {
    // Another running copy holds the library loaded, so its file cannot be written anew.
    MessageBoxW(Handle, WideText(Msg::AlreadyRunning).c_str(), WideText(Msg::ApplicationTitle).c_str(),
                MB_OK | MB_ICONERROR);
    Close(exitNotStarted);
    return;
  }
  if (UpperAscii(GetSwitchValue(ProgramArguments(), "/AUTO=", "OFF")) == "ON") {
    const TTypeChoice Type = CheckedTypes();
    Info->ApplyInstallType(Type.Full, Type.Typical, Type.Minimal, Type.Custom);
    RunInstallation();
    Close(FInstallSucceeded ? exitSucceeded : exitFailed);
    return;
  }
  SetFocus(btnNext);
  btnNextBackClick(btnNext);
}

TTypeChoice TfrmWork::CheckedTypes() const {
  return {Checked(radioFull), Checked(radioTypical), Checked(radioMinimal), Checked(radioCustom)};
}

void TfrmWork::ShowError(const std::string& Text) {
  MessageBoxW(Handle, LinesText(Text).c_str(), WideText(Msg::ApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
}

void TfrmWork::btnNextBackClick(HWND Sender) {
  if (!Handle || FRunning) return;
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
  FPage = StepPage(*Info, FPage, Step, Checked(radioCustom));
  EnterPage();
}

void TfrmWork::LeavePage() {
  switch (FPage) {
    case pgLicense:
      if (Checked(radioNo)) {
        MessageBoxW(Handle, LinesText(Msg::LicenseRefused).c_str(), WideText(Msg::ExitCaption).c_str(),
                    MB_OK | MB_ICONINFORMATION);
        Close(exitFailed);
      }
      break;
    case pgDirectory:
      Info->InstallDir = WindowText(edtDirectory);
      RunBeforePrograms();
      // Without a type page the single offered type (or the full one) is what the user gets,
      // as in an unattended run.
      if (!PageEnabled(*Info, pgType, Checked(radioCustom))) {
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
      Info->ProgramGroup = WindowText(edtProgramGroup);
      break;
    default:
      break;
  }
}

void TfrmWork::RunBeforePrograms() {
  for (const auto& File : Info->Files) {
    if (!File->RunBefore) continue;
    const std::string Program = GetTempDir() + "runbefore.exe";
    // A missing resource ends here silently; a file that cannot be written shows its error.
    SaveResourceToFile("RUNBEFORE" + std::to_string(File->ItemNo), Program);
    for (const std::string& Command : RunBeforeCommands(*File, Program)) {
      try {
        RunProgram(Command, "", true, SW_SHOWDEFAULT);
      } catch (const std::exception& Error) {
        ShowError(Error.what());
      }
    }
  }
}

void TfrmWork::EnterPage() {
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
      // The run is over: the program moves on to the finish page itself.
      FPage = StepPage(*Info, FPage, 1, Checked(radioCustom));
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

void TfrmWork::ShowLicensePage() {
  SetWindowTextW(memoLicense, ToWide(JoinLines(Info->License)).c_str());
  SetChecked(radioYes, false);
  SetChecked(radioNo, false);
  ShowPanel(Panels[pgLicense]);
}

void TfrmWork::ShowReadmePage() {
  SetWindowTextW(memoReadme, ToWide(JoinLines(Info->Readme)).c_str());
  ShowPanel(Panels[pgReadme]);
}

void TfrmWork::ShowDirectoryPage() {
  if (!stvDirectory.Filled()) {
    stvDirectory.Fill();
    // InstallDir is still the start-up value here. A folder that does not exist yet cannot be
    // shown in the tree; the edit keeps the path.
    stvDirectory.SelectPath(Info->InstallDir);
  }
  ShowPanel(Panels[pgDirectory]);
}

void TfrmWork::ShowComponentsPage() {
  for (const auto& Group : Info->Groups)
    if (Group->TreeNode) SetNodeImage(treeComps, static_cast<HTREEITEM>(Group->TreeNode), Group->State);
  FSelection->TakeChangedGroups();
  ShowPanel(Panels[pgComponents]);
}

void TfrmWork::ShowGroupPage() {
  FillProgramGroups();
  ShowPanel(Panels[pgGroup]);
}

void TfrmWork::FillProgramGroups() {
  SendMessageW(lstProgram, LB_RESETCONTENT, 0, 0);
  const std::string& Programs = Info->Environment.ProgramsDir;
  // Without a Programs folder there is nothing to list (an empty path would list the
  // program's current folder instead).
  if (Programs.empty()) return;
  WIN32_FIND_DATAW Data;
  HANDLE Find = FindFirstFileW(ToWide(Programs + "*.*").c_str(), &Data);
  if (Find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring Name = Data.cFileName;
    if (Name == L"." || Name == L"..") continue;
    if (HasAttributes(Programs + "\\" + FromWide(Name), FILE_ATTRIBUTE_DIRECTORY))
      SendMessageW(lstProgram, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Name.c_str()));
  } while (FindNextFileW(Find, &Data));
  FindClose(Find);
}

void TfrmWork::RunInstallation() {
  ShowPanel(Panels[pgProgress]);
  EnableWindow(btnNext, FALSE);
  EnableWindow(btnBack, FALSE);
  SetFocus(btnCancel);
  RedrawWindow(Handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  FRunning = true;
  try {
    FExecutor = std::make_unique<TExecutor>(*Info, *this, FRegistry, CabinetLibrary);
    FExecutor->Execute();
  } catch (...) {
    // The worker reports its own errors; whatever escapes only means the run is incomplete.
  }
  FInstallSucceeded = FExecutor && FExecutor->Succeeded;
  FExecutor.reset();
  FRunning = false;
}

void TfrmWork::ShowFinishPage() {
  EnableWindow(btnNext, FALSE);
  EnableWindow(btnBack, FALSE);
  SetWindowTextW(btnCancel, WideText(Msg::FinishButton).c_str());
  const bool Restart = OfferRestart(FInstallSucceeded, Info->DialogReboot);
  SetChecked(radioReboot, false);
  SetChecked(radioNoReboot, Restart);
  for (HWND Control : {Label26, radioReboot, radioNoReboot}) ShowWindow(Control, Restart ? SW_SHOW : SW_HIDE);
  SetWindowTextW(lblDoneMessage, LinesText(FinishText(FInstallSucceeded, Info->DialogReboot)).c_str());
  ShowPanel(Panels[pgFinish]);
  SetFocus(btnCancel);
}

void TfrmWork::btnCancelClick() {
  if (!Handle) return;
  auto Confirmed = [this] {
    return MessageBoxW(Handle, LinesText(Msg::GiveUpQuestion).c_str(), WideText(Msg::ExitCaption).c_str(),
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
  };
  // A running installation, attended or not, stops at the worker's next check; the window
  // moves on (or closes) once the run has returned.
  if (FExecutor) {
    if (Confirmed() && FExecutor) FExecutor->Cancelled = true;
    return;
  }
  // Only a restart the finish page offered and the user chose counts.
  const bool Restart = OfferRestart(FInstallSucceeded, Info->DialogReboot) && Checked(radioReboot);
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
  if (Handle) DestroyWindow(Handle);
}

void TfrmWork::stvDirectoryChange() {
  const std::string Path = stvDirectory.SelectedPath();
  if (!Path.empty()) SetWindowTextW(edtDirectory, ToWide(Path).c_str());
}

void TfrmWork::lbx1CForSelectDirectoryClick() {
  const LRESULT Index = SendMessageW(lbx1CForSelectDirectory, LB_GETCURSEL, 0, 0);
  if (Index < 0 || static_cast<std::size_t>(Index) >= F1CTitles.size()) return;
  stvDirectory.SelectPath(F1CTitles[static_cast<std::size_t>(Index)].Directory);
}

bool TfrmWork::edtDirectoryKeyPress(wchar_t Key) {
  const int Length = GetWindowTextLengthW(edtDirectory);
  std::wstring Text(static_cast<std::size_t>(Length) + 1, L'\0');
  Text.resize(static_cast<std::size_t>(GetWindowTextW(edtDirectory, Text.data(), Length + 1)));
  DWORD Start = 0;
  SendMessageW(edtDirectory, EM_GETSEL, reinterpret_cast<WPARAM>(&Start), 0);
  return AcceptDirectoryKey(std::u16string(Text.begin(), Text.end()), Start, static_cast<char16_t>(Key));
}

void TfrmWork::SetNodeImage(HWND Tree, HTREEITEM Node, int Image) {
  TreeView_SetItemState(Tree, Node, INDEXTOSTATEIMAGEMASK(Image > 0 ? Image : 0), TVIS_STATEIMAGEMASK);
}

void TfrmWork::ToggleComponent(HTREEITEM Node) {
  auto* Group = reinterpret_cast<TGroupInfo*>(NodeData(treeComps, Node));
  if (!Group) return;
  FSelection->ToggleComponent(*Group);
  RefreshChangedNodes();
}

void TfrmWork::RefreshChangedNodes() {
  for (TGroupInfo* Group : FSelection->TakeChangedGroups())
    if (Group->TreeNode) SetNodeImage(treeComps, static_cast<HTREEITEM>(Group->TreeNode), Group->State);
}

void TfrmWork::Toggle1CNode(HTREEITEM Node) {
  auto* Product = reinterpret_cast<T1SInfo*>(NodeData(tree1S, Node));
  if (!Product) return;  // the family nodes do not change
  const int Image = NodeImage(tree1S, Node);
  if (Image == 1) {
    SetNodeImage(tree1S, Node, 2);
    Product->Selected = false;
  } else if (Image == 2) {
    SetNodeImage(tree1S, Node, 1);
    Product->Selected = true;
  }
}

void TfrmWork::FormPaint(HDC Dc) {
  RECT Client;
  GetClientRect(Handle, &Client);
  const int CW = Client.right, CH = Client.bottom;
  HBRUSH White = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  RECT Strip = {0, 0, 170, CH};
  FillRect(Dc, &Strip, White);
  Strip = {0, 0, CW, 30};
  FillRect(Dc, &Strip, White);
  HGDIOBJ OldPen = SelectObject(Dc, GetStockObject(BLACK_PEN));
  const POINT Lines[][2] = {{{0, 3}, {CW, 3}}, {{0, 6}, {CW, 6}}, {{0, 364}, {170, 364}}, {{0, 367}, {170, 367}}};
  for (const auto& Line : Lines) {
    MoveToEx(Dc, Line[0].x, Line[0].y, nullptr);
    LineTo(Dc, Line[1].x, Line[1].y);
  }
  if (FLogo) {
    // The picture sits centred in its 150 x 340 frame; its bottom-left colour shows through.
    BITMAP Info{};
    GetObjectW(FLogo, sizeof(Info), &Info);
    HDC Memory = CreateCompatibleDC(Dc);
    HGDIOBJ Old = SelectObject(Memory, FLogo);
    const int W = std::min<int>(Info.bmWidth, 150), H = std::min<int>(Info.bmHeight, 340);
    const COLORREF Transparent = GetPixel(Memory, 0, Info.bmHeight - 1);
    TransparentBlt(Dc, 8 + (150 - W) / 2, 20 + (340 - H) / 2, W, H, Memory, 0, 0, W, H, Transparent);
    SelectObject(Memory, Old);
    DeleteDC(Memory);
  }
  HBRUSH Grey = CreateSolidBrush(RGB(128, 128, 128));
  HPEN GreyPen = CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
  RECT Bar = {162, 20, 182, CH};
  FillRect(Dc, &Bar, Grey);
  Bar = {162, 20, CW - 25, 40};
  FillRect(Dc, &Bar, Grey);
  SelectObject(Dc, GreyPen);
  HGDIOBJ OldBrush = SelectObject(Dc, Grey);
  const POINT Arrow[] = {{CW - 5, 30}, {CW - 25, 10}, {CW - 25, 50}};
  Polygon(Dc, Arrow, 3);
  SelectObject(Dc, OldBrush);
  SelectObject(Dc, OldPen);
  DeleteObject(GreyPen);
  DeleteObject(Grey);
}

LRESULT CALLBACK TfrmWork::WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_NCCREATE) {
    auto* Create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
  }
  auto* Form = reinterpret_cast<TfrmWork*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
  if (!Form || !Form->Handle) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  try {
    return Form->Handle_(Msg, WParam, LParam);
  } catch (const std::exception& Error) {
    Form->ShowError(Error.what());
    return 0;
  }
}

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
  if (Form && Form->Handle && Form->ControlMessage(Wnd, Msg, WParam, LParam)) return 0;
  return DefSubclassProc(Wnd, Msg, WParam, LParam);
}

// True when the wizard has dealt with the message and the control must not see it.
bool TfrmWork::ControlMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Wnd == edtDirectory) return Msg == WM_CHAR && !edtDirectoryKeyPress(static_cast<wchar_t>(WParam));
  if (Wnd == lblDownloadWebPage && Msg == WM_SETCURSOR) {
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return true;
  }
  if (Wnd == treeComps) {
    switch (Msg) {
      case WM_LBUTTONDOWN:
        // The press is judged where it happened, before the tree reacts to it.
        if (!FCollapsing)
          if (HTREEITEM Node = StateIconAt(treeComps, LParam)) ToggleComponent(Node);
        return false;
      case WM_LBUTTONUP:
      case WM_KEYUP:
        FCollapsing = false;
        return false;
      case WM_CHAR:
        if (WParam == L' ') {
          if (HTREEITEM Node = TreeView_GetSelection(treeComps)) ToggleComponent(Node);
          return true;
        }
        return false;
    }
    return false;
  }
  if (Wnd == tree1S) {
    switch (Msg) {
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
        if (HTREEITEM Node = StateIconAt(tree1S, LParam)) {
          TreeView_SelectItem(tree1S, Node);
          Toggle1CNode(Node);
        }
        return false;
      case WM_CHAR:
        if (WParam == L' ') {
          if (HTREEITEM Node = TreeView_GetSelection(tree1S)) Toggle1CNode(Node);
          return true;
        }
        return false;
    }
  }
  return false;
}

LRESULT TfrmWork::Handle_(UINT Msg, WPARAM WParam, LPARAM LParam) {
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
        case IDCANCEL:
          btnCancelClick();
          return 0;
        case idRadioYes:
        case idRadioNo:
          // Either answer lets the user go on; refusing ends the program on Next.
          if (Checked(radioYes) || Checked(radioNo)) EnableWindow(btnNext, TRUE);
          return 0;
        case idDownloadLink:
          if (Code == STN_CLICKED)
            ShellExecuteW(GetDesktopWindow(), L"open", ToWide(Info->DownloadWebPage).c_str(), nullptr, nullptr,
                          SW_SHOWNORMAL);
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
      btnCancelClick();
      return 0;
    case WM_DESTROY:
      FreeCabinetLibrary();
      Info.reset();
      FSelection.reset();
      Handle = nullptr;
      PostQuitMessage(ExitCode);
      return 0;
  }
  return DefWindowProcW(Handle, Msg, WParam, LParam);
}

void TfrmWork::SetCaption(const std::string& Text) { SetWindowTextW(lblOperation, ToWide(Text).c_str()); }

void TfrmWork::RepaintCaption(const std::string& Text) {
  SetWindowTextW(lblOperation, ToWide(Text).c_str());
  UpdateWindow(lblOperation);
}

void TfrmWork::SetProgress(std::int64_t Position, std::int64_t Maximum) {
  // The bar's own range is 32-bit; sizes of a large product are not.
  const std::int64_t Permille = Maximum > 0 ? Position * 1000 / Maximum : 0;
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
  return MessageBoxW(Handle, LinesText(Text).c_str(), ToWide(Caption).c_str(), Flags);
}

bool TfrmWork::AskNextDisk(std::string& Folder, const std::string& FileName) {
  return setup::AskNextDisk(Handle, Folder, FileName);
}

}  // namespace setup
