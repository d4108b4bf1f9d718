#pragma once
// Small helpers shared by the program's windows.
#include <windows.h>

#include <string>

#include "system/Messages.h"
#include "system/WideWin.h"

namespace setup {

// The program's exit status: the run succeeded; an installation ran but failed or was
// cancelled; the program could not start (already running, unreadable or missing script).
enum : int { exitSucceeded = 0, exitFailed = 1, exitNotStarted = 2 };

// A text of Msg in the form the windows take.
inline std::wstring WideText(const char* Utf8) { return ToWide(Utf8); }

// A text with single carriage returns as line breaks, as windows and boxes want it (CR LF).
std::wstring LinesText(const std::string& Text);

// Registers a window class of the program once (later calls find it registered). Background
// null leaves painting the background to the window.
void RegisterWindowClass(const wchar_t* Name, WNDPROC Procedure, HBRUSH Background, HICON Icon = nullptr);

// The dialog font (MS Sans Serif 8 points, Cyrillic), created once.
HFONT DialogFont();
HWND CreateChild(HWND Parent, const wchar_t* Class, const std::wstring& Text, DWORD Style, int Left, int Top,
                 int Width, int Height, int Id, HFONT Font);
std::string WindowText(HWND Wnd);

}  // namespace setup
