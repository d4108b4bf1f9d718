// guidriver: works a Windows program's windows from the outside, as a person would, with the
// ordinary window messages, for the end-to-end tests and the start-up benchmark.
//
//   guidriver.exe [-q] COMMAND ARGS... [; COMMAND ARGS...]...     (";" a lone argument)
//   guidriver.exe [-q] -f SCRIPT [; COMMAND ARGS...] [; -f SCRIPT]...
//
// -q: quiet, the commands are not echoed (a console program started by a window program gets
// a console window at its first output; a quiet driver shows one only when it fails).
//
// Commands come from the command line, where a lone ";" argument separates commands, and from
// script files named by "-f FILE" in place of a command (UTF-8, one command per line, "#"
// starts a comment line; an argument with blanks is written in double quotes, inside which \"
// and \\ stand for " and \). The commands run in order; the first that fails prints
// "guidriver: FAILED ..." with the controls of the current window and ends the driver with
// status 1 (status 2: bad usage); a program the driver started and that still runs then ends.
// Every command that waits gives up after its timeout (timeout=MS, default 10000, changed by
// "timeout").
//
// Window and control names. A top-level window is named by its caption ("*": any caption) and
// the options class=CLASS and text=TEXT (one of its visible controls contains TEXT). A control
// of the current window (CTL) is one of its visible descendants, named by
//   #ID          its control id,
//   CLASS:N      the N-th (from 1) of that window class, e.g. Edit:1, SysTreeView32:1, ListBox:2,
//   ~TEXT        the first whose text contains TEXT,
//   TEXT         the first whose text is TEXT (an "&" mnemonic in the control's text is ignored).
// A tree item is named by the texts of its ancestors and its own, joined by "/".
//
// Windows
//   window CAPTION [class=] [text=] [timeout=]  wait until such a window is visible; it becomes current
//   wait-box TEXT [timeout=]         wait for a message box (#32770) whose text contains TEXT; current
//   answer TEXT BUTTON [timeout=]    wait for that message box and press BUTTON: yes, no, ok, cancel,
//                                    abort, retry, ignore, or the button's text; then wait until the
//                                    box is gone. The current window stays.
//   wait-gone [timeout=]             wait until the current window is destroyed or hidden
//   expect-windows N CAPTION [class=] [text=] [timeout=]  exactly N such windows are visible
//   no-window CAPTION [class=] [text=] [for=MS]  no such window is visible (now, or all the time
//                                    for MS milliseconds)
//   only-windows CLASS...            every visible top-level window has one of these classes
//   list                             print the current window's visible controls (with list-box
//                                    and tree items)
//   list-windows                     print all visible top-level windows
//   close                            post WM_CLOSE to the current window
//   mouse-click X Y                  a left press and release at that screen point, as a person's
//                                    mouse makes them (the system finds the window under it)
//   screenshot FILE.bmp [screen]     the current window's screen rectangle (or the whole screen)
//                                    as a 24-bit bitmap
//   expect-taskbar yes|no            the current window has (yes: WS_EX_APPWINDOW and a caption) or
//                                    has not (no: a tool window, or owned without WS_EX_APPWINDOW) a
//                                    task-bar button and Alt+Tab entry. (Its icon cannot be read from
//                                    here: Wine answers WM_GETICON from another process with none.)
//   expect-front CLASS [timeout=]    the current window is the active one, and a visible window of
//                                    class CLASS owns it and lies right behind it
// Controls of the current window
//   click CTL [timeout=]             post BM_CLICK to an enabled button (radio buttons included)
//   expect-text TEXT [timeout=]      some visible control's text contains TEXT
//   no-text TEXT                     no visible control's text contains TEXT
//   expect-value CTL TEXT [timeout=] the control's whole text is TEXT (edits included)
//   expect-enabled CTL, expect-disabled CTL, expect-checked CTL, expect-unchecked CTL [timeout=]
//   expect-missing CTL               no such visible control
//   key CTL escape|enter             press and release the key on the control (the program's
//                                    dialog handling sees it as a person's key)
//   set-text CTL TEXT                WM_SETTEXT (as a paste: no key filter sees it)
//   type CTL CHARS                   one WM_CHAR per character, through the control's own
//                                    window procedure (and so its key filter)
//   select CTL ITEM                  select a list-box item by its text and notify the parent
//                                    (LBN_SELCHANGE) as a click would
//   expect-item CTL ITEM             the list box has such an item
//   expect-selected CTL ITEM         that item is the list box's selection
//   tree-expect CTL PATH STATE [timeout=]  the tree item's state image index is STATE
//   tree-missing CTL PATH            no such tree item
//   tree-click CTL PATH [button]     left mouse press and release on the item's state image
//                                    (with "button": on its expand button)
//   tree-space CTL PATH              select the item and press the space key in the tree
//   tree-dblclick CTL PATH           a press, release, double-click press and release on the
//                                    item's state image, as a quick second click arrives
//   tree-rclick CTL PATH             right mouse press and release on the item's text
//   tree-expect-selected CTL PATH [timeout=]  the item is the tree's selection
//   tree-expect-expanded CTL PATH yes|no      the item is (not) expanded
// Processes
//   start [as=NAME] EXE [ARGS...]    start a program, known by NAME ("" without as=)
//   setenv NAME [VALUE]              the environment of the programs started from now on: VALUE,
//                                    or without it the value the driver started with
//   expect-module MODULE [COPY] [of=NAME]  that program has loaded a module of that file name;
//                                    prints "module: FULL-PATH"; with COPY, copies the module's
//                                    file there
//   wait-exit STATUS [of=NAME] [timeout=] [only=CLASS,CLASS]  wait until that program ends, and
//                                    expect its exit status; with only=, while waiting every
//                                    visible top-level window of it or of a program it started
//                                    must have one of these classes (only= with nothing: no
//                                    window at all)
//   timed-start [as=NAME] CAPTION TEXT EXE [ARGS...]  start a program and wait until it shows a
//                                    visible window CAPTION with a visible control containing
//                                    TEXT; prints "startup: MS ms"; the window becomes current
// Others
//   wait-file PATH [timeout=]        wait until the file exists
//   make-file PATH                   create an empty file
//   expect-version FILE NAME TEXT    the file's version information (its first translation) has
//                                    the string NAME with the value TEXT
//   expect-resource FILE TYPE NAME   the file carries a resource of that type (a number) and name
//                                    (a text, or #N)
//   expect-icon FILE                 the file carries an icon the shell shows
//   timeout MS                       the default timeout of the commands that follow
//   sleep MS
//   echo TEXT...
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "system/WideWin.h"

using setup::FromWide;
using setup::ToWide;

namespace {

// An expectation that did not hold (status 1), and a script that cannot be run (status 2).
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void Print(const std::string& Text) {
  HANDLE Out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD Mode, Written;
  const std::string Line = Text + "\n";
  if (GetConsoleMode(Out, &Mode)) {
    const std::wstring Wide = ToWide(Line);
    WriteConsoleW(Out, Wide.data(), static_cast<DWORD>(Wide.size()), &Written, nullptr);
  } else {
    WriteFile(Out, Line.data(), static_cast<DWORD>(Line.size()), &Written, nullptr);
  }
}

std::string Quote(const std::wstring& Text) {
  std::string Result = "\"";
  for (char C : FromWide(Text)) {
    if (C == '\r') Result += "\\r";
    else if (C == '\n') Result += "\\n";
    else if (C == '"') Result += "\\\"";
    else Result += C;
  }
  return Result + "\"";
}

bool SameText(const std::wstring& A, const std::wstring& B) { return lstrcmpiW(A.c_str(), B.c_str()) == 0; }

std::wstring WithoutMnemonic(const std::wstring& Text) {
  std::wstring Result;
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == L'&' && I + 1 < Text.size()) ++I;
    Result += Text[I];
  }
  return Result;
}

double Now() {
  static LARGE_INTEGER Frequency = [] {
    LARGE_INTEGER F;
    QueryPerformanceFrequency(&F);
    return F;
  }();
  LARGE_INTEGER Counter;
  QueryPerformanceCounter(&Counter);
  return 1000.0 * static_cast<double>(Counter.QuadPart) / static_cast<double>(Frequency.QuadPart);
}

// --- reading other processes' windows ----------------------------------------------------------

// Messages to another process's window must not hang the driver when the program is busy or
// shows a modal box; each gets its own time limit.
std::optional<LRESULT> Send(HWND Wnd, UINT Msg, WPARAM W = 0, LPARAM L = 0, UINT Ms = 3000) {
  DWORD_PTR Result = 0;
  if (!SendMessageTimeoutW(Wnd, Msg, W, L, SMTO_ABORTIFHUNG | SMTO_BLOCK, Ms, &Result)) return std::nullopt;
  return static_cast<LRESULT>(Result);
}

std::wstring ClassOf(HWND Wnd) {
  wchar_t Name[256] = {};
  GetClassNameW(Wnd, Name, 256);
  return Name;
}

// Most controls keep their text with the window, where it is read without a message; an edit
// keeps it only for WM_GETTEXT, which waits for the program, busy or not.
std::wstring TextOf(HWND Wnd) {
  const std::wstring Class = ClassOf(Wnd);
  if (!SameText(Class, L"Edit") && !SameText(Class, L"RichEdit20W") && !SameText(Class, L"ComboBox")) {
    std::wstring Buffer(4096, L'\0');
    Buffer.resize(static_cast<size_t>(InternalGetWindowText(Wnd, Buffer.data(), static_cast<int>(Buffer.size()))));
    return Buffer;
  }
  if (auto Length = Send(Wnd, WM_GETTEXTLENGTH)) {
    std::wstring Buffer(static_cast<size_t>(*Length) + 1, L'\0');
    if (auto Copied = Send(Wnd, WM_GETTEXT, Buffer.size(), reinterpret_cast<LPARAM>(Buffer.data()))) {
      Buffer.resize(static_cast<size_t>(std::min<LRESULT>(*Copied, *Length)));
      return Buffer;
    }
  }
  wchar_t Buffer[1024] = {};
  GetWindowTextW(Wnd, Buffer, 1024);
  return Buffer;
}

bool IsButtonWithCheck(HWND Wnd) {
  if (!SameText(ClassOf(Wnd), L"Button")) return false;
  const LONG Type = GetWindowLongW(Wnd, GWL_STYLE) & BS_TYPEMASK;
  return Type == BS_CHECKBOX || Type == BS_AUTOCHECKBOX || Type == BS_RADIOBUTTON || Type == BS_AUTORADIOBUTTON ||
         Type == BS_3STATE || Type == BS_AUTO3STATE;
}

bool IsChecked(HWND Wnd) { return Send(Wnd, BM_GETCHECK).value_or(0) == BST_CHECKED; }

BOOL CALLBACK CollectVisible(HWND Wnd, LPARAM Param) {
  if (IsWindowVisible(Wnd)) reinterpret_cast<std::vector<HWND>*>(Param)->push_back(Wnd);
  return TRUE;
}

std::vector<HWND> VisibleChildren(HWND Top) {
  std::vector<HWND> Result;
  EnumChildWindows(Top, CollectVisible, reinterpret_cast<LPARAM>(&Result));
  return Result;
}

std::vector<HWND> VisibleTopWindows() {
  std::vector<HWND> Result;
  EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&Result));
  return Result;
}

// Memory in the target process, for the common controls' messages whose pointers the system
// does not carry across processes (tree-view items and rectangles).
class RemoteBuffer {
 public:
  RemoteBuffer(HWND Wnd, size_t Size) : FSize(Size) {
    DWORD Pid = 0;
    GetWindowThreadProcessId(Wnd, &Pid);
    FProcess.Reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                               FALSE, Pid));
    if (!FProcess.Valid()) throw Failure("cannot open the target process: " + setup::SystemErrorMessage(GetLastError()));
    FAddress = VirtualAllocEx(FProcess.Get(), nullptr, Size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!FAddress) throw Failure("cannot allocate memory in the target process");
  }
  ~RemoteBuffer() { VirtualFreeEx(FProcess.Get(), FAddress, 0, MEM_RELEASE); }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  LPARAM Address(size_t Offset = 0) const { return reinterpret_cast<LPARAM>(static_cast<char*>(FAddress) + Offset); }
  void Write(const void* Data, size_t Size, size_t Offset = 0) {
    SIZE_T Done = 0;
    if (!WriteProcessMemory(FProcess.Get(), static_cast<char*>(FAddress) + Offset, Data, Size, &Done) || Done != Size)
      throw Failure("cannot write the target process's memory");
  }
  void Read(void* Data, size_t Size, size_t Offset = 0) {
    SIZE_T Done = 0;
    if (!ReadProcessMemory(FProcess.Get(), static_cast<char*>(FAddress) + Offset, Data, Size, &Done) || Done != Size)
      throw Failure("cannot read the target process's memory");
  }

 private:
  setup::HandleGuard FProcess;
  void* FAddress = nullptr;
  size_t FSize;
};

struct TreeItem {
  HTREEITEM Handle;
  std::wstring Text;
  int State;  // state image index
  int Depth;
};

std::vector<TreeItem> TreeItems(HWND Tree) {
  constexpr size_t cTextChars = 512;
  RemoteBuffer Remote(Tree, sizeof(TVITEMW) + cTextChars * sizeof(wchar_t));
  std::vector<TreeItem> Items;
  std::function<void(HTREEITEM, int)> Walk = [&](HTREEITEM Item, int Depth) {
    for (; Item; Item = reinterpret_cast<HTREEITEM>(Send(Tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(Item)).value_or(0))) {
      TVITEMW Query = {};
      Query.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_STATE;
      Query.hItem = Item;
      Query.stateMask = TVIS_STATEIMAGEMASK;
      Query.pszText = reinterpret_cast<LPWSTR>(Remote.Address(sizeof(TVITEMW)));
      Query.cchTextMax = cTextChars;
      const wchar_t Empty = 0;
      Remote.Write(&Query, sizeof(Query));
      Remote.Write(&Empty, sizeof(Empty), sizeof(TVITEMW));
      if (!Send(Tree, TVM_GETITEMW, 0, Remote.Address()).value_or(0)) throw Failure("TVM_GETITEM failed");
      Remote.Read(&Query, sizeof(Query));
      std::wstring Text(cTextChars, L'\0');
      Remote.Read(Text.data(), cTextChars * sizeof(wchar_t), sizeof(TVITEMW));
      Text.resize(wcsnlen(Text.c_str(), cTextChars));
      Items.push_back({Item, Text, static_cast<int>((Query.state & TVIS_STATEIMAGEMASK) >> 12), Depth});
      auto Child = Send(Tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(Item)).value_or(0);
      if (Child) Walk(reinterpret_cast<HTREEITEM>(Child), Depth + 1);
    }
  };
  Walk(reinterpret_cast<HTREEITEM>(Send(Tree, TVM_GETNEXTITEM, TVGN_ROOT, 0).value_or(0)), 0);
  return Items;
}

std::optional<TreeItem> FindTreeItem(HWND Tree, const std::wstring& Path) {
  std::vector<std::wstring> Parts;
  std::wstringstream Stream(Path);
  for (std::wstring Part; std::getline(Stream, Part, L'/');) Parts.push_back(Part);
  size_t Matched = 0;
  for (const TreeItem& Item : TreeItems(Tree)) {
    if (Item.Depth < static_cast<int>(Matched)) Matched = Item.Depth;  // left the matched branch
    if (Item.Depth == static_cast<int>(Matched) && Matched < Parts.size() && Item.Text == Parts[Matched]) {
      if (++Matched == Parts.size()) return Item;
    }
  }
  return std::nullopt;
}

std::vector<std::wstring> ListItems(HWND List) {
  std::vector<std::wstring> Items;
  const LRESULT Count = Send(List, LB_GETCOUNT).value_or(0);
  for (LRESULT I = 0; I < Count; ++I) {
    const LRESULT Length = Send(List, LB_GETTEXTLEN, I).value_or(LB_ERR);
    if (Length == LB_ERR) break;
    std::wstring Text(static_cast<size_t>(Length) + 1, L'\0');
    Send(List, LB_GETTEXT, I, reinterpret_cast<LPARAM>(Text.data()));
    Text.resize(static_cast<size_t>(Length));
    Items.push_back(Text);
  }
  return Items;
}

std::string Describe(HWND Top, HWND Wnd) {
  RECT R;
  GetWindowRect(Wnd, &R);
  POINT Origin = {0, 0};
  ClientToScreen(Top, &Origin);
  std::string Line = "[" + FromWide(ClassOf(Wnd)) + "] id=" + std::to_string(GetDlgCtrlID(Wnd)) + " " +
                     Quote(TextOf(Wnd)) + (IsWindowEnabled(Wnd) ? "" : " disabled");
  if (IsButtonWithCheck(Wnd)) Line += IsChecked(Wnd) ? " checked" : " unchecked";
  Line += " at " + std::to_string(R.left - Origin.x) + "," + std::to_string(R.top - Origin.y) + " " +
          std::to_string(R.right - R.left) + "x" + std::to_string(R.bottom - R.top);
  const std::wstring Class = ClassOf(Wnd);
  if (SameText(Class, L"ListBox")) {
    const LRESULT Selected = Send(Wnd, LB_GETCURSEL).value_or(LB_ERR);
    int I = 0;
    for (const auto& Item : ListItems(Wnd)) Line += "\n    item " + Quote(Item) + (Selected == I++ ? " selected" : "");
  } else if (SameText(Class, WC_TREEVIEWW)) {
    try {
      for (const auto& Item : TreeItems(Wnd))
        Line += "\n    " + std::string(2 * Item.Depth, ' ') + Quote(Item.Text) + " state " + std::to_string(Item.State);
    } catch (const Failure& Error) {
      Line += std::string("\n    (items unreadable: ") + Error.what() + ")";
    }
  }
  return Line;
}

std::wstring BoxMessage(HWND Box) {
  std::wstring Message;
  for (HWND Child : VisibleChildren(Box))
    if (SameText(ClassOf(Child), L"Static")) Message += TextOf(Child);
  return Message;
}

std::string DescribeTop(HWND Wnd) {
  DWORD Pid = 0;
  GetWindowThreadProcessId(Wnd, &Pid);
  RECT R;
  GetWindowRect(Wnd, &R);
  std::string Line = "[" + FromWide(ClassOf(Wnd)) + "] " + Quote(TextOf(Wnd)) + " pid=" + std::to_string(Pid) + " at " +
                     std::to_string(R.left) + "," + std::to_string(R.top) + " " + std::to_string(R.right - R.left) +
                     "x" + std::to_string(R.bottom - R.top);
  // A message box says why it is there.
  if (ClassOf(Wnd) == L"#32770") Line += " saying " + Quote(BoxMessage(Wnd));
  return Line;
}

bool HasTextContaining(HWND Top, const std::wstring& Text) {
  for (HWND Child : VisibleChildren(Top))
    if (TextOf(Child).find(Text) != std::wstring::npos) return true;
  return false;
}

struct WindowQuery {
  std::wstring Caption = L"*";
  std::wstring Class;
  std::wstring Text;
  DWORD Pid = 0;
  bool Matches(HWND Wnd) const {
    if (Pid) {
      DWORD Owner = 0;
      GetWindowThreadProcessId(Wnd, &Owner);
      if (Owner != Pid) return false;
    }
    if (!Class.empty() && !SameText(ClassOf(Wnd), Class)) return false;
    if (Caption.size() > 1 && Caption[0] == L'*') {
      const std::wstring Own = TextOf(Wnd), Tail = Caption.substr(1);
      if (Own.size() < Tail.size() || Own.compare(Own.size() - Tail.size(), Tail.size(), Tail) != 0) return false;
    } else if (Caption != L"*" && TextOf(Wnd) != Caption) {
      return false;
    }
    return Text.empty() || HasTextContaining(Wnd, Text);
  }
  std::vector<HWND> Find() const {
    std::vector<HWND> Result;
    for (HWND Wnd : VisibleTopWindows())
      if (Matches(Wnd)) Result.push_back(Wnd);
    return Result;
  }
  std::string Describe() const {
    std::string Result = "window " + Quote(Caption);
    if (!Class.empty()) Result += " of class " + FromWide(Class);
    if (!Text.empty()) Result += " showing " + Quote(Text);
    return Result;
  }
};

// --- screenshots ---------------------------------------------------------------------------------

void SaveScreenshot(HWND Wnd, const std::wstring& File) {
  RECT R;
  if (!GetWindowRect(Wnd ? Wnd : GetDesktopWindow(), &R)) throw Failure("no window to take a picture of");
  const int Width = R.right - R.left, Height = R.bottom - R.top;
  HDC Screen = GetDC(nullptr);
  HDC Memory = CreateCompatibleDC(Screen);
  HBITMAP Bitmap = CreateCompatibleBitmap(Screen, Width, Height);
  HGDIOBJ Old = SelectObject(Memory, Bitmap);
  BitBlt(Memory, 0, 0, Width, Height, Screen, R.left, R.top, SRCCOPY);
  SelectObject(Memory, Old);
  BITMAPINFOHEADER Header = {};
  Header.biSize = sizeof(Header);
  Header.biWidth = Width;
  Header.biHeight = Height;  // bottom-up, as a .bmp file stores its rows
  Header.biPlanes = 1;
  Header.biBitCount = 24;
  Header.biCompression = BI_RGB;
  const DWORD Stride = (static_cast<DWORD>(Width) * 3 + 3) & ~3u;
  std::vector<char> Pixels(static_cast<size_t>(Stride) * Height);
  const int Rows = GetDIBits(Memory, Bitmap, 0, Height, Pixels.data(), reinterpret_cast<BITMAPINFO*>(&Header), DIB_RGB_COLORS);
  DeleteObject(Bitmap);
  DeleteDC(Memory);
  ReleaseDC(nullptr, Screen);
  if (Rows != Height) throw Failure("cannot read the screen");
  BITMAPFILEHEADER FileHeader = {};
  FileHeader.bfType = 0x4D42;
  FileHeader.bfOffBits = sizeof(FileHeader) + sizeof(Header);
  FileHeader.bfSize = FileHeader.bfOffBits + static_cast<DWORD>(Pixels.size());
  setup::HandleGuard Out(CreateFileW(File.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!Out.Valid()) throw Failure("cannot create " + FromWide(File) + ": " + setup::SystemErrorMessage(GetLastError()));
  DWORD Written;
  WriteFile(Out.Get(), &FileHeader, sizeof(FileHeader), &Written, nullptr);
  WriteFile(Out.Get(), &Header, sizeof(Header), &Written, nullptr);
  WriteFile(Out.Get(), Pixels.data(), static_cast<DWORD>(Pixels.size()), &Written, nullptr);
}

// --- the driver ----------------------------------------------------------------------------------

struct Command {
  std::vector<std::wstring> Args;  // positional arguments, the command's name first
  std::map<std::wstring, std::wstring> Options;
  std::string Where;  // for messages: "line 12" or "argument 3"
};

class Driver {
 public:
  ~Driver() {
    // A program we started and that is still running when the script fails would outlive us
    // and keep the session busy; it is ours, so it goes.
    for (auto& [Name, P] : FStarted)
      if (FFailed && WaitForSingleObject(P.Process.Get(), 0) == WAIT_TIMEOUT) TerminateProcess(P.Process.Get(), 255);
  }
  void Run(const Command& C);
  void DumpCurrent() {
    if (FCurrent && IsWindow(FCurrent)) {
      Print("current window: " + DescribeTop(FCurrent));
      for (HWND Child : VisibleChildren(FCurrent)) Print("  " + Describe(FCurrent, Child));
    }
    Print("visible windows:");
    for (HWND Wnd : VisibleTopWindows()) Print("  " + DescribeTop(Wnd));
  }
  bool FFailed = false;

 private:
  HWND FCurrent = nullptr;
  DWORD FDefaultTimeout = 10000;
  // Programs the driver started, by the name given with as= ("" by default).
  struct Started {
    setup::HandleGuard Process;
    DWORD Id = 0;
  };
  std::map<std::wstring, Started> FStarted;
  // Environment variables as they were before the first setenv changed them.
  std::map<std::wstring, std::optional<std::wstring>> FOriginalEnvironment;
  const Started& Program(const Command& C) const {
    auto It = FStarted.find(Option(C, L"of"));
    if (It == FStarted.end()) throw Failure("no program " + Quote(Option(C, L"of")) + " started");
    return It->second;
  }

  const std::wstring& Arg(const Command& C, size_t I) const {
    if (I >= C.Args.size()) throw UsageError(FromWide(C.Args[0]) + ": argument " + std::to_string(I) + " missing");
    return C.Args[I];
  }
  static DWORD Number(const std::wstring& Text) {
    try {
      size_t End = 0;
      const long Value = std::stol(Text, &End);
      if (End != Text.size() || Value < 0) throw std::invalid_argument("");
      return static_cast<DWORD>(Value);
    } catch (const std::exception&) {
      throw UsageError("not a number: " + FromWide(Text));
    }
  }
  DWORD Timeout(const Command& C) const {
    auto It = C.Options.find(L"timeout");
    return It == C.Options.end() ? FDefaultTimeout : Number(It->second);
  }
  static std::wstring Option(const Command& C, const wchar_t* Name) {
    auto It = C.Options.find(Name);
    return It == C.Options.end() ? std::wstring() : It->second;
  }
  // Repeats Check until it returns no complaint or the time is up; then the last complaint fails.
  static void Until(DWORD Ms, const std::function<std::string()>& Check) {
    const double End = Now() + Ms;
    for (;;) {
      std::string Complaint = Check();
      if (Complaint.empty()) return;
      if (Now() >= End) throw Failure(Complaint);
      Sleep(25);
    }
  }
  HWND Current() const {
    if (!FCurrent) throw Failure("no current window (use \"window\" first)");
    if (!IsWindow(FCurrent)) throw Failure("the current window is gone");
    return FCurrent;
  }
  WindowQuery Query(const Command& C, size_t CaptionArg) const {
    WindowQuery Q;
    Q.Caption = Arg(C, CaptionArg);
    Q.Class = Option(C, L"class");
    Q.Text = Option(C, L"text");
    return Q;
  }
  // The control a selector names, or null.
  HWND FindControl(const std::wstring& Selector) const {
    const auto Children = VisibleChildren(Current());
    if (Selector.size() > 1 && Selector[0] == L'#') {
      const DWORD Id = Number(Selector.substr(1));
      for (HWND Child : Children)
        if ((static_cast<DWORD>(GetDlgCtrlID(Child)) & 0xFFFF) == (Id & 0xFFFF)) return Child;  // ids of dialogs are 16-bit
      return nullptr;
    }
    const size_t Colon = Selector.rfind(L':');
    if (Colon != std::wstring::npos && Colon > 0 && Colon + 1 < Selector.size() &&
        Selector.find_first_not_of(L"0123456789", Colon + 1) == std::wstring::npos &&
        Selector.find(L' ') == std::wstring::npos) {
      const std::wstring Class = Selector.substr(0, Colon);
      DWORD N = Number(Selector.substr(Colon + 1));
      for (HWND Child : Children)
        if (SameText(ClassOf(Child), Class) && --N == 0) return Child;
      return nullptr;
    }
    if (Selector.size() > 1 && Selector[0] == L'~') {
      for (HWND Child : Children)
        if (TextOf(Child).find(Selector.substr(1)) != std::wstring::npos) return Child;
      return nullptr;
    }
    for (HWND Child : Children)
      if (TextOf(Child) == Selector) return Child;
    for (HWND Child : Children)
      if (WithoutMnemonic(TextOf(Child)) == Selector) return Child;
    return nullptr;
  }
  // Waits for the control (the page may still be changing after a click) up to the timeout.
  HWND Control(const Command& C, size_t I) const {
    HWND Found = nullptr;
    const std::wstring& Selector = Arg(C, I);
    Until(Timeout(C), [&] {
      Found = FindControl(Selector);
      return Found ? std::string() : "no visible control " + Quote(Selector);
    });
    return Found;
  }
  HWND TreeControl(const Command& C) const {
    HWND Tree = Control(C, 1);
    if (!SameText(ClassOf(Tree), WC_TREEVIEWW)) throw Failure(Quote(Arg(C, 1)) + " is not a tree view");
    return Tree;
  }
  TreeItem TreeItemOf(HWND Tree, const std::wstring& Path) const {
    auto Item = FindTreeItem(Tree, Path);
    if (!Item) throw Failure("no tree item " + Quote(Path));
    Send(Tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(Item->Handle));
    return *Item;
  }
  // The item's rectangle in the tree (only its text and icon with TextOnly).
  static RECT ItemRect(HWND Tree, const TreeItem& Item, bool TextOnly) {
    RemoteBuffer Remote(Tree, sizeof(RECT));
    RECT Rect = {};
    std::memcpy(&Rect, &Item.Handle, sizeof(Item.Handle));  // the item goes in, its rectangle comes back
    Remote.Write(&Rect, sizeof(Rect));
    if (!Send(Tree, TVM_GETITEMRECT, TextOnly, Remote.Address()).value_or(0)) throw Failure("the tree item is not shown");
    Remote.Read(&Rect, sizeof(Rect));
    return Rect;
  }
  HWND FindBox(const std::wstring& Text) const {
    WindowQuery Q;
    Q.Class = L"#32770";
    Q.Text = Text;
    auto Found = Q.Find();
    return Found.empty() ? nullptr : Found.front();
  }
  HWND WaitBox(const Command& C, const std::wstring& Text) const {
    HWND Box = nullptr;
    Until(Timeout(C), [&] {
      Box = FindBox(Text);
      return Box ? std::string() : "no message box showing " + Quote(Text);
    });
    return Box;
  }
  DWORD Start(const Command& C, size_t First) {
    std::wstring Line;
    for (size_t I = First; I < C.Args.size(); ++I) {
      const std::wstring& A = C.Args[I];
      if (!Line.empty()) Line += L' ';
      if (!A.empty() && A.find_first_of(L" \t\"") == std::wstring::npos) {
        Line += A;
        continue;
      }
      Line += L'"';
      for (wchar_t Ch : A) {
        if (Ch == L'"') Line += L'\\';
        Line += Ch;
      }
      Line += L'"';
    }
    if (Line.empty()) throw UsageError("start: program missing");
    STARTUPINFOW Startup = {};
    Startup.cb = sizeof(Startup);
    PROCESS_INFORMATION Process = {};
    if (!CreateProcessW(nullptr, Line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process))
      throw Failure("cannot start " + FromWide(Line) + ": " + setup::SystemErrorMessage(GetLastError()));
    CloseHandle(Process.hThread);
    Started& Entry = FStarted[Option(C, L"as")];
    Entry.Process.Reset(Process.hProcess);
    Entry.Id = Process.dwProcessId;
    return Entry.Id;
  }
  // True when process Pid is Root or was started by it, directly or not (Parents: each
  // running process's parent).
  static bool DescendsFrom(DWORD Pid, DWORD Root, const std::map<DWORD, DWORD>& Parents) {
    for (std::size_t Steps = 0; Steps <= Parents.size(); ++Steps) {
      if (Pid == Root) return true;
      const auto Parent = Parents.find(Pid);
      if (Parent == Parents.end() || Parent->second == Pid) return false;
      Pid = Parent->second;
    }
    return false;
  }
  // Windows that may be visible while the program runs; "" (only= with no class) allows none.
  // With Root, only the windows of that program and of the programs it started count: a
  // console an earlier, finished run left closing is none of its business.
  static std::string UnexpectedWindow(const std::vector<std::wstring>& Allowed, DWORD Root = 0) {
    std::map<DWORD, DWORD> Parents;
    if (Root) {
      setup::HandleGuard Snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
      PROCESSENTRY32W Entry = {};
      Entry.dwSize = sizeof(Entry);
      if (!Snapshot.Valid() || !Process32FirstW(Snapshot.Get(), &Entry)) Root = 0;  // then every window counts
      else
        do Parents[Entry.th32ProcessID] = Entry.th32ParentProcessID; while (Process32NextW(Snapshot.Get(), &Entry));
    }
    for (HWND Wnd : VisibleTopWindows()) {
      const std::wstring Class = ClassOf(Wnd);
      if (Class.empty() || !IsWindowVisible(Wnd)) continue;  // gone while we looked
      DWORD Owner = 0;
      GetWindowThreadProcessId(Wnd, &Owner);
      if (Root && !DescendsFrom(Owner, Root, Parents)) continue;
      if (std::none_of(Allowed.begin(), Allowed.end(), [&](const std::wstring& A) { return SameText(A, Class); }))
        return "unexpected window " + DescribeTop(Wnd);
    }
    return {};
  }
};

void Driver::Run(const Command& C) {
  const std::wstring& Name = C.Args[0];
  if (Name == L"window") {
    WindowQuery Q = Query(C, 1);
    Until(Timeout(C), [&] {
      auto Found = Q.Find();
      if (Found.empty()) return "no visible " + Q.Describe();
      FCurrent = Found.front();
      return std::string();
    });
  } else if (Name == L"wait-box") {
    FCurrent = WaitBox(C, Arg(C, 1));
  } else if (Name == L"answer") {
    HWND Box = WaitBox(C, Arg(C, 1));
    const std::wstring& Which = Arg(C, 2);
    static const std::map<std::wstring, int> Ids = {{L"yes", IDYES},     {L"no", IDNO},       {L"ok", IDOK},
                                                    {L"cancel", IDCANCEL}, {L"abort", IDABORT}, {L"retry", IDRETRY},
                                                    {L"ignore", IDIGNORE}};
    HWND Button = nullptr;
    std::wstring Lower = Which;
    for (auto& Ch : Lower) Ch = static_cast<wchar_t>(std::towlower(Ch));
    for (HWND Child : VisibleChildren(Box)) {
      if (!SameText(ClassOf(Child), L"Button")) continue;
      auto Id = Ids.find(Lower);
      if ((Id != Ids.end() && GetDlgCtrlID(Child) == Id->second) || WithoutMnemonic(TextOf(Child)) == Which) Button = Child;
    }
    if (!Button) {
      std::string Buttons;
      for (HWND Child : VisibleChildren(Box))
        if (SameText(ClassOf(Child), L"Button")) Buttons += " " + Quote(TextOf(Child)) + "(id " + std::to_string(GetDlgCtrlID(Child)) + ")";
      throw Failure("the message box has no button " + Quote(Which) + "; it has" + Buttons);
    }
    Print("  box " + Quote(TextOf(Box)) + ": " + Quote(BoxMessage(Box)));
    PostMessageW(Button, BM_CLICK, 0, 0);
    Until(Timeout(C), [&] { return IsWindow(Box) && IsWindowVisible(Box) ? "the message box stays after the answer" : ""; });
  } else if (Name == L"wait-gone") {
    HWND Wnd = FCurrent;
    if (!Wnd) throw Failure("no current window");
    Until(Timeout(C), [&] { return IsWindow(Wnd) && IsWindowVisible(Wnd) ? "the window is still visible" : ""; });
  } else if (Name == L"expect-windows") {
    const DWORD N = Number(Arg(C, 1));
    WindowQuery Q = Query(C, 2);
    Until(Timeout(C), [&] {
      const size_t Count = Q.Find().size();
      return Count == N ? std::string() : std::to_string(Count) + " visible " + Q.Describe() + ", expected " + std::to_string(N);
    });
  } else if (Name == L"no-window") {
    WindowQuery Q = Query(C, 1);
    const double End = Now() + Number(Option(C, L"for").empty() ? L"0" : Option(C, L"for"));
    do {
      auto Found = Q.Find();
      if (!Found.empty()) throw Failure("visible " + Q.Describe() + ": " + DescribeTop(Found.front()));
      Sleep(10);
    } while (Now() < End);
  } else if (Name == L"only-windows") {
    std::vector<std::wstring> Allowed(C.Args.begin() + 1, C.Args.end());
    if (auto Complaint = UnexpectedWindow(Allowed); !Complaint.empty()) throw Failure(Complaint);
  } else if (Name == L"list") {
    Print("window " + DescribeTop(Current()));
    for (HWND Child : VisibleChildren(Current())) Print("  " + Describe(FCurrent, Child));
  } else if (Name == L"list-windows") {
    for (HWND Wnd : VisibleTopWindows()) Print("  " + DescribeTop(Wnd));
  } else if (Name == L"close") {
    PostMessageW(Current(), WM_CLOSE, 0, 0);
  } else if (Name == L"screenshot") {
    SaveScreenshot(C.Args.size() > 2 && Arg(C, 2) == L"screen" ? nullptr : Current(), Arg(C, 1));
  } else if (Name == L"mouse-click") {
    const int X = static_cast<int>(Number(Arg(C, 1))), Y = static_cast<int>(Number(Arg(C, 2)));
    INPUT Events[3] = {};
    for (INPUT& Event : Events) {
      Event.type = INPUT_MOUSE;
      Event.mi.dx = MulDiv(X, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
      Event.mi.dy = MulDiv(Y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
      Event.mi.dwFlags = MOUSEEVENTF_ABSOLUTE;
    }
    Events[0].mi.dwFlags |= MOUSEEVENTF_MOVE;
    Events[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    Events[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    if (SendInput(3, Events, sizeof(INPUT)) != 3) throw Failure("the mouse input was not taken");
  } else if (Name == L"click") {
    HWND Button = Control(C, 1);
    Until(Timeout(C), [&] { return IsWindowEnabled(Button) ? "" : Quote(Arg(C, 1)) + " is disabled"; });
    // Posted: a click that opens a modal box would not return until the box is answered.
    PostMessageW(Button, BM_CLICK, 0, 0);
  } else if (Name == L"expect-text") {
    const std::wstring& Text = Arg(C, 1);
    Until(Timeout(C), [&] { return HasTextContaining(Current(), Text) ? "" : "no visible text " + Quote(Text); });
  } else if (Name == L"no-text") {
    const std::wstring& Text = Arg(C, 1);
    if (HasTextContaining(Current(), Text)) throw Failure("visible text " + Quote(Text));
  } else if (Name == L"expect-value") {
    HWND Ctl = Control(C, 1);
    const std::wstring& Text = Arg(C, 2);
    Until(Timeout(C), [&] {
      const std::wstring Value = TextOf(Ctl);
      return Value == Text ? std::string() : "text of " + Quote(Arg(C, 1)) + " is " + Quote(Value) + ", expected " + Quote(Text);
    });
  } else if (Name == L"expect-enabled" || Name == L"expect-disabled" || Name == L"expect-checked" ||
             Name == L"expect-unchecked") {
    HWND Ctl = Control(C, 1);
    Until(Timeout(C), [&]() -> std::string {
      if (Name == L"expect-enabled") return IsWindowEnabled(Ctl) ? "" : Quote(Arg(C, 1)) + " is disabled";
      if (Name == L"expect-disabled") return IsWindowEnabled(Ctl) ? Quote(Arg(C, 1)) + " is enabled" : "";
      if (!IsButtonWithCheck(Ctl)) return Quote(Arg(C, 1)) + " cannot be checked";
      if (Name == L"expect-checked") return IsChecked(Ctl) ? "" : Quote(Arg(C, 1)) + " is unchecked";
      return IsChecked(Ctl) ? Quote(Arg(C, 1)) + " is checked" : "";
    });
  } else if (Name == L"expect-missing") {
    if (HWND Ctl = FindControl(Arg(C, 1))) throw Failure("visible control " + Describe(Current(), Ctl));
  } else if (Name == L"key") {
    HWND Ctl = Control(C, 1);
    static const std::map<std::wstring, std::pair<UINT, UINT>> Keys = {{L"escape", {VK_ESCAPE, 0x01}},
                                                                        {L"enter", {VK_RETURN, 0x1C}}};
    auto Key = Keys.find(Arg(C, 2));
    if (Key == Keys.end()) throw UsageError("key: unknown key " + FromWide(Arg(C, 2)));
    const auto [Vk, Scan] = Key->second;
    PostMessageW(Ctl, WM_KEYDOWN, Vk, static_cast<LPARAM>(1 | Scan << 16));
    PostMessageW(Ctl, WM_KEYUP, Vk, static_cast<LPARAM>(1 | Scan << 16 | 0xC0000000u));
  } else if (Name == L"set-text") {
    HWND Ctl = Control(C, 1);
    if (!Send(Ctl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Arg(C, 2).c_str()))) throw Failure("WM_SETTEXT failed");
  } else if (Name == L"type") {
    HWND Ctl = Control(C, 1);
    for (wchar_t Ch : Arg(C, 2))
      if (!Send(Ctl, WM_CHAR, Ch, 1)) throw Failure("the control did not take WM_CHAR");
  } else if (Name == L"select" || Name == L"expect-item" || Name == L"expect-selected") {
    HWND List = Control(C, 1);
    const std::wstring& Text = Arg(C, 2);
    if (!SameText(ClassOf(List), L"ListBox")) throw Failure(Quote(Arg(C, 1)) + " is not a list box");
    int Index = -1;
    Until(Timeout(C), [&]() -> std::string {
      const auto Items = ListItems(List);
      auto It = std::find(Items.begin(), Items.end(), Text);
      if (It == Items.end()) return "the list has no item " + Quote(Text);
      Index = static_cast<int>(It - Items.begin());
      if (Name == L"expect-selected" && Send(List, LB_GETCURSEL).value_or(LB_ERR) != Index)
        return "item " + Quote(Text) + " is not selected";
      return "";
    });
    if (Name == L"select") {
      Send(List, LB_SETCURSEL, Index);
      // A click's selection change reaches the parent as this notification; LB_SETCURSEL sends none.
      PostMessageW(GetParent(List), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(List), LBN_SELCHANGE), reinterpret_cast<LPARAM>(List));
    }
  } else if (Name == L"tree-expect") {
    HWND Tree = TreeControl(C);
    const std::wstring& Path = Arg(C, 2);
    const DWORD State = Number(Arg(C, 3));
    Until(Timeout(C), [&]() -> std::string {
      auto Item = FindTreeItem(Tree, Path);
      if (!Item) return "no tree item " + Quote(Path);
      return static_cast<DWORD>(Item->State) == State ? ""
             : "tree item " + Quote(Path) + " has state " + std::to_string(Item->State) + ", expected " + std::to_string(State);
    });
  } else if (Name == L"tree-missing") {
    HWND Tree = TreeControl(C);
    if (FindTreeItem(Tree, Arg(C, 2))) throw Failure("tree item " + Quote(Arg(C, 2)) + " exists");
  } else if (Name == L"tree-click" || Name == L"tree-dblclick") {
    HWND Tree = TreeControl(C);
    const TreeItem Item = TreeItemOf(Tree, Arg(C, 2));
    const RECT Rect = ItemRect(Tree, Item, true);
    RemoteBuffer Remote(Tree, sizeof(TVHITTESTINFO));
    // The state image sits left of the item's text (and of its icon, if the tree has icons),
    // the expand button further left: the tree's own hit test finds them.
    const bool OnButton = C.Args.size() > 3 && Arg(C, 3) == L"button";
    const UINT Part = OnButton ? TVHT_ONITEMBUTTON : TVHT_ONITEMSTATEICON;
    const int Y = (Rect.top + Rect.bottom) / 2;
    int First = -1, Last = -1;
    for (int X = Rect.left - 1; X >= 0; --X) {
      TVHITTESTINFO Hit = {};
      Hit.pt = {X, Y};
      Remote.Write(&Hit, sizeof(Hit));
      Send(Tree, TVM_HITTEST, 0, Remote.Address());
      Remote.Read(&Hit, sizeof(Hit));
      if (Hit.hItem == Item.Handle && (Hit.flags & Part)) {
        if (Last < 0) Last = X;
        First = X;
      } else if (Last >= 0) {
        break;
      }
    }
    if (Last < 0) throw Failure("tree item " + Quote(Arg(C, 2)) + (OnButton ? " shows no expand button" : " shows no state image"));
    const LPARAM Point = MAKELPARAM((First + Last) / 2, Y);
    PostMessageW(Tree, WM_LBUTTONDOWN, MK_LBUTTON, Point);
    PostMessageW(Tree, WM_LBUTTONUP, 0, Point);
    if (Name == L"tree-dblclick") {
      // The system turns a second press soon after the first into this message.
      PostMessageW(Tree, WM_LBUTTONDBLCLK, MK_LBUTTON, Point);
      PostMessageW(Tree, WM_LBUTTONUP, 0, Point);
    }
  } else if (Name == L"tree-rclick") {
    HWND Tree = TreeControl(C);
    const TreeItem Item = TreeItemOf(Tree, Arg(C, 2));
    const RECT Rect = ItemRect(Tree, Item, true);
    const LPARAM Point = MAKELPARAM((Rect.left + Rect.right) / 2, (Rect.top + Rect.bottom) / 2);
    PostMessageW(Tree, WM_RBUTTONDOWN, MK_RBUTTON, Point);
    PostMessageW(Tree, WM_RBUTTONUP, 0, Point);
  } else if (Name == L"tree-expect-selected") {
    HWND Tree = TreeControl(C);
    const std::wstring& Path = Arg(C, 2);
    Until(Timeout(C), [&]() -> std::string {
      auto Item = FindTreeItem(Tree, Path);
      if (!Item) return "no tree item " + Quote(Path);
      const auto Selected = Send(Tree, TVM_GETNEXTITEM, TVGN_CARET, 0).value_or(0);
      return reinterpret_cast<HTREEITEM>(Selected) == Item->Handle ? "" : "tree item " + Quote(Path) + " is not selected";
    });
  } else if (Name == L"tree-expect-expanded") {
    HWND Tree = TreeControl(C);
    const TreeItem Item = TreeItemOf(Tree, Arg(C, 2));
    const bool Want = Arg(C, 3) == L"yes";
    const auto State = Send(Tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(Item.Handle), TVIS_EXPANDED).value_or(0);
    if (((State & TVIS_EXPANDED) != 0) != Want)
      throw Failure("tree item " + Quote(Arg(C, 2)) + (Want ? " is collapsed" : " is expanded"));
  } else if (Name == L"tree-space") {
    HWND Tree = TreeControl(C);
    const TreeItem Item = TreeItemOf(Tree, Arg(C, 2));
    Send(Tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(Item.Handle));
    // Only the key goes: the program's own message loop translates it into the WM_CHAR a
    // tree's key handler sees; posting a WM_CHAR as well would press space twice.
    PostMessageW(Tree, WM_KEYDOWN, VK_SPACE, 0x00390001);
    PostMessageW(Tree, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001u));
  } else if (Name == L"start") {
    Start(C, 1);
  } else if (Name == L"setenv") {
    const std::wstring& Variable = Arg(C, 1);
    if (!FOriginalEnvironment.count(Variable)) {
      const DWORD Size = GetEnvironmentVariableW(Variable.c_str(), nullptr, 0);
      std::optional<std::wstring> Original;
      if (Size) {
        std::wstring Value(Size, L'\0');
        Value.resize(GetEnvironmentVariableW(Variable.c_str(), Value.data(), Size));
        Original = Value;
      }
      FOriginalEnvironment[Variable] = Original;
    }
    const auto& Original = FOriginalEnvironment[Variable];
    const wchar_t* Value = C.Args.size() > 2 ? C.Args[2].c_str() : Original ? Original->c_str() : nullptr;
    if (!SetEnvironmentVariableW(Variable.c_str(), Value)) throw Failure("cannot set " + FromWide(Variable));
  } else if (Name == L"expect-module") {
    const std::wstring& Module = Arg(C, 1);
    const DWORD Pid = Program(C).Id;
    std::wstring Found;
    Until(Timeout(C), [&]() -> std::string {
      setup::HandleGuard Snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, Pid));
      if (!Snapshot.Valid()) return "cannot list the modules of the program: " + setup::SystemErrorMessage(GetLastError());
      MODULEENTRY32W Entry = {};
      Entry.dwSize = sizeof(Entry);
      for (BOOL More = Module32FirstW(Snapshot.Get(), &Entry); More; More = Module32NextW(Snapshot.Get(), &Entry))
        if (SameText(Entry.szModule, Module)) {
          Found = Entry.szExePath;
          return "";
        }
      return "the program has not loaded " + FromWide(Module);
    });
    Print("module: " + FromWide(Found));
    if (C.Args.size() > 2 && !CopyFileW(Found.c_str(), C.Args[2].c_str(), FALSE))
      throw Failure("cannot copy " + FromWide(Found) + ": " + setup::SystemErrorMessage(GetLastError()));
  } else if (Name == L"expect-taskbar") {
    HWND Wnd = Current();
    const bool Want = Arg(C, 1) == L"yes";
    const LONG_PTR Ex = GetWindowLongPtrW(Wnd, GWL_EXSTYLE);
    const bool Tool = (Ex & WS_EX_TOOLWINDOW) != 0, App = (Ex & WS_EX_APPWINDOW) != 0;
    const bool Owned = GetWindow(Wnd, GW_OWNER) != nullptr;
    if (!Want) {
      if (App || (!Tool && !Owned)) throw Failure("the window has a task-bar button: " + DescribeTop(Wnd));
    } else {
      if (!App || Tool) throw Failure("the window is not a task-bar window (WS_EX_APPWINDOW missing): " + DescribeTop(Wnd));
      if (TextOf(Wnd).empty()) throw Failure("the window has no caption");
    }
  } else if (Name == L"expect-front") {
    HWND Wnd = Current();
    Until(Timeout(C), [&]() -> std::string {
      HWND Owner = GetWindow(Wnd, GW_OWNER);
      if (!Owner || ClassOf(Owner) != Arg(C, 1)) return "the window has no owner of class " + Quote(Arg(C, 1));
      if (!IsWindowVisible(Owner)) return "its owner is hidden";
      HWND Next = GetWindow(Wnd, GW_HWNDNEXT);
      while (Next && !IsWindowVisible(Next)) Next = GetWindow(Next, GW_HWNDNEXT);
      if (Next != Owner) return "the next window behind it is " + (Next ? DescribeTop(Next) : std::string("none"));
      if (GetForegroundWindow() != Wnd) return "it is not the active window";
      return "";
    });
  } else if (Name == L"wait-exit") {
    auto Program = FStarted.find(Option(C, L"of"));
    if (Program == FStarted.end()) throw Failure("no program " + Quote(Option(C, L"of")) + " started");
    HANDLE Process = Program->second.Process.Get();
    const DWORD Expected = Number(Arg(C, 1));
    const bool Watch = C.Options.count(L"only") != 0;
    std::vector<std::wstring> Allowed;
    std::wstringstream Stream(Option(C, L"only"));
    for (std::wstring Class; std::getline(Stream, Class, L',');)
      if (!Class.empty()) Allowed.push_back(Class);
    int Polls = 0;
    Until(Timeout(C), [&]() -> std::string {
      const bool Ended = WaitForSingleObject(Process, 0) == WAIT_OBJECT_0;
      if (Watch && !Ended) {
        ++Polls;
        if (auto Complaint = UnexpectedWindow(Allowed, Program->second.Id); !Complaint.empty())
          throw Failure("while running: " + Complaint);
      }
      return Ended ? "" : "the program is still running";
    });
    DWORD Status = 0;
    GetExitCodeProcess(Process, &Status);
    if (Watch) Print("  windows checked " + std::to_string(Polls) + " times while it ran");
    if (Status != Expected)
      throw Failure("exit status " + std::to_string(Status) + ", expected " + std::to_string(Expected));
  } else if (Name == L"timed-start") {
    WindowQuery Q;
    Q.Caption = Arg(C, 1);
    Q.Text = Arg(C, 2);
    const double Begin = Now();
    Q.Pid = Start(C, 3);
    const double End = Begin + Timeout(C);
    for (;;) {
      auto Found = Q.Find();
      if (!Found.empty()) {
        FCurrent = Found.front();
        break;
      }
      if (Now() > End) throw Failure("no visible " + Q.Describe() + " of the started program");
      Sleep(1);
    }
    char Figure[64];
    std::snprintf(Figure, sizeof(Figure), "startup: %.1f ms", Now() - Begin);
    Print(Figure);
  } else if (Name == L"wait-file") {
    const std::wstring& File = Arg(C, 1);
    Until(Timeout(C), [&] { return GetFileAttributesW(File.c_str()) == INVALID_FILE_ATTRIBUTES ? "no file " + FromWide(File) : ""; });
  } else if (Name == L"make-file") {
    setup::HandleGuard File(CreateFileW(Arg(C, 1).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!File.Valid()) throw Failure("cannot create " + FromWide(Arg(C, 1)));
  } else if (Name == L"expect-version") {
    const std::wstring& File = Arg(C, 1);
    DWORD Ignored = 0;
    std::vector<char> Data(GetFileVersionInfoSizeW(File.c_str(), &Ignored));
    WORD* Translation = nullptr;
    wchar_t* Text = nullptr;
    UINT Length = 0;
    if (Data.empty() || !GetFileVersionInfoW(File.c_str(), 0, static_cast<DWORD>(Data.size()), Data.data()) ||
        !VerQueryValueW(Data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&Translation), &Length) ||
        Length < 4)
      throw Failure(FromWide(File) + " has no version information");
    wchar_t Path[64];
    swprintf(Path, 64, L"\\StringFileInfo\\%04x%04x\\", Translation[0], Translation[1]);
    const std::wstring Query = Path + Arg(C, 2);
    if (!VerQueryValueW(Data.data(), Query.c_str(), reinterpret_cast<void**>(&Text), &Length) || !Text)
      throw Failure(FromWide(File) + " has no version string " + FromWide(Arg(C, 2)));
    if (std::wstring(Text) != Arg(C, 3))
      throw Failure(FromWide(Arg(C, 2)) + " is " + Quote(std::wstring(Text)) + ", not " + Quote(Arg(C, 3)));
  } else if (Name == L"expect-resource") {
    HMODULE Module = LoadLibraryExW(Arg(C, 1).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!Module) throw Failure("cannot open " + FromWide(Arg(C, 1)) + ": " + setup::SystemErrorMessage(GetLastError()));
    const std::wstring& Resource = Arg(C, 3);
    const bool Found = FindResourceW(Module, Resource[0] == L'#' ? MAKEINTRESOURCEW(Number(Resource.substr(1))) : Resource.c_str(),
                                     MAKEINTRESOURCEW(Number(Arg(C, 2)))) != nullptr;
    FreeLibrary(Module);
    if (!Found) throw Failure(FromWide(Arg(C, 1)) + " has no resource " + FromWide(Resource) + " of type " + FromWide(Arg(C, 2)));
  } else if (Name == L"expect-icon") {
    if (ExtractIconExW(Arg(C, 1).c_str(), -1, nullptr, nullptr, 0) == 0) throw Failure(FromWide(Arg(C, 1)) + " has no icon");
  } else if (Name == L"timeout") {
    FDefaultTimeout = Number(Arg(C, 1));
  } else if (Name == L"sleep") {
    Sleep(Number(Arg(C, 1)));
  } else if (Name == L"echo") {
    std::string Line;
    for (size_t I = 1; I < C.Args.size(); ++I) Line += (I > 1 ? " " : "") + FromWide(C.Args[I]);
    Print(Line);
  } else {
    throw UsageError("unknown command " + FromWide(Name));
  }
}

const wchar_t* const cOptions[] = {L"timeout", L"class", L"text", L"for", L"only", L"as", L"of"};

Command MakeCommand(std::vector<std::wstring> Words, std::string Where) {
  Command C;
  C.Where = std::move(Where);
  for (auto& Word : Words) {
    const size_t Equal = Word.find(L'=');
    const std::wstring Key = Equal == std::wstring::npos ? L"" : Word.substr(0, Equal);
    if (!C.Args.empty() && std::find(std::begin(cOptions), std::end(cOptions), Key) != std::end(cOptions))
      C.Options[Key] = Word.substr(Equal + 1);
    else
      C.Args.push_back(std::move(Word));
  }
  return C;
}

std::vector<std::wstring> SplitLine(const std::wstring& Line) {
  std::vector<std::wstring> Words;
  size_t I = 0;
  while (I < Line.size()) {
    while (I < Line.size() && std::iswspace(Line[I])) ++I;
    if (I >= Line.size()) break;
    std::wstring Word;
    bool Quoted = false;
    for (; I < Line.size() && (Quoted || !std::iswspace(Line[I])); ++I) {
      if (Line[I] == L'"') {
        Quoted = !Quoted;
      } else if (Quoted && Line[I] == L'\\' && I + 1 < Line.size() && (Line[I + 1] == L'"' || Line[I + 1] == L'\\')) {
        Word += Line[++I];
      } else {
        Word += Line[I];
      }
    }
    if (Quoted) throw UsageError("unterminated quote");
    Words.push_back(std::move(Word));
  }
  return Words;
}

std::vector<Command> ReadScript(const std::wstring& File) {
  std::ifstream In(File.c_str(), std::ios::binary);
  if (!In) throw UsageError("cannot read the script " + FromWide(File));
  std::vector<Command> Commands;
  std::string Line;
  for (int Number = 1; std::getline(In, Line); ++Number) {
    if (Number == 1 && Line.rfind("\xEF\xBB\xBF", 0) == 0) Line.erase(0, 3);
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    const size_t First = Line.find_first_not_of(" \t");
    if (First == std::string::npos || Line[First] == '#') continue;
    try {
      Commands.push_back(MakeCommand(SplitLine(ToWide(Line)), "line " + std::to_string(Number)));
    } catch (const UsageError& Error) {
      throw UsageError("line " + std::to_string(Number) + ": " + Error.what());
    }
  }
  return Commands;
}

}  // namespace

int main() {
  int Count = 0;
  wchar_t** Argv = CommandLineToArgvW(GetCommandLineW(), &Count);
  Driver D;
  std::vector<Command> Commands;
  bool Quiet = false;
  try {
    std::vector<std::wstring> Words;
    int Start = 1;
    auto Flush = [&](int End) {
      if (!Words.empty()) Commands.push_back(MakeCommand(std::move(Words), "argument " + std::to_string(Start)));
      Words.clear();
      Start = End + 1;
    };
    for (int I = 1; I < Count; ++I) {
      const std::wstring A = Argv[I];
      if (I == 1 && A == L"-q") {
        Quiet = true;
        Start = 2;
      } else if (A == L"-f" && Words.empty() && I + 1 < Count) {
        for (auto& C : ReadScript(Argv[++I])) Commands.push_back(std::move(C));
        Start = I + 1;
      } else if (A == L";") {
        Flush(I);
      } else {
        Words.push_back(A);
      }
    }
    Flush(Count);
    if (Commands.empty()) throw UsageError("no commands (see the top of guidriver.cpp)");
  } catch (const UsageError& Error) {
    Print(std::string("guidriver: ") + Error.what());
    return 2;
  }
  for (const Command& C : Commands) {
    std::string Echo = "> ";
    for (const auto& A : C.Args) Echo += FromWide(A) + " ";
    for (const auto& [Key, Value] : C.Options) Echo += FromWide(Key) + "=" + FromWide(Value) + " ";
    if (!Quiet) Print(Echo);
    try {
      D.Run(C);
    } catch (const UsageError& Error) {
      Print("guidriver: " + C.Where + ": " + Error.what());
      D.FFailed = true;
      return 2;
    } catch (const std::exception& Error) {
      Print("guidriver: FAILED at " + C.Where + " (" + FromWide(C.Args[0]) + "): " + Error.what());
      D.DumpCurrent();
      D.FFailed = true;
      return 1;
    }
  }
  return 0;
}
