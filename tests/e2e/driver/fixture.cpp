// A window with one control of each kind the GUI driver works, each showing what a person's
// action did to it, so that the driver's own test can check every command against the effect
// it must have. The exit status is the number of presses of "Press".
#include <windows.h>
#include <commctrl.h>

#include <string>

namespace {

enum : int {
  idPress = 101, idPressed, idAsk, idAnswer, idNever, idAlpha, idBeta, idEdit, idList, idChosen, idTree
};

HWND Window, Pressed, Answer, Edit, List, Chosen, Tree;
WNDPROC EditProc, TreeProc;
int Presses = 0;

HWND Child(const wchar_t* Class, const wchar_t* Text, DWORD Style, int X, int Y, int W, int H, int Id) {
  HWND Wnd = CreateWindowExW(Class == std::wstring(L"Edit") ? WS_EX_CLIENTEDGE : 0, Class, Text,
                             WS_CHILD | WS_VISIBLE | Style, X, Y, W, H, Window,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(Wnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return Wnd;
}

// The key filter of an edit, as a program's own would drop characters it does not accept.
LRESULT CALLBACK FilteredEdit(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
  if (Msg == WM_CHAR && W == L'*') return 0;
  return CallWindowProcW(EditProc, Wnd, Msg, W, L);
}

void Toggle(HTREEITEM Item) {
  TVITEMW Data = {};
  Data.mask = TVIF_HANDLE | TVIF_STATE;
  Data.hItem = Item;
  Data.stateMask = TVIS_STATEIMAGEMASK;
  TreeView_GetItem(Tree, &Data);
  const UINT State = (Data.state & TVIS_STATEIMAGEMASK) >> 12;
  Data.state = INDEXTOSTATEIMAGEMASK(State == 1 ? 2 : 1);
  TreeView_SetItem(Tree, &Data);
}

// State images toggle on a press on the image and on the space character, as in the wizard.
LRESULT CALLBACK CheckTree(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
  if (Msg == WM_LBUTTONDOWN) {
    TVHITTESTINFO Hit = {};
    Hit.pt = {static_cast<short>(LOWORD(L)), static_cast<short>(HIWORD(L))};
    TreeView_HitTest(Wnd, &Hit);
    if (Hit.hItem && (Hit.flags & TVHT_ONITEMSTATEICON)) Toggle(Hit.hItem);
  } else if (Msg == WM_CHAR && W == L' ') {
    if (HTREEITEM Selected = TreeView_GetSelection(Wnd)) Toggle(Selected);
    return 0;
  }
  return CallWindowProcW(TreeProc, Wnd, Msg, W, L);
}

HTREEITEM AddItem(HTREEITEM Parent, const wchar_t* Text) {
  TVINSERTSTRUCTW Insert = {};
  Insert.hParent = Parent;
  Insert.hInsertAfter = TVI_LAST;
  Insert.item.mask = TVIF_TEXT | TVIF_STATE;
  Insert.item.pszText = const_cast<wchar_t*>(Text);
  Insert.item.stateMask = TVIS_STATEIMAGEMASK;
  Insert.item.state = INDEXTOSTATEIMAGEMASK(1);
  return TreeView_InsertItem(Tree, &Insert);
}

void CreateControls() {
  Child(L"Button", L"Press", BS_PUSHBUTTON, 10, 10, 80, 24, idPress);
  Pressed = Child(L"Static", L"pressed 0", SS_LEFT, 100, 14, 120, 20, idPressed);
  Child(L"Button", L"Ask", BS_PUSHBUTTON, 10, 40, 80, 24, idAsk);
  Answer = Child(L"Static", L"no answer", SS_LEFT, 100, 44, 120, 20, idAnswer);
  Child(L"Button", L"Never", BS_PUSHBUTTON | WS_DISABLED, 10, 70, 80, 24, idNever);
  Child(L"Button", L"Альфа", BS_AUTORADIOBUTTON | WS_GROUP, 10, 100, 100, 20, idAlpha);
  Child(L"Button", L"Бета", BS_AUTORADIOBUTTON, 120, 100, 100, 20, idBeta);
  Edit = Child(L"Edit", L"", ES_AUTOHSCROLL, 10, 130, 200, 22, idEdit);
  EditProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(Edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FilteredEdit)));
  List = Child(L"ListBox", L"", LBS_NOTIFY | WS_BORDER | WS_VSCROLL, 10, 160, 200, 60, idList);
  for (const wchar_t* Item : {L"один", L"два", L"три"}) SendMessageW(List, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Item));
  Chosen = Child(L"Static", L"nothing chosen", SS_LEFT, 220, 160, 150, 20, idChosen);
  Tree = Child(WC_TREEVIEWW, L"", WS_BORDER | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
               10, 230, 250, 120, idTree);
  TreeProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(Tree, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CheckTree)));
  // Three state pictures: 0 unused, 1 a filled box, 2 an empty one.
  HIMAGELIST Images = ImageList_Create(16, 16, ILC_COLOR24, 3, 0);
  HDC Screen = GetDC(nullptr);
  HDC Dc = CreateCompatibleDC(Screen);
  HBITMAP Strip = CreateCompatibleBitmap(Screen, 48, 16);
  HGDIOBJ Old = SelectObject(Dc, Strip);
  RECT All = {0, 0, 48, 16};
  FillRect(Dc, &All, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  for (int I = 1; I < 3; ++I) {
    RECT Box = {I * 16 + 2, 2, I * 16 + 14, 14};
    FrameRect(Dc, &Box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    InflateRect(&Box, -3, -3);
    if (I == 1) FillRect(Dc, &Box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  SelectObject(Dc, Old);
  DeleteDC(Dc);
  ReleaseDC(nullptr, Screen);
  ImageList_Add(Images, Strip, nullptr);
  DeleteObject(Strip);
  TreeView_SetImageList(Tree, Images, TVSIL_STATE);
  HTREEITEM Root = AddItem(TVI_ROOT, L"Корень");
  AddItem(Root, L"Ветка А");
  HTREEITEM B = AddItem(Root, L"Ветка Б");
  AddItem(B, L"Лист");
  AddItem(TVI_ROOT, L"Второй");
  TreeView_Expand(Tree, Root, TVE_EXPAND);
}

LRESULT CALLBACK WindowProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
  switch (Msg) {
    case WM_COMMAND:
      if (LOWORD(W) == idPress) {
        SetWindowTextW(Pressed, (L"pressed " + std::to_wstring(++Presses)).c_str());
      } else if (LOWORD(W) == idAsk) {
        const int Id = MessageBoxW(Wnd, L"Ответить на вопрос?", L"Вопрос", MB_YESNO | MB_ICONQUESTION);
        SetWindowTextW(Answer, Id == IDYES ? L"answer yes" : Id == IDNO ? L"answer no" : L"answer other");
      } else if (LOWORD(W) == idList && HIWORD(W) == LBN_SELCHANGE) {
        wchar_t Text[64] = {};
        SendMessageW(List, LB_GETTEXT, SendMessageW(List, LB_GETCURSEL, 0, 0), reinterpret_cast<LPARAM>(Text));
        SetWindowTextW(Chosen, (std::wstring(L"chosen ") + Text).c_str());
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(Presses);
      return 0;
  }
  return DefWindowProcW(Wnd, Msg, W, L);
}

}  // namespace

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX Controls = {sizeof(Controls), ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&Controls);
  WNDCLASSW Class = {};
  Class.lpfnWndProc = WindowProc;
  Class.hInstance = Instance;
  Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Class.lpszClassName = L"DriverFixture";
  RegisterClassW(&Class);
  Window = CreateWindowExW(0, L"DriverFixture", L"Проба драйвера", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 100, 100,
                           400, 400, nullptr, nullptr, Instance, nullptr);
  CreateControls();
  ShowWindow(Window, SW_SHOW);
  MSG Message;
  while (GetMessageW(&Message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(Window, &Message)) continue;
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
  return static_cast<int>(Message.wParam);
}
