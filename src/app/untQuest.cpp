// The next-disk prompt as a small modal window with its own message loop.
#include "app/untQuest.h"

#include <shlobj.h>

#include "app/AppWin.h"
#include "app/WindowBase.h"
#include "system/BrowseWin.h"
#include "system/WideWin.h"

namespace setup {
namespace {

constexpr int idDirectory = 101, idBrowse = 102;
const wchar_t* const cClassName = L"TfrmQuestion";

class TfrmQuestion : public TWindowBase {
 public:
  bool Create(DWORD Style, int Width, int Height, HWND Owner);
  HWND Directory = nullptr;
  HICON Icon = nullptr;
  int ModalResult = 0;

 private:
  LRESULT WindowMessage(UINT Msg, WPARAM WParam, LPARAM LParam) override;
};

bool TfrmQuestion::Create(DWORD Style, int Width, int Height, HWND Owner) {
  if (!CreateHandle({cClassName, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)}, WS_EX_DLGMODALFRAME,
                    WideText(Msg::NextDiskCaption).c_str(), Style, 0, 0, Width, Height, Owner))
    return false;
  CentreWindow();
  return true;
}

void Button1Click(TfrmQuestion& Form) {
  std::string Folder = WindowText(Form.Directory);
  try {
    if (BrowseForFolder(Msg::ChooseFolder, 0, Folder, BIF_NEWDIALOGSTYLE))
      SetWindowTextW(Form.Directory, ToWide(Folder).c_str());
  } catch (const std::exception& Error) {
    // The desktop is always there; should the shell still fail, say so and keep the prompt.
    MessageBoxW(Form.Handle, ToWide(Error.what()).c_str(), WideText(Msg::ApplicationTitle).c_str(),
                MB_OK | MB_ICONERROR);
  }
}

LRESULT QuestionMessage(TfrmQuestion* Form, HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_PAINT: {
      PAINTSTRUCT Paint;
      HDC Dc = BeginPaint(Wnd, &Paint);
      if (Form && Form->Icon) DrawIcon(Dc, Scaled(10), Scaled(10), Form->Icon);
      EndPaint(Wnd, &Paint);
      return 0;
    }
    case WM_COMMAND:
      if (!Form) break;
      if (LOWORD(WParam) == IDOK || LOWORD(WParam) == IDCANCEL) {
        Form->ModalResult = LOWORD(WParam);
        return 0;
      }
      if (LOWORD(WParam) == idBrowse) {
        Button1Click(*Form);
        return 0;
      }
      break;
    case WM_CTLCOLOREDIT:
      // The folder edit sits on the window's own colour, like a field one may but need not touch.
      SetBkColor(reinterpret_cast<HDC>(WParam), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_CLOSE:
      // Only the two buttons end the prompt.
      return 0;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

LRESULT TfrmQuestion::WindowMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
  return QuestionMessage(this, Handle, Msg, WParam, LParam);
}

}  // namespace

bool AskNextDisk(HWND Owner, std::string& Folder, const std::string& FileName, bool WrongDisk) {
  TfrmQuestion Form;
  Form.Icon = LoadIconW(nullptr, IDI_EXCLAMATION);
  const DWORD Style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT Frame = {0, 0, Scaled(436), Scaled(119)};
  AdjustWindowRectEx(&Frame, Style, FALSE, WS_EX_DLGMODALFRAME);
  const int Width = Frame.right - Frame.left, Height = Frame.bottom - Frame.top;
  if (!Form.Create(Style, Width, Height, Owner)) return false;
  EnableMenuItem(GetSystemMenu(Form.Handle, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  HFONT Font = DialogFont();
  CreateChild(Form.Handle, L"STATIC", WideText(WrongDisk ? Msg::WrongDiskText : Msg::NextDiskText), SS_LEFT, 64, 8, 361,
              16, 0, Font);
  CreateChild(Form.Handle, L"STATIC", ToWide(FileName), SS_LEFT | SS_NOPREFIX, 64, 26, 361, 16, 0, Font);
  Form.Directory = CreateChild(Form.Handle, L"EDIT", ToWide(Folder), WS_TABSTOP | ES_AUTOHSCROLL | WS_BORDER, 64, 48,
                               265, 21, idDirectory, Font);
  CreateChild(Form.Handle, L"BUTTON", WideText(Msg::BrowseButton), WS_TABSTOP | BS_PUSHBUTTON, 336, 48, 89, 23, idBrowse, Font);
  CreateChild(Form.Handle, L"STATIC", L"", SS_ETCHEDHORZ, 8, 80, 420, 2, 0, Font);
  CreateChild(Form.Handle, L"BUTTON", WideText(Msg::OkButton), WS_TABSTOP | BS_DEFPUSHBUTTON, 240, 88, 89, 23, IDOK, Font);
  CreateChild(Form.Handle, L"BUTTON", WideText(Msg::CancelButton), WS_TABSTOP | BS_PUSHBUTTON, 336, 88, 89, 23, IDCANCEL, Font);

  // Modal: the windows behind are disabled while the prompt runs its own loop.
  const bool OwnerWasEnabled = Owner && IsWindowEnabled(Owner);
  if (OwnerWasEnabled) EnableWindow(Owner, FALSE);
  ShowWindow(Form.Handle, SW_SHOW);
  SetFocus(Form.Directory);
  MSG Message;
  bool Quit = false;
  // The prompt also ends when its window goes from under it (its owner destroyed).
  while (!Form.ModalResult && Form.Handle) {
    const BOOL Got = GetMessageW(&Message, nullptr, 0, 0);
    if (Got <= 0) {
      Quit = true;
      break;
    }
    if (Message.message == WM_KEYDOWN && Message.wParam == VK_ESCAPE) continue;
    if (!IsDialogMessageW(Form.Handle, &Message)) {
      TranslateMessage(&Message);
      DispatchMessageW(&Message);
    }
  }
  const std::string Typed = WindowText(Form.Directory);
  if (OwnerWasEnabled) EnableWindow(Owner, TRUE);
  if (Form.Handle) DestroyWindow(Form.Handle);
  if (Owner) SetForegroundWindow(Owner);
  if (Quit) PostQuitMessage(static_cast<int>(Message.wParam));
  if (Form.ModalResult != IDOK) return false;
  Folder = Typed;
  return true;
}

}  // namespace setup
