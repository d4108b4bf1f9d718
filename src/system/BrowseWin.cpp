#include "system/BrowseWin.h"

#include <ole2.h>
#include <shlobj.h>

#include <vector>

#include "system/Paths.h"
#include "system/WideWin.h"

namespace setup {
namespace {

// Disables the thread's visible enabled top-level windows for the length of a modal dialog
// the shell runs, and enables exactly those again.
class TaskWindowsDisabled {
 public:
  TaskWindowsDisabled() {
    EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(&FWindows));
    for (HWND Wnd : FWindows) EnableWindow(Wnd, FALSE);
  }
  ~TaskWindowsDisabled() {
    for (HWND Wnd : FWindows)
      if (IsWindow(Wnd)) EnableWindow(Wnd, TRUE);
  }
  TaskWindowsDisabled(const TaskWindowsDisabled&) = delete;
  TaskWindowsDisabled& operator=(const TaskWindowsDisabled&) = delete;

 private:
  static BOOL CALLBACK Collect(HWND Wnd, LPARAM List) {
    if (IsWindowVisible(Wnd) && IsWindowEnabled(Wnd)) reinterpret_cast<std::vector<HWND>*>(List)->push_back(Wnd);
    return TRUE;
  }
  std::vector<HWND> FWindows;
};

class ErrorModeScope {
 public:
  ErrorModeScope() : FOld(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~ErrorModeScope() { SetErrorMode(FOld); }
  ErrorModeScope(const ErrorModeScope&) = delete;
  ErrorModeScope& operator=(const ErrorModeScope&) = delete;

 private:
  UINT FOld;
};

// The new dialog style hosts shell views, which need OLE on this thread.
class OleScope {
 public:
  OleScope() : FInitialized(SUCCEEDED(OleInitialize(nullptr))) {}
  ~OleScope() {
    if (FInitialized) OleUninitialize();
  }
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;

 private:
  bool FInitialized;
};

void CenterWindow(HWND Window) {
  RECT Rect;
  if (!GetWindowRect(Window, &Rect)) return;
  const int Width = Rect.right - Rect.left, Height = Rect.bottom - Rect.top;
  SetWindowPos(Window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - Width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - Height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

int CALLBACK BrowseCallback(HWND Window, UINT Message, LPARAM /*Param*/, LPARAM Data) {
  if (Message != BFFM_INITIALIZED) return 0;
  const auto* Initial = reinterpret_cast<const wchar_t*>(Data);
  const std::wstring Path = Initial ? Initial : L"";
  if (!Path.empty()) {
    SendMessageW(Window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(Path.c_str()));
    // Wine's dialog, on a busy machine, can be left on the desktop by this first walk down to
    // the folder; the posted copy walks again once the dialog has finished setting itself up.
    // Initial lives until the dialog has returned, which is after any message it gets.
    PostMessageW(Window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(Initial));
  }
  if (Path.empty() || Path == L"\\\\") {
    SendMessageW(Window, BFFM_ENABLEOK, 0, 0);
    // Some shells select the root only after this notification and enable OK again; the
    // posted copy arrives after that, so OK waits for the user's own choice everywhere.
    PostMessageW(Window, BFFM_ENABLEOK, 0, 0);
  }
  CenterWindow(Window);
  return 0;
}

bool BrowseForFolder(const std::string& Title, int RootFolder, std::string& Path, UINT Flags) {
  OleScope Ole;
  BROWSEINFOW Info{};
  Info.hwndOwner = GetActiveWindow();
  TScopedItemIdList Root;
  const HRESULT Located = SHGetSpecialFolderLocation(Info.hwndOwner, RootFolder, Root.Receive());
  if (FAILED(Located)) RaiseLastOSError(static_cast<DWORD>(Located));
  Info.pidlRoot = Root.Get();
  std::vector<wchar_t> DisplayName(MAX_PATH + 1, L'\0');  // the shell writes at most MAX_PATH here
  Info.pszDisplayName = DisplayName.data();
  const std::wstring WideTitle = ToWide(Title);
  Info.lpszTitle = WideTitle.c_str();
  Info.ulFlags = Flags;
  Info.lpfn = &BrowseCallback;
  const std::wstring Initial = ToWide(Path);
  Info.lParam = reinterpret_cast<LPARAM>(Initial.c_str());

  TScopedItemIdList Chosen;
  {
    TaskWindowsDisabled Disabled;
    ErrorModeScope ErrorMode;
    Chosen.Reset(SHBrowseForFolderW(&Info));
  }
  if (!Chosen) return false;
  std::vector<wchar_t> Buffer(32768, L'\0');
  std::wstring Result;
  if (SHGetPathFromIDListEx(Chosen.Get(), Buffer.data(), static_cast<DWORD>(Buffer.size()), GPFIDL_DEFAULT))
    Result = Buffer.data();
  if (Result.empty()) Result = DisplayName.data();
  Path = FromWide(Result);
  if (!(Flags & BIF_BROWSEFORCOMPUTER)) AddBackslash(Path);
  return true;
}

}  // namespace setup
