#pragma once
// Small helpers shared by the program's windows.
#include <windows.h>

#include <string>

namespace setup {

// The program's exit status: the run succeeded; an installation ran but failed or was
// cancelled; the program could not start (already running, unreadable or missing script).
enum : int { exitSucceeded = 0, exitFailed = 1, exitNotStarted = 2 };

inline constexpr const wchar_t* cApplicationTitle = L"Мастер установки";

// The dialog font (MS Sans Serif 8 points, Cyrillic), created once.
HFONT DialogFont();
HWND CreateChild(HWND Parent, const wchar_t* Class, const std::wstring& Text, DWORD Style, int Left, int Top,
                 int Width, int Height, int Id, HFONT Font);
std::string WindowText(HWND Wnd);

}  // namespace setup
