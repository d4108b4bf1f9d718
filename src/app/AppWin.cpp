#include "app/AppWin.h"

#include "system/WideWin.h"

namespace setup {

HFONT DialogFont() {
  static HFONT Font = [] {
    HDC Screen = GetDC(nullptr);
    const int Height = -MulDiv(8, GetDeviceCaps(Screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, Screen);
    return CreateFontW(Height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
  }();
  return Font;
}

HWND CreateChild(HWND Parent, const wchar_t* Class, const std::wstring& Text, DWORD Style, int Left, int Top,
                 int Width, int Height, int Id, HFONT Font) {
  HWND Wnd = CreateWindowExW(0, Class, Text.c_str(), WS_CHILD | WS_VISIBLE | Style, Left, Top, Width, Height, Parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)), GetModuleHandleW(nullptr), nullptr);
  if (Wnd && Font) SendMessageW(Wnd, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
  return Wnd;
}

std::wstring LinesText(const std::string& Text) {
  const std::wstring Source = ToWide(Text);
  std::wstring Wide;
  for (std::size_t I = 0; I < Source.size(); ++I) {
    Wide += Source[I];
    if (Source[I] == L'\r' && (I + 1 == Source.size() || Source[I + 1] != L'\n')) Wide += L'\n';
  }
  return Wide;
}

std::string WindowText(HWND Wnd) {
  std::wstring Text(static_cast<std::size_t>(GetWindowTextLengthW(Wnd)) + 1, L'\0');
  Text.resize(static_cast<std::size_t>(GetWindowTextW(Wnd, Text.data(), static_cast<int>(Text.size()))));
  return FromWide(Text);
}

void RegisterWindowClass(const wchar_t* Name, WNDPROC Procedure, HBRUSH Background, HICON Icon) {
  const HINSTANCE Instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW Class{};
  Class.cbSize = sizeof(Class);
  if (GetClassInfoExW(Instance, Name, &Class)) return;
  Class.lpfnWndProc = Procedure;
  Class.hInstance = Instance;
  Class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  Class.hbrBackground = Background;
  Class.hIcon = Icon;
  Class.lpszClassName = Name;
  RegisterClassExW(&Class);
}

}  // namespace setup
