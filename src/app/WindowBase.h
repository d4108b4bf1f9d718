#pragma once
// What every window of the program shares: its class registered once, the object bound to its
// window from the first message to the last, handlers that may throw, and centring.
#include <windows.h>

namespace setup {

class TWindowBase {
 public:
  TWindowBase() = default;
  // A window still there is destroyed, unbound first: the object is already partly gone.
  virtual ~TWindowBase();
  TWindowBase(const TWindowBase&) = delete;
  TWindowBase& operator=(const TWindowBase&) = delete;

  // The window, from its first message (WM_NCCREATE) to its last (WM_NCDESTROY); null before
  // and after. Messages outside that span never reach the object.
  HWND Handle = nullptr;

  // Runs Handler (a window's or a control's message) so that nothing it throws leaves the
  // window procedure: a failure gets the window's reaction and a safe answer instead.
  template <class THandler>
  LRESULT Guarded(UINT Msg, THandler&& Handler) noexcept {
    try {
      return Handler();
    } catch (...) {
      return Failed(Msg);
    }
  }

 protected:
  struct TWindowClass {
    const wchar_t* Name;
    HBRUSH Background = nullptr;  // null: the window paints its background itself
    HICON Icon = nullptr;
  };
  // Registers the class (once for the program) and creates the window with this object bound;
  // messages sent during the creation already reach WindowMessage. False when it fails.
  bool CreateHandle(const TWindowClass& Class, DWORD ExStyle, const wchar_t* Caption, DWORD Style, int Left, int Top,
                    int Width, int Height, HWND Owner);
  // A message of the window. WM_DESTROY is the last one the object gets: the children's
  // notifications while they go, after it, find the default handling.
  virtual LRESULT WindowMessage(UINT Msg, WPARAM WParam, LPARAM LParam);
  // The reaction to a handler that failed with Text (a silent abort never gets here). The
  // default logs it.
  virtual void HandlerFailed(const char* Text);
  // Centres the window on its owner, or without a visible owner on the work area of its
  // monitor; kept inside that work area either way.
  void CentreWindow();
  // Destroys the window as the program ends with it: without hiding it first. Under Wine's
  // X11 driver hiding a window waits for the window manager to withdraw it, two seconds for
  // each window where none answers; a window destroyed as it stands leaves the screen all the
  // same.
  void DestroyAtExit();

 private:
  static LRESULT CALLBACK WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  LRESULT Failed(UINT Msg) noexcept;
  bool FDestroying = false;
};

}  // namespace setup
