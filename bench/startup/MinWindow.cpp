// The least a window program does before a person sees it: registers a class, creates a
// captioned window with one text, shows it and runs the message loop. Built like setup.exe
// (same compiler, static runtime), so that the difference is what the wizard does.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
  if (Msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(Wnd, Msg, W, L);
}

}  // namespace

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int) {
  WNDCLASSW Class = {};
  Class.lpfnWndProc = WindowProc;
  Class.hInstance = Instance;
  Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Class.lpszClassName = L"MinWindow";
  RegisterClassW(&Class);
  HWND Window = CreateWindowExW(0, L"MinWindow", L"Минимальное окно", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                CW_USEDEFAULT, CW_USEDEFAULT, 400, 200, nullptr, nullptr, Instance, nullptr);
  CreateWindowExW(0, L"STATIC", L"Готово", WS_CHILD | WS_VISIBLE, 20, 20, 200, 20, Window, nullptr, Instance, nullptr);
  ShowWindow(Window, SW_SHOW);
  MSG Message;
  while (GetMessageW(&Message, nullptr, 0, 0) > 0) {
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
  return 0;
}
