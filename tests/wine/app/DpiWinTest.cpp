// The program's windows at the screen resolution the test was started with (96, 120 or 144 DPI,
// SETUP_TEST_DPI): the wizard is walked through every page, the next-disk prompt and the
// background are shown, and every label, radio button, check box and push button must hold its
// whole text in its own font, inside its page. A picture of each window goes to
// SETUP_TEST_SHOTS. The vendor's LOGO must sit in the middle of its frame however the frame
// grows, and the wizard must carry the program's icon.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <thread>
#include <vector>

#include "app/AppWin.h"
#include "app/untMain.h"
#include "app/untWork.h"
#include "system/Messages.h"
#include "system/WideWin.h"

namespace setup {
namespace {

int AskedDpi() {
  const char* Value = std::getenv("SETUP_TEST_DPI");
  return Value ? std::atoi(Value) : 0;
}

int ScreenDpi() {
  HDC Screen = GetDC(nullptr);
  const int Dpi = GetDeviceCaps(Screen, LOGPIXELSY);
  ReleaseDC(nullptr, Screen);
  return Dpi;
}

int AtDpi(int Value) { return MulDiv(Value, ScreenDpi(), 96); }

std::wstring ClassOf(HWND Wnd) {
  wchar_t Name[64] = L"";
  GetClassNameW(Wnd, Name, 64);
  return Name;
}

std::wstring TextOf(HWND Wnd) {
  std::wstring Text(static_cast<std::size_t>(GetWindowTextLengthW(Wnd)) + 1, L'\0');
  Text.resize(static_cast<std::size_t>(GetWindowTextW(Wnd, Text.data(), static_cast<int>(Text.size()))));
  return Text;
}

std::string Size(int Width, int Height) { return std::to_string(Width) + " x " + std::to_string(Height); }

// Waits up to thirty seconds for Condition.
template <typename TCondition>
bool WaitFor(TCondition Condition) {
  for (int Attempt = 0; Attempt < 600; ++Attempt) {
    if (Condition()) return true;
    Sleep(50);
  }
  return false;
}

// What a walk found wrong, and how many controls it measured.
struct TFindings {
  std::vector<std::string> Problems;
  int Measured = 0;
  void Add(const std::string& Where, const std::string& What) { Problems.push_back(Where + ": " + What); }
};

// The room Text takes in Control's font: wrapped at Width when Wrap, else on one line.
SIZE TextRoom(HWND Control, const std::wstring& Text, bool Wrap, int Width, UINT Flags) {
  auto Font = reinterpret_cast<HFONT>(SendMessageW(Control, WM_GETFONT, 0, 0));
  HDC Dc = CreateCompatibleDC(nullptr);
  HGDIOBJ Old = SelectObject(Dc, Font ? static_cast<HGDIOBJ>(Font) : GetStockObject(SYSTEM_FONT));
  RECT Room = {0, 0, Wrap ? Width : 0, 0};
  DrawTextW(Dc, Text.c_str(), -1, &Room, DT_CALCRECT | DT_EXPANDTABS | Flags | (Wrap ? DT_WORDBREAK : DT_SINGLELINE));
  SelectObject(Dc, Old);
  DeleteDC(Dc);
  return {Room.right - Room.left, Room.bottom - Room.top};
}

// A check or radio box comes before the text, half a digit's width away from it.
int HalfDigit(HWND Control) {
  auto Font = reinterpret_cast<HFONT>(SendMessageW(Control, WM_GETFONT, 0, 0));
  HDC Dc = CreateCompatibleDC(nullptr);
  HGDIOBJ Old = SelectObject(Dc, Font ? static_cast<HGDIOBJ>(Font) : GetStockObject(SYSTEM_FONT));
  SIZE Zero{};
  GetTextExtentPoint32W(Dc, L"0", 1, &Zero);
  SelectObject(Dc, Old);
  DeleteDC(Dc);
  return Zero.cx / 2;
}

// Measures one control (labels, radio buttons, check boxes, push buttons; others are left
// alone): its text must fit its client area and the control must lie inside its parent.
void Measure(const std::string& Where, HWND Control, TFindings& Findings) {
  const std::wstring Class = ClassOf(Control);
  const auto Style = static_cast<DWORD>(GetWindowLongPtrW(Control, GWL_STYLE));
  const std::wstring Text = TextOf(Control);
  if (Text.empty()) return;
  RECT Client;
  GetClientRect(Control, &Client);
  SIZE Need{};
  if (_wcsicmp(Class.c_str(), L"Static") == 0) {
    const DWORD Kind = Style & SS_TYPEMASK;
    if (Kind != SS_LEFT && Kind != SS_CENTER && Kind != SS_RIGHT && Kind != SS_LEFTNOWORDWRAP && Kind != SS_SIMPLE)
      return;
    const bool Wrap = Kind == SS_LEFT || Kind == SS_CENTER || Kind == SS_RIGHT;
    Need = TextRoom(Control, Text, Wrap, Client.right, (Style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
  } else if (_wcsicmp(Class.c_str(), L"Button") == 0) {
    const DWORD Kind = Style & BS_TYPEMASK;
    const SIZE Line = TextRoom(Control, Text, false, 0, 0);
    if (Kind == BS_PUSHBUTTON || Kind == BS_DEFPUSHBUTTON) {
      // The button's frame takes two pixels on each side.
      Need = {Line.cx + 4, Line.cy + 4};
    } else if (Kind == BS_CHECKBOX || Kind == BS_AUTOCHECKBOX || Kind == BS_RADIOBUTTON || Kind == BS_3STATE ||
               Kind == BS_AUTO3STATE || Kind == BS_AUTORADIOBUTTON) {
      // The box is 13 pixels at 96 DPI and grows with the resolution.
      const int Box = AtDpi(13);
      Need = {Box + HalfDigit(Control) + Line.cx, std::max<LONG>(Box, Line.cy)};
    } else {
      return;
    }
  } else {
    return;
  }
  ++Findings.Measured;
  const std::string Quoted = "\"" + FromWide(Text) + "\"";
  if (Need.cx > Client.right || Need.cy > Client.bottom)
    Findings.Add(Where, Quoted + " needs " + Size(Need.cx, Need.cy) + " but has " + Size(Client.right, Client.bottom));
  HWND Parent = GetParent(Control);
  RECT Inside, Place;
  GetClientRect(Parent, &Inside);
  GetWindowRect(Control, &Place);
  MapWindowPoints(nullptr, Parent, reinterpret_cast<POINT*>(&Place), 2);
  if (Place.left < 0 || Place.top < 0 || Place.right > Inside.right || Place.bottom > Inside.bottom)
    Findings.Add(Where, Quoted + " reaches outside its page (" + std::to_string(Place.left) + ", " +
                            std::to_string(Place.top) + ")-(" + std::to_string(Place.right) + ", " +
                            std::to_string(Place.bottom) + " in " + Size(Inside.right, Inside.bottom) + ")");
}

struct TMeasureAll {
  const std::string* Where;
  TFindings* Findings;
};

BOOL CALLBACK MeasureChild(HWND Child, LPARAM Data) {
  auto& W = *reinterpret_cast<TMeasureAll*>(Data);
  Measure(*W.Where, Child, *W.Findings);
  return TRUE;
}

void MeasureAll(const std::string& Where, HWND Parent, TFindings& Findings) {
  TMeasureAll Walk{&Where, &Findings};
  EnumChildWindows(Parent, MeasureChild, reinterpret_cast<LPARAM>(&Walk));
}

// The wizard's own controls around its pages (the buttons at the bottom).
void MeasureFrame(const std::string& Where, HWND Wizard, TFindings& Findings) {
  for (HWND Child = GetWindow(Wizard, GW_CHILD); Child; Child = GetWindow(Child, GW_HWNDNEXT))
    if (ClassOf(Child) != L"TfrmWorkPanel") Measure(Where, Child, Findings);
}

// The pixels of a window as it stands on the screen, frame included.
std::vector<DWORD> WindowPixels(HWND Wnd, int Width, int Height) {
  BITMAPINFO Info{};
  Info.bmiHeader.biSize = sizeof(Info.bmiHeader);
  Info.bmiHeader.biWidth = Width;
  Info.bmiHeader.biHeight = Height;  // bottom-up, as a .bmp file stores its rows
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  std::vector<DWORD> Pixels(static_cast<std::size_t>(Width) * Height);
  HDC Source = GetWindowDC(Wnd);
  HDC Memory = CreateCompatibleDC(Source);
  HBITMAP Bitmap = CreateCompatibleBitmap(Source, Width, Height);
  HGDIOBJ Old = SelectObject(Memory, Bitmap);
  BitBlt(Memory, 0, 0, Width, Height, Source, 0, 0, SRCCOPY);
  SelectObject(Memory, Old);
  GetDIBits(Memory, Bitmap, 0, Height, Pixels.data(), &Info, DIB_RGB_COLORS);
  DeleteObject(Bitmap);
  DeleteDC(Memory);
  ReleaseDC(Wnd, Source);
  return Pixels;
}

// Wnd's pixels (frame included, bottom row first) once two readings in a row agree: painting done.
std::vector<DWORD> PaintedPixels(HWND Wnd, int& Width, int& Height) {
  RECT R;
  GetWindowRect(Wnd, &R);
  Width = R.right - R.left;
  Height = R.bottom - R.top;
  RedrawWindow(Wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  std::vector<DWORD> Pixels = WindowPixels(Wnd, Width, Height), Again;
  WaitFor([&] {
    Again = WindowPixels(Wnd, Width, Height);
    const bool Same = Again == Pixels;
    Pixels.swap(Again);
    return Same;
  });
  return Pixels;
}

// The test's LOGO is 200 x 400: a green middle of 150 x 340 (the frame's size at 96 DPI) inside
// bands 25 wide (blue left, yellow right) and 30 high (cyan top, red bottom); its bottom-left
// pixel, magenta, is the transparent colour. Its frame grows with the resolution while the
// picture keeps its pixels: cut on both sides at 96 DPI, only left and right at 120 (187 x 425),
// not at all at 144 (225 x 510). Wherever it is cut or has room, it must sit in the middle.
void MeasureLogo(HWND Wizard, TFindings& Findings) {
  int Width = 0, Height = 0;
  const std::vector<DWORD> Pixels = PaintedPixels(Wizard, Width, Height);
  RECT Window;
  GetWindowRect(Wizard, &Window);
  POINT Client{0, 0};
  ClientToScreen(Wizard, &Client);
  const int Left = Client.x - Window.left + Scaled(8), Top = Client.y - Window.top + Scaled(20);
  const int FrameWidth = Scaled(150), FrameHeight = Scaled(340);
  enum { Green, Blue, Yellow, Cyan, Red, Other };
  auto Colour = [&](int X, int Y) {
    if (X < 0 || Y < 0 || X >= Width || Y >= Height) return int(Other);
    switch (Pixels[static_cast<std::size_t>(Height - 1 - Y) * Width + X] & 0xFFFFFF) {
      case 0x00FF00: return int(Green);
      case 0x0000FF: return int(Blue);
      case 0xFFFF00: return int(Yellow);
      case 0x00FFFF: return int(Cyan);
      case 0xFF0000: return int(Red);
      default: return int(Other);
    }
  };
  int Seen[Other] = {};
  RECT Box = {Width, Height, -1, -1};
  // The frame and a ring of 6 pixels around it: nothing of the picture may lie outside the frame.
  for (int Y = Top - 6; Y < Top + FrameHeight + 6; ++Y)
    for (int X = Left - 6; X < Left + FrameWidth + 6; ++X) {
      const int C = Colour(X, Y);
      if (C == Other) continue;
      if (X < Left || Y < Top || X >= Left + FrameWidth || Y >= Top + FrameHeight) {
        Findings.Add("logo", "the picture shows outside its frame");
        return;
      }
      ++Seen[C];
      Box = {std::min<LONG>(Box.left, X), std::min<LONG>(Box.top, Y), std::max<LONG>(Box.right, X + 1),
             std::max<LONG>(Box.bottom, Y + 1)};
    }
  const int ShownWidth = std::min(200, FrameWidth), ShownHeight = std::min(400, FrameHeight);
  if (Box.right - Box.left != ShownWidth || Box.bottom - Box.top != ShownHeight)
    Findings.Add("logo", "the picture shows " + Size(Box.right - Box.left, Box.bottom - Box.top) + ", not " +
                             Size(ShownWidth, ShownHeight));
  if (Box.left - Left != (FrameWidth - ShownWidth) / 2 || Box.top - Top != (FrameHeight - ShownHeight) / 2)
    Findings.Add("logo", "the picture is not in the middle of its frame");
  // As much of each band is cut as of the band facing it.
  if (std::abs(Seen[Blue] - Seen[Yellow]) > ShownHeight || std::abs(Seen[Cyan] - Seen[Red]) > ShownWidth)
    Findings.Add("logo", "the picture is cut more on one side than on the other");
  if (Seen[Green] != 150 * 340) Findings.Add("logo", "the middle of the picture is not shown whole");
}

// The wizard shows the program's icon (icon group 1, as mksetup writes it; this program's shows
// green squares), large and small, on the task bar and in Alt+Tab.
void MeasureIcons(HWND Wizard, TFindings& Findings) {
  for (const auto& [Kind, Width, Height, Name] : {std::tuple{ICON_BIG, SM_CXICON, SM_CYICON, "large"},
                                                  std::tuple{ICON_SMALL, SM_CXSMICON, SM_CYSMICON, "small"}}) {
    const auto Shown = reinterpret_cast<HANDLE>(SendMessageW(Wizard, WM_GETICON, Kind, 0));
    const HANDLE Own = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(Width),
                                  GetSystemMetrics(Height), LR_SHARED);
    if (!Own) Findings.Add("icon", "the test program has no icon");
    else if (Shown != Own) Findings.Add("icon", std::string("the wizard's ") + Name + " icon is not the program's");
  }
}

// Keeps a picture of Wnd as SETUP_TEST_SHOTS\Name.bmp, once two readings in a row agree
// (painting done).
void Picture(HWND Wnd, const char* Name, TFindings& Findings) {
  const wchar_t* Folder = _wgetenv(L"SETUP_TEST_SHOTS");
  if (!Folder || !*Folder) return;
  int Width = 0, Height = 0;
  const std::vector<DWORD> Pixels = PaintedPixels(Wnd, Width, Height);
  // 24 bits a pixel: picture viewers take a fourth byte for transparency, which GDI leaves at 0.
  const DWORD Stride = (static_cast<DWORD>(Width) * 3 + 3) & ~3u;
  std::vector<unsigned char> Rows(static_cast<std::size_t>(Stride) * Height);
  for (int Y = 0; Y < Height; ++Y)
    for (int X = 0; X < Width; ++X) {
      const DWORD Pixel = Pixels[static_cast<std::size_t>(Y) * Width + X];
      unsigned char* To = &Rows[static_cast<std::size_t>(Y) * Stride + static_cast<std::size_t>(X) * 3];
      To[0] = static_cast<unsigned char>(Pixel);
      To[1] = static_cast<unsigned char>(Pixel >> 8);
      To[2] = static_cast<unsigned char>(Pixel >> 16);
    }
  BITMAPFILEHEADER File{};
  BITMAPINFOHEADER Header{};
  Header.biSize = sizeof(Header);
  Header.biWidth = Width;
  Header.biHeight = Height;
  Header.biPlanes = 1;
  Header.biBitCount = 24;
  Header.biCompression = BI_RGB;
  File.bfType = 0x4D42;
  File.bfOffBits = sizeof(File) + sizeof(Header);
  File.bfSize = File.bfOffBits + static_cast<DWORD>(Rows.size());
  const std::wstring Path = std::wstring(Folder) + L"\\" + ToWide(Name) + L".bmp";
  HANDLE Out = CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (Out == INVALID_HANDLE_VALUE) {
    Findings.Add(Name, "the picture cannot be written to " + FromWide(Path));
    return;
  }
  DWORD Written = 0;
  WriteFile(Out, &File, sizeof(File), &Written, nullptr);
  WriteFile(Out, &Header, sizeof(Header), &Written, nullptr);
  WriteFile(Out, Rows.data(), static_cast<DWORD>(Rows.size()), &Written, nullptr);
  CloseHandle(Out);
}

HWND VisiblePage(HWND Wizard) {
  for (HWND Child = GetWindow(Wizard, GW_CHILD); Child; Child = GetWindow(Child, GW_HWNDNEXT))
    if (ClassOf(Child) == L"TfrmWorkPanel" && IsWindowVisible(Child)) return Child;
  return nullptr;
}

struct TSearch {
  const wchar_t* Class;
  HWND Found;
};

BOOL CALLBACK MatchClass(HWND Wnd, LPARAM Data) {
  auto& S = *reinterpret_cast<TSearch*>(Data);
  if (IsWindowVisible(Wnd) && ClassOf(Wnd) == S.Class) {
    S.Found = Wnd;
    return FALSE;
  }
  return TRUE;
}

// The first visible window of class Class that Thread owns.
HWND ThreadWindow(DWORD Thread, const wchar_t* Class) {
  TSearch Search{Class, nullptr};
  EnumThreadWindows(Thread, MatchClass, reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
}

HWND ButtonOf(HWND Parent, const char* Text) {
  return FindWindowExW(Parent, nullptr, L"Button", WideText(Text).c_str());
}

// Presses a button as a click does: its parent hears BN_CLICKED.
void Press(HWND Button) {
  PostMessageW(GetParent(Button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Button), BN_CLICKED),
               reinterpret_cast<LPARAM>(Button));
}

void Check(HWND Button, bool Value) { SendMessageW(Button, BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED, 0); }

// The state pictures of a tree are drawn at the screen's resolution, and its rows hold them.
void MeasureStatePictures(const std::string& Where, HWND Page, TFindings& Findings) {
  HWND Tree = FindWindowExW(Page, nullptr, WC_TREEVIEWW, nullptr);
  if (!Tree) {
    Findings.Add(Where, "no tree");
    return;
  }
  int Width = 0, Height = 0;
  auto Images = reinterpret_cast<HIMAGELIST>(SendMessageW(Tree, TVM_GETIMAGELIST, TVSIL_STATE, 0));
  if (!Images || !ImageList_GetIconSize(Images, &Width, &Height) || Width != AtDpi(16) || Height != AtDpi(16))
    Findings.Add(Where, "state pictures of " + Size(Width, Height) + ", not " + Size(AtDpi(16), AtDpi(16)));
  const auto Row = static_cast<int>(SendMessageW(Tree, TVM_GETITEMHEIGHT, 0, 0));
  if (Row < Height) Findings.Add(Where, "rows of " + std::to_string(Row) + " pixels cut the state pictures");
}

// The walk, on a second thread while the test's thread runs the windows.
class TWalk {
 public:
  TWalk(DWORD Thread, HWND Wizard, const TfrmMain& Background, TFindings& Findings)
      : FThread(Thread), FWizard(Wizard), FBackground(Background), F(Findings) {}

  void Run() {
    if (!Walk()) F.Add("walk", "stopped early");
    // Whatever happened, the windows' loop ends.
    PostThreadMessageW(FThread, WM_QUIT, 0, 0);
  }

 private:
  bool Fail(const std::string& What) {
    F.Add("walk", What);
    return false;
  }

  // Waits for another page than Before to show.
  HWND NextPage(HWND Before) {
    HWND Page = nullptr;
    WaitFor([&] {
      Page = VisiblePage(FWizard);
      return Page && Page != Before;
    });
    return Page != Before ? Page : nullptr;
  }

  bool Next(HWND& Page, const char* Name) {
    Press(ButtonOf(FWizard, Msg::NextButton));
    HWND Before = Page;
    Page = NextPage(Before);
    if (!Page) return Fail("no page after Next into " + std::string(Name));
    SendMessageW(FWizard, WM_NULL, 0, 0);
    MeasureAll(Name, Page, F);
    MeasureFrame(Name, FWizard, F);
    Picture(FWizard, Name, F);
    return true;
  }

  bool Walk() {
    HWND Page = nullptr;
    if (!WaitFor([&] { return (Page = VisiblePage(FWizard)) != nullptr; })) return Fail("the wizard shows no page");
    SendMessageW(FWizard, WM_NULL, 0, 0);
    MeasureAll("background", FBackground.Handle, F);
    MeasureBanner();
    Picture(FBackground.Handle, "00-background", F);
    MeasureAll("01-welcome", Page, F);
    MeasureFrame("01-welcome", FWizard, F);
    Picture(FWizard, "01-welcome", F);
    MeasureLogo(FWizard, F);
    MeasureIcons(FWizard, F);
    if (!Next(Page, "02-license")) return false;
    HWND Yes = ButtonOf(Page, Msg::LicenseYes);
    if (!Yes) return Fail("no licence answer");
    Check(Yes, true);
    Press(Yes);
    if (!WaitFor([&] { return IsWindowEnabled(ButtonOf(FWizard, Msg::NextButton)) != FALSE; }))
      return Fail("Next stays disabled after the licence is accepted");
    if (!Next(Page, "03-readme") || !Next(Page, "04-directory") || !Next(Page, "05-type")) return false;
    for (const char* Type : {Msg::TypeFull, Msg::TypeTypical, Msg::TypeMinimal, Msg::TypeCustom})
      Check(ButtonOf(Page, Type), Type == Msg::TypeCustom);
    if (!Next(Page, "06-components")) return false;
    MeasureStatePictures("06-components", Page, F);
    if (!Next(Page, "07-group") || !Next(Page, "08-1c")) return false;
    MeasureStatePictures("08-1c", Page, F);
    // The run finds no cabinet beside the program and asks for the next disk.
    Press(ButtonOf(FWizard, Msg::NextButton));
    HWND Prompt = nullptr;
    if (!WaitFor([&] { return (Prompt = ThreadWindow(FThread, L"TfrmQuestion")) != nullptr; }))
      return Fail("no next-disk prompt");
    Page = VisiblePage(FWizard);
    SendMessageW(Prompt, WM_NULL, 0, 0);
    MeasureAll("09-progress", Page, F);
    MeasureAll("10-prompt", Prompt, F);
    Picture(FWizard, "09-progress", F);
    Picture(Prompt, "10-prompt", F);
    // No disk: the run is given up, and the finish page tells so.
    Press(ButtonOf(Prompt, Msg::CancelButton));
    HWND Finish = nullptr;
    if (!WaitFor([&] {
          if (HWND Box = ThreadWindow(FThread, L"#32770")) {
            const int Answer = FindWindowExW(Box, nullptr, L"Button", nullptr) && GetDlgItem(Box, IDYES) ? IDYES : IDOK;
            PostMessageW(Box, WM_COMMAND, Answer, 0);
            return false;
          }
          Finish = VisiblePage(FWizard);
          return Finish && Finish != Page && IsWindowVisible(ButtonOf(FWizard, Msg::FinishButton));
        }))
      return Fail("no finish page after the run was given up");
    SendMessageW(FWizard, WM_NULL, 0, 0);
    // The finish message takes each of its texts in turn; the restart choice is measured too.
    HWND Done = nullptr;
    for (HWND Child = GetWindow(Finish, GW_CHILD); Child; Child = GetWindow(Child, GW_HWNDNEXT))
      if (ClassOf(Child) == L"Static" && TextOf(Child) == LinesText(Msg::FinishIncomplete)) Done = Child;
    if (!Done) return Fail("the finish page does not say that the installation is incomplete");
    for (const char* Text : {Msg::FinishSucceeded, Msg::FinishRestart, Msg::FinishIncomplete}) {
      SendMessageW(Done, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(LinesText(Text).c_str()));
      if (Text != Msg::FinishIncomplete) Measure("11-finish", Done, F);
    }
    MeasureAll("11-finish", Finish, F);
    MeasureFrame("11-finish", FWizard, F);
    Picture(FWizard, "11-finish", F);
    Press(ButtonOf(FWizard, Msg::FinishButton));
    return true;
  }

  // The banner keeps its picture's own size, in the bottom right corner.
  void MeasureBanner() {
    HWND Banner = IsWindowVisible(FBackground.Image1) ? FBackground.Image1 : FBackground.Image2;
    auto Bitmap = reinterpret_cast<HBITMAP>(SendMessageW(Banner, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP Info{};
    if (!Bitmap || !GetObjectW(Bitmap, sizeof(Info), &Info)) {
      F.Add("background", "the banner shows no picture");
      return;
    }
    RECT Client, Place;
    GetClientRect(FBackground.Handle, &Client);
    GetWindowRect(Banner, &Place);
    MapWindowPoints(nullptr, FBackground.Handle, reinterpret_cast<POINT*>(&Place), 2);
    if (Place.right - Place.left != Info.bmWidth || Place.bottom - Place.top != Info.bmHeight)
      F.Add("background", "the banner is " + Size(Place.right - Place.left, Place.bottom - Place.top) +
                              ", its picture " + Size(Info.bmWidth, Info.bmHeight));
    if (Place.right != Client.right || Place.bottom != Client.bottom)
      F.Add("background", "the banner is not in the bottom right corner");
  }

  DWORD FThread;
  HWND FWizard;
  const TfrmMain& FBackground;
  TFindings& F;
};

TEST(ScreenResolution, IsTheOneAsked) {
  ASSERT_NE(AskedDpi(), 0) << "SETUP_TEST_DPI is not set";
  EXPECT_EQ(ScreenDpi(), AskedDpi()) << "Wine did not take the resolution from the registry";
}

TEST(WindowsAtTheScreenResolution, EveryTextFitsItsControlOnEveryPage) {
  ASSERT_EQ(ScreenDpi(), AskedDpi()) << "not at the resolution asked";
  INITCOMMONCONTROLSEX Controls = {sizeof(Controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&Controls);
  OleInitialize(nullptr);
  TFindings Findings;
  {
    TfrmMain Main;
    ASSERT_TRUE(Main.CreateHidden());
    TfrmWork Work;
    ASSERT_TRUE(Work.Create(Main.Handle));
    ASSERT_TRUE(Main.Create(Work.Info->Description, Work.Info->NameFont, Work.Handle));
    Work.Show(false);
    TWalk Walk(GetCurrentThreadId(), Work.Handle, Main, Findings);
    std::thread Driver([&] { Walk.Run(); });
    MSG Message;
    while (GetMessageW(&Message, nullptr, 0, 0) > 0) {
      if (Work.Handle && IsDialogMessageW(Work.Handle, &Message)) continue;
      TranslateMessage(&Message);
      DispatchMessageW(&Message);
    }
    Driver.join();
  }
  OleUninitialize();
  if (const wchar_t* Folder = _wgetenv(L"SETUP_TEST_SHOTS")) std::printf("pictures: %s\n", FromWide(Folder).c_str());
  for (const std::string& Problem : Findings.Problems) ADD_FAILURE() << Problem;
  // Eleven windows with several texts each: far fewer means the walk saw nothing.
  EXPECT_GE(Findings.Measured, 60);
}

}  // namespace
}  // namespace setup
