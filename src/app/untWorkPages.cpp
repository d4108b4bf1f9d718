// The wizard's pages: their controls, what they show on entry, and the handlers of their
// controls (folder tree, lists, the two state-picture trees, the directory edit's filter).
#include "app/untWork.h"

#include <algorithm>

#include "app/AppWin.h"
#include "app/WorkControls.h"
#include "system/SystemLibraryWin.h"
#include "system/SystemWin.h"
#include "system/Text.h"
#include "system/WideWin.h"

namespace setup {
using namespace work;
namespace {

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

// A tree's rows must be as high as its state pictures, which grow with the screen's resolution
// while the row height follows the font.
void FitRowsToStatePictures(HWND Tree, HIMAGELIST Images) {
  int Width = 0, Height = 0;
  if (Images && ImageList_GetIconSize(Images, &Width, &Height) && TreeView_GetItemHeight(Tree) < Height)
    TreeView_SetItemHeight(Tree, Height);
}

}  // namespace

HWND TfrmWork::CreatePanel() {
  return CreateWindowExW(WS_EX_CONTROLPARENT, cPanelClass, L"", WS_CHILD | WS_CLIPSIBLINGS, Scaled(cPageLeft),
                         Scaled(cPageTop), Scaled(cPageWidth), Scaled(cPageHeight), Handle, nullptr,
                         GetModuleHandleW(nullptr), this);
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
  Panels[pgWelcome] = CreatePanel();
}

HWND TfrmWork::PagePanel(int Page) {
  if (Panels[Page]) return Panels[Page];
  Panels[Page] = CreatePanel();
  switch (Page) {
    case pgLicense: CreateLicensePage(); break;
    case pgReadme: CreateReadmePage(); break;
    case pgProgress: CreateProgressPage(); break;
    case pgFinish: CreateFinishPage(); break;
  }
  return Panels[Page];
}

void TfrmWork::CreateWelcomePage() {
  HWND Panel = Panels[pgWelcome];
  Label(Panel, Msg::WelcomeHeading, 8, 30);
  FProductFont = CreateFontW(-MulDiv(10, ScreenDpi(), 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
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
  SetWindowSubclass(stvDirectory.Handle, ControlProc, scDirectoryTree, reinterpret_cast<DWORD_PTR>(this));
  pnl1CForSelectDirectory =
      CreateWindowExW(WS_EX_CONTROLPARENT, cPanelClass, L"", WS_CHILD, Scaled(cLeft), Scaled(134), Scaled(cWidth),
                      Scaled(68), Panel, nullptr, GetModuleHandleW(nullptr), this);
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
                              Scaled(cLeft), Scaled(26), Scaled(cWidth), Scaled(236), Panel,
                              reinterpret_cast<HMENU>(idTreeComps), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(treeComps, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
  TreeView_SetImageList(treeComps, FStateImages, TVSIL_STATE);
  FitRowsToStatePictures(treeComps, FStateImages);
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
                           Scaled(cLeft), Scaled(76), Scaled(cWidth), Scaled(186), Panel,
                           reinterpret_cast<HMENU>(idTree1S), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(tree1S, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
  TreeView_SetImageList(tree1S, FStateImages, TVSIL_STATE);
  FitRowsToStatePictures(tree1S, FStateImages);
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

void TfrmWork::ShowLicensePage() {
  PagePanel(pgLicense);
  SetWindowTextW(memoLicense, ToWide(JoinLines(Info->License)).c_str());
  SetChecked(radioYes, false);
  SetChecked(radioNo, false);
  ShowPanel(Panels[pgLicense]);
}

void TfrmWork::ShowReadmePage() {
  PagePanel(pgReadme);
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
  // The picture is laid out in pixels at 96 DPI and grows with the screen's resolution.
  RECT Strip = {0, 0, Scaled(170), CH};
  FillRect(Dc, &Strip, White);
  Strip = {0, 0, CW, Scaled(30)};
  FillRect(Dc, &Strip, White);
  HGDIOBJ OldPen = SelectObject(Dc, GetStockObject(BLACK_PEN));
  const POINT Lines[][2] = {{{0, Scaled(3)}, {CW, Scaled(3)}},
                            {{0, Scaled(6)}, {CW, Scaled(6)}},
                            {{0, Scaled(364)}, {Scaled(170), Scaled(364)}},
                            {{0, Scaled(367)}, {Scaled(170), Scaled(367)}}};
  for (const auto& Line : Lines) {
    MoveToEx(Dc, Line[0].x, Line[0].y, nullptr);
    LineTo(Dc, Line[1].x, Line[1].y);
  }
  if (FLogo) {
    // The picture sits centred in its 150 x 340 frame; its bottom-left colour shows through. The
    // frame grows with the screen's resolution, the vendor's picture keeps its own pixels.
    BITMAP Info{};
    GetObjectW(FLogo, sizeof(Info), &Info);
    HDC Memory = CreateCompatibleDC(Dc);
    HGDIOBJ Old = SelectObject(Memory, FLogo);
    // A larger picture shows its middle, cut evenly on both sides.
    const int FrameWidth = Scaled(150), FrameHeight = Scaled(340);
    const int W = std::min<int>(Info.bmWidth, FrameWidth), H = std::min<int>(Info.bmHeight, FrameHeight);
    const int SourceLeft = (Info.bmWidth - W) / 2, SourceTop = (Info.bmHeight - H) / 2;
    const COLORREF Transparent = GetPixel(Memory, 0, Info.bmHeight - 1);
    // From the system's own msimg32.dll (see SystemLibraryWin.h).
    static const auto Blend = SystemFunction<decltype(TransparentBlt)>(L"msimg32.dll", "TransparentBlt");
    if (Blend)
      Blend(Dc, Scaled(8) + (FrameWidth - W) / 2, Scaled(20) + (FrameHeight - H) / 2, W, H, Memory, SourceLeft,
            SourceTop, W, H, Transparent);
    SelectObject(Memory, Old);
    DeleteDC(Memory);
  }
  HBRUSH Grey = CreateSolidBrush(RGB(128, 128, 128));
  HPEN GreyPen = CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
  RECT Bar = {Scaled(162), Scaled(20), Scaled(182), CH};
  FillRect(Dc, &Bar, Grey);
  Bar = {Scaled(162), Scaled(20), CW - Scaled(25), Scaled(40)};
  FillRect(Dc, &Bar, Grey);
  SelectObject(Dc, GreyPen);
  HGDIOBJ OldBrush = SelectObject(Dc, Grey);
  const POINT Arrow[] = {{CW - Scaled(5), Scaled(30)}, {CW - Scaled(25), Scaled(10)}, {CW - Scaled(25), Scaled(50)}};
  Polygon(Dc, Arrow, 3);
  SelectObject(Dc, OldBrush);
  SelectObject(Dc, OldPen);
  DeleteObject(GreyPen);
  DeleteObject(Grey);
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
        // The press is judged where it happened, before the tree reacts to it (a collapse
        // would move other nodes under the pointer).
        if (!FCollapsing)
          if (HTREEITEM Node = StateIconAt(treeComps, LParam)) ToggleComponent(Node);
        DefSubclassProc(Wnd, Msg, WParam, LParam);
        // The tree may keep the button's release to itself; the press is over either way.
        FCollapsing = false;
        return true;
      case WM_LBUTTONDBLCLK:
        // A quick second press on a mark arrives as a double click: it toggles once more, as
        // every press on a mark does, and the node neither expands nor collapses.
        if (HTREEITEM Node = StateIconAt(treeComps, LParam)) {
          ToggleComponent(Node);
          return true;
        }
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
      case WM_LBUTTONDBLCLK:
        if (HTREEITEM Node = StateIconAt(tree1S, LParam)) {
          Toggle1CNode(Node);
          return true;
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
  if (Wnd == stvDirectory.Handle && Msg == WM_RBUTTONDOWN) {
    // A right click chooses the folder under it, as a left click does.
    TVHITTESTINFO Hit{};
    Hit.pt = {static_cast<short>(LOWORD(LParam)), static_cast<short>(HIWORD(LParam))};
    if (HTREEITEM Node = TreeView_HitTest(Wnd, &Hit); Node && (Hit.flags & TVHT_ONITEM)) TreeView_SelectItem(Wnd, Node);
    return false;
  }
  return false;
}

}  // namespace setup
