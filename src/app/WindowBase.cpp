#include "app/WindowBase.h"

#include <algorithm>
#include <exception>
#include <string>

#include "app/AppWin.h"
#include "system/Errors.h"
#include "system/LogWin.h"

namespace setup {

TWindowBase::~TWindowBase() {
  if (!Handle) return;
  SetWindowLongPtrW(Handle, GWLP_USERDATA, 0);
  const HWND Wnd = Handle;
  Handle = nullptr;
  DestroyWindow(Wnd);
}

bool TWindowBase::CreateHandle(const TWindowClass& Class, DWORD ExStyle, const wchar_t* Caption, DWORD Style, int Left,
                               int Top, int Width, int Height, HWND Owner) {
  const HINSTANCE Instance = GetModuleHandleW(nullptr);
  RegisterWindowClass(Class.Name, WindowProc, Class.Background, Class.Icon);
  return CreateWindowExW(ExStyle, Class.Name, Caption, Style, Left, Top, Width, Height, Owner, nullptr, Instance, this) !=
         nullptr;
}

LRESULT TWindowBase::WindowMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
  return DefWindowProcW(Handle, Msg, WParam, LParam);
}

void TWindowBase::HandlerFailed(const char* Text) { LogLine(std::string("a window's handler failed: ") + Text); }

LRESULT TWindowBase::Failed(UINT Msg) noexcept {
  // Left unpainted but valid, before the reaction: a message box's own loop would otherwise
  // send the same failing WM_PAINT again, and again.
  if (Msg == WM_PAINT && Handle) ValidateRect(Handle, nullptr);
  try {
    try {
      throw;
    } catch (const EAbort&) {
      // Ends the step without a word.
    } catch (const std::exception& Error) {
      HandlerFailed(Error.what());
    } catch (...) {
      HandlerFailed("unknown exception");
    }
  } catch (...) {
    // The reaction itself failed (no memory for the box): the answer below still holds.
  }
  // A failed creation ends it: the window is not created.
  return Msg == WM_NCCREATE ? FALSE : Msg == WM_CREATE ? -1 : 0;
}

LRESULT CALLBACK TWindowBase::WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  TWindowBase* Window;
  if (Msg == WM_NCCREATE) {
    Window = static_cast<TWindowBase*>(reinterpret_cast<CREATESTRUCTW*>(LParam)->lpCreateParams);
    if (Window) {
      Window->Handle = Wnd;
      Window->FDestroying = false;
      SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Window));
    }
  } else {
    Window = reinterpret_cast<TWindowBase*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
  }
  if (!Window) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  if (Msg == WM_NCDESTROY) {
    SetWindowLongPtrW(Wnd, GWLP_USERDATA, 0);
    Window->Handle = nullptr;
    return DefWindowProcW(Wnd, Msg, WParam, LParam);
  }
  if (Window->FDestroying) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  if (Msg == WM_DESTROY) Window->FDestroying = true;
  return Window->Guarded(Msg, [&] { return Window->WindowMessage(Msg, WParam, LParam); });
}

void TWindowBase::CentreWindow() {
  RECT Own, Area;
  GetWindowRect(Handle, &Own);
  const HWND Owner = GetWindow(Handle, GW_OWNER);
  const bool OnOwner = Owner && IsWindowVisible(Owner) && !IsIconic(Owner);
  MONITORINFO Monitor{};
  Monitor.cbSize = sizeof(Monitor);
  GetMonitorInfoW(MonitorFromWindow(OnOwner ? Owner : Handle, MONITOR_DEFAULTTOPRIMARY), &Monitor);
  const RECT Work = Monitor.rcWork;
  if (OnOwner)
    GetWindowRect(Owner, &Area);
  else
    Area = Work;
  const int Width = Own.right - Own.left, Height = Own.bottom - Own.top;
  int Left = Area.left + (Area.right - Area.left - Width) / 2;
  int Top = Area.top + (Area.bottom - Area.top - Height) / 2;
  // Never off the work area; a window larger than it shows its top left corner.
  Left = std::max<int>(Work.left, std::min<int>(Left, Work.right - Width));
  Top = std::max<int>(Work.top, std::min<int>(Top, Work.bottom - Height));
  SetWindowPos(Handle, nullptr, Left, Top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWindowBase::DestroyAtExit() {
  if (!Handle) return;
  SetWindowLongPtrW(Handle, GWL_STYLE, GetWindowLongPtrW(Handle, GWL_STYLE) & ~WS_VISIBLE);
  DestroyWindow(Handle);
}

}  // namespace setup
