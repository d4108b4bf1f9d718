#pragma once
// Driving modal windows from a second thread, as a person at the keyboard would.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace setup::test {

struct WindowSearch {
  const wchar_t* Class;
  HWND Found;
};

inline BOOL CALLBACK MatchWindow(HWND Wnd, LPARAM Data) {
  auto* Search = reinterpret_cast<WindowSearch*>(Data);
  wchar_t Name[64] = L"";
  GetClassNameW(Wnd, Name, 64);
  if (IsWindowVisible(Wnd) && std::wstring(Name) == Search->Class) {
    Search->Found = Wnd;
    return FALSE;
  }
  return TRUE;
}

// The first visible top-level window of class Class that thread Thread owns, waiting up to
// ten seconds for it to appear; null when none did.
inline HWND WaitForWindow(DWORD Thread, const wchar_t* Class) {
  WindowSearch Search{Class, nullptr};
  for (int Attempt = 0; Attempt < 200 && !Search.Found; ++Attempt) {
    EnumThreadWindows(Thread, &MatchWindow, reinterpret_cast<LPARAM>(&Search));
    if (!Search.Found) Sleep(50);
  }
  return Search.Found;
}

// Waits until Condition holds, up to ten seconds; returns whether it did.
inline bool WaitUntil(const std::function<bool()>& Condition) {
  for (int Attempt = 0; Attempt < 200; ++Attempt) {
    if (Condition()) return true;
    Sleep(50);
  }
  return false;
}

// The child of Parent with class Class (and, when given, text Text).
inline HWND FindChild(HWND Parent, const wchar_t* Class, const wchar_t* Text = nullptr) {
  return FindWindowExW(Parent, nullptr, Class, Text);
}

// A folder for the shell's folder dialog to start in. Not under %TEMP%: the dialog walks down
// to its start folder by comparing item ids that carry each folder's time stamp, and anything
// written into %TEMP% meanwhile (by Wine itself, too) makes it stop one level short.
inline std::wstring QuietFolder(const wchar_t* Name) {
  const std::wstring Parent = L"C:\\setup-browse-tests";
  CreateDirectoryW(Parent.c_str(), nullptr);
  const std::wstring Folder = Parent + L"\\" + Name;
  CreateDirectoryW(Folder.c_str(), nullptr);
  return Folder;
}

// The text of the item selected in the folder dialog's tree (empty when none is).
inline std::wstring SelectedFolderName(HWND Dialog) {
  HWND Tree = FindWindowExW(Dialog, nullptr, L"SysTreeView32", nullptr);
  if (!Tree) return L"";
  auto Item = reinterpret_cast<HTREEITEM>(SendMessageW(Tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (!Item) return L"";
  wchar_t Text[MAX_PATH] = L"";
  TVITEMW Query{};
  Query.mask = TVIF_TEXT;
  Query.hItem = Item;
  Query.pszText = Text;
  Query.cchTextMax = MAX_PATH;
  SendMessageW(Tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&Query));
  return Text;
}

inline std::wstring TextOf(HWND Wnd) {
  wchar_t Buffer[1024] = L"";
  GetWindowTextW(Wnd, Buffer, 1024);
  return Buffer;
}

// Presses a button the way a click does: the parent hears BN_CLICKED from it.
inline void Click(HWND Button) {
  PostMessageW(GetParent(Button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Button), BN_CLICKED),
               reinterpret_cast<LPARAM>(Button));
}

// Runs Script on a second thread while the calling thread runs a modal window; joins at the end.
class Driver {
 public:
  explicit Driver(std::function<void()> Script) : FThread(std::move(Script)) {}
  ~Driver() {
    if (FThread.joinable()) FThread.join();
  }
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

 private:
  std::thread FThread;
};

}  // namespace setup::test
