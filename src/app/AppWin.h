#pragma once
// Small helpers shared by the program's windows.
#include <windows.h>

#include <string>

#include "system/Messages.h"
#include "wizard/RunOptions.h"
#include "system/WideWin.h"

namespace setup {

// Quiet runs show no message box: the text goes to the log and a question takes the answer
// that keeps the machine as it is (No, Cancel, Ignore). Set once at start.
void SetQuietMode(bool Quiet);
// Every message box of the program: logged with its answer, not shown in quiet runs.
int AppMessageBox(HWND Owner, const std::string& Text, const std::string& Caption, UINT Flags, bool Log = true);

// A text of Msg in the form the windows take.
inline std::wstring WideText(const char* Utf8) { return ToWide(Utf8); }

// A text with single carriage returns as line breaks, as windows and boxes want it (CR LF).
std::wstring LinesText(const std::string& Text);

// Registers a window class of the program once (later calls find it registered). Background
// null leaves painting the background to the window.
void RegisterWindowClass(const wchar_t* Name, WNDPROC Procedure, HBRUSH Background, HICON Icon = nullptr);

// The windows are laid out in pixels at 96 DPI; on a screen of another resolution (the program
// says it is DPI-aware) every position and size grows with it, as the fonts do.
// The screen's resolution (LOGPIXELSY), read once.
int ScreenDpi();
// A length in pixels at 96 DPI, in pixels of this screen.
int Scaled(int Value);

// The dialog font (MS Sans Serif 8 points, Cyrillic), created once.
HFONT DialogFont();
// A child control; Left, Top, Width and Height are pixels at 96 DPI.
HWND CreateChild(HWND Parent, const wchar_t* Class, const std::wstring& Text, DWORD Style, int Left, int Top,
                 int Width, int Height, int Id, HFONT Font);
std::string WindowText(HWND Wnd);
// Opens a web address (or file) the way the shell opens it when the user clicks it.
void OpenAddress(const std::wstring& Address);
// OLE on this thread, once, before the first shell object (the folder tree, the folder
// browser, a link opened): not before the first page, which needs none.
void InitShellObjects();

}  // namespace setup
