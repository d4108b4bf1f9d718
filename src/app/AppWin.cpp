#include "app/AppWin.h"

#include <ole2.h>
#include <shellapi.h>

#include "system/LogWin.h"
#include "system/WideWin.h"

namespace setup {

int ScreenDpi() {
  static const int Dpi = [] {
    HDC Screen = GetDC(nullptr);
    const int Value = GetDeviceCaps(Screen, LOGPIXELSY);
    ReleaseDC(nullptr, Screen);
    return Value > 0 ? Value : 96;
  }();
  return Dpi;
}

int Scaled(int Value) { return MulDiv(Value, ScreenDpi(), 96); }

HFONT DialogFont() {
  static HFONT Font = [] {
    return CreateFontW(-MulDiv(8, ScreenDpi(), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
  }();
  return Font;
}

HWND CreateChild(HWND Parent, const wchar_t* Class, const std::wstring& Text, DWORD Style, int Left, int Top,
                 int Width, int Height, int Id, HFONT Font) {
  HWND Wnd = CreateWindowExW(0, Class, Text.c_str(), WS_CHILD | WS_VISIBLE | Style, Scaled(Left), Scaled(Top),
                             Scaled(Width), Scaled(Height), Parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)),
                             GetModuleHandleW(nullptr), nullptr);
  if (Wnd && Font) SendMessageW(Wnd, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
  return Wnd;
}

namespace {
bool Quiet = false;

const char* AnswerName(int Answer) {
  switch (Answer) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    default: return "none";
  }
}

int SafeAnswer(UINT Flags) {
  switch (Flags & MB_TYPEMASK) {
    case MB_YESNO: return IDNO;
    case MB_ABORTRETRYIGNORE: return IDIGNORE;
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL: return IDCANCEL;
    default: return IDOK;
  }
}
}  // namespace

void SetQuietMode(bool Value) { Quiet = Value; }

int AppMessageBox(HWND Owner, const std::string& Text, const std::string& Caption, UINT Flags, bool Log) {
  if (Log) LogLine("message: " + OneLine(Text));
  const int Answer = Quiet ? SafeAnswer(Flags) : MessageBoxW(Owner, LinesText(Text).c_str(), ToWide(Caption).c_str(), Flags);
  if (Log || Quiet) LogLine(std::string(Quiet ? "answer (quiet run): " : "answer: ") + AnswerName(Answer));
  return Answer;
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

void InitShellObjects() {
  static bool Done = false;
  if (!Done) OleInitialize(nullptr);
  Done = true;
}

void OpenAddress(const std::wstring& Address) {
  InitShellObjects();
  ShellExecuteW(GetDesktopWindow(), L"open", Address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
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
