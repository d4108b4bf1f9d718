#include "app/untMain.h"

#include <shellapi.h>

#include <cstdint>
#include <utility>

#include "app/AppWin.h"
#include "system/ResourceWin.h"
#include "system/ScopedWin.h"
#include "system/WideWin.h"
#include "wizard/Background.h"

namespace setup {
namespace {

const wchar_t* const cClassName = L"TfrmMain";

// The banners are the vendor's pictures: they keep their own pixels at any screen resolution.
constexpr int cBannerWidth = 212, cBannerHeight = 92;
constexpr int idProductName = 100, idImage1 = 101, idImage2 = 102;

// A colour as the font text gives it: negative values name a system colour by their low byte.
COLORREF ColorToRgb(std::uint32_t Color) {
  if (Color & 0x80000000u) return GetSysColor(static_cast<int>(Color & 0xFFu));
  return Color & 0x00FFFFFFu;
}

// The web page the vendor gave a banner (resource BANNERLINK<n>), or nothing: a banner without
// one is a picture only.
std::wstring BannerLink(const char* Name) {
  const void* Bytes = nullptr;
  unsigned long Size = 0;
  if (!FindProgramResource(Name, Bytes, Size)) return {};
  const std::string Address(static_cast<const char*>(Bytes), Size);
  return IsBannerAddress(Address) ? ToWide(Address) : std::wstring();
}

HBITMAP LoadBitmapResource(const wchar_t* Name) {
  HINSTANCE Instance = GetModuleHandleW(nullptr);
  if (!FindResourceW(Instance, Name, MAKEINTRESOURCEW(2) /* RT_BITMAP */)) return nullptr;
  return static_cast<HBITMAP>(LoadImageW(Instance, Name, IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

}  // namespace

void ApplyFontSpec(const std::string& Text, LOGFONTW& Font, COLORREF& Color) {
  const TFontSpec Spec = ParseFontSpec(Text);
  if (Spec.Name) {
    const std::wstring Name = ToWide(*Spec.Name).substr(0, LF_FACESIZE - 1);
    Name.copy(Font.lfFaceName, Name.size());
    Font.lfFaceName[Name.size()] = L'\0';
  }
  if (Spec.Size) Font.lfHeight = -MulDiv(*Spec.Size, ScreenDpi(), 72);
  if (Spec.Style) {
    Font.lfWeight = (*Spec.Style & fsBold) ? FW_BOLD : FW_NORMAL;
    Font.lfItalic = (*Spec.Style & fsItalic) ? TRUE : FALSE;
    Font.lfUnderline = (*Spec.Style & fsUnderline) ? TRUE : FALSE;
    Font.lfStrikeOut = (*Spec.Style & fsStrikeOut) ? TRUE : FALSE;
  }
  if (Spec.Color) Color = ColorToRgb(*Spec.Color);
  if (Spec.Charset) Font.lfCharSet = *Spec.Charset;
}

TfrmMain::~TfrmMain() {
  DestroyAtExit();
  FormDestroy();
}

bool TfrmMain::CreateHidden() {
  if (Handle) return true;
  // A tool window: it never shows on the task bar, where the wizard alone stands for the program.
  return CreateHandle({cClassName}, WS_EX_TOOLWINDOW, L"", WS_POPUP | WS_MAXIMIZE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                      GetSystemMetrics(SM_CYSCREEN), nullptr);
}

bool TfrmMain::Create(const std::string& Description, const std::string& NameFont, HWND Wizard) {
  if (lblProductName) return true;
  if (!CreateHidden()) return false;
  FWizard = Wizard;
  SetWindowTextW(Handle, ToWide(Description).c_str());
  lblProductName = CreateChild(Handle, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, 5, 4,
                               GetSystemMetrics(SM_CXSCREEN) - 40, 153, idProductName, nullptr);
  Image1 = CreateChild(Handle, L"STATIC", L"", SS_BITMAP | SS_NOTIFY, 0, 0, cBannerWidth, cBannerHeight, idImage1,
                       nullptr);
  Image2 = CreateChild(Handle, L"STATIC", L"", SS_BITMAP | SS_NOTIFY, 0, 0, cBannerWidth, cBannerHeight, idImage2,
                       nullptr);
  ShowWindow(Image1, SW_HIDE);
  ShowWindow(Image2, SW_HIDE);
  FormCreate();
  FormShow(Description, NameFont);
  if (Wizard && IsWindowVisible(Wizard)) {
    // Made after the wizard is on screen: shown right behind it, and the wizard stays active.
    SetWindowPos(Handle, Wizard, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  } else {
    ShowWindow(Handle, SW_SHOWMAXIMIZED);
  }
  PlaceBanners();
  // No paint here: the background is painted from the message loop, after the wizard is up,
  // so that drawing the whole screen does not hold back the wizard's first page.
  return true;
}

void TfrmMain::FormCreate() {
  FBackground = LoadBitmapResource(L"BACKGROUND");
  FBanner1 = LoadBitmapResource(L"BANNER1");
  FBanner2 = LoadBitmapResource(L"BANNER2");
  if (FBanner1) SendMessageW(Image1, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(FBanner1));
  if (FBanner2) SendMessageW(Image2, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(FBanner2));
  FLink1 = BannerLink("BANNERLINK1");
  FLink2 = BannerLink("BANNERLINK2");
  // Each start shows one of the vendor's two banners, taken by the clock; a single one always
  // shows, and a program without banners shows none.
  SYSTEMTIME Now;
  GetLocalTime(&Now);
  const bool First = FBanner1 && (!FBanner2 || Now.wSecond % 2 == 0);
  if (First || FBanner2) ShowWindow(First ? Image1 : Image2, SW_SHOWNA);
}

void TfrmMain::FormShow(const std::string& Description, const std::string& NameFont) {
  // The name's room (and its default font below) grows with the screen's resolution, as a size
  // in points does.
  SetWindowPos(lblProductName, nullptr, 0, 0, GetSystemMetrics(SM_CXSCREEN) - Scaled(40), Scaled(153),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowTextW(lblProductName, ToWide(Description).c_str());
  LOGFONTW Font{};
  Font.lfHeight = -Scaled(40);
  Font.lfWeight = FW_BOLD;
  Font.lfCharSet = RUSSIAN_CHARSET;
  Font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
  wcscpy(Font.lfFaceName, L"Arial");
  FNameColor = RGB(255, 255, 255);
  ApplyFontSpec(NameFont, Font, FNameColor);
  HFONT Old = FNameFont;
  FNameFont = CreateFontIndirectW(&Font);
  SendMessageW(lblProductName, WM_SETFONT, reinterpret_cast<WPARAM>(FNameFont), TRUE);
  if (Old) DeleteObject(Old);
}

void TfrmMain::PlaceBanners() {
  RECT Client;
  GetClientRect(Handle, &Client);
  for (HWND Banner : {Image1, Image2})
    SetWindowPos(Banner, nullptr, Client.right - cBannerWidth, Client.bottom - cBannerHeight, cBannerWidth,
                 cBannerHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmMain::FormPaint(HDC Dc) {
  RECT Client;
  GetClientRect(Handle, &Client);
  const int W = Client.right, H = Client.bottom;
  BITMAP Picture{};
  if (FBackground && GetObjectW(FBackground, sizeof(Picture), &Picture)) {
    const TScopedMemoryDC Source(CreateCompatibleDC(Dc));
    const TSelection Selected(Source.Get(), FBackground);
    const TTileGrid Grid = TileGrid(Picture.bmWidth, Picture.bmHeight, W, H);
    for (int Row = 0; Row < Grid.Rows; ++Row)
      for (int Column = 0; Column < Grid.Columns; ++Column)
        BitBlt(Dc, Column * Picture.bmWidth, Row * Picture.bmHeight, Picture.bmWidth, Picture.bmHeight, Source.Get(), 0,
               0, SRCCOPY);
    return;
  }
  for (const TGradientBand& Band : GradientBands(H)) {
    const TScopedBrush Brush(CreateSolidBrush(RGB(0, 0, Band.Blue)));
    RECT Rect = {0, Band.Top, W, Band.Bottom};
    FillRect(Dc, &Rect, Brush.Get());
  }
}

void TfrmMain::FormActivate() {
  if (FWizard) PostMessageW(FWizard, WM_ACTIVATE, WA_ACTIVE, 0);
}

void TfrmMain::FormDestroy() {
  for (HBITMAP* Picture : {&FBackground, &FBanner1, &FBanner2}) {
    if (*Picture) DeleteObject(*Picture);
    *Picture = nullptr;
  }
  if (FNameFont) DeleteObject(FNameFont);
  FNameFont = nullptr;
}

void TfrmMain::Image1Click() {
  if (!FLink1.empty()) OpenAddress(FLink1);
}

void TfrmMain::Image2Click() {
  if (!FLink2.empty()) OpenAddress(FLink2);
}

LRESULT TfrmMain::WindowMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT Paint;
      HDC Dc = BeginPaint(Handle, &Paint);
      FormPaint(Dc);
      EndPaint(Handle, &Paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      FormPaint(reinterpret_cast<HDC>(WParam));
      return 0;
    case WM_SIZE:
      PlaceBanners();
      // The tiles and bands depend on the whole client area.
      InvalidateRect(Handle, nullptr, FALSE);
      break;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(LParam) == lblProductName) {
        HDC Dc = reinterpret_cast<HDC>(WParam);
        SetBkMode(Dc, TRANSPARENT);
        SetTextColor(Dc, FNameColor);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      }
      break;
    case WM_SETCURSOR: {
      const auto Over = reinterpret_cast<HWND>(WParam);
      // Only a banner that leads somewhere looks like a link.
      if ((Over == Image1 && !FLink1.empty()) || (Over == Image2 && !FLink2.empty())) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    }
    case WM_COMMAND:
      if (HIWORD(WParam) == STN_CLICKED) {
        if (reinterpret_cast<HWND>(LParam) == Image1) Image1Click();
        if (reinterpret_cast<HWND>(LParam) == Image2) Image2Click();
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(WParam) != WA_INACTIVE) FormActivate();
      break;
    case WM_CLOSE:
      // It ends with the program, not on its own.
      return 0;
    case WM_DESTROY:
      // A static control may keep a copy of a picture it was given; that copy is ours to free.
      for (auto [Banner, Given] : {std::pair{Image1, FBanner1}, std::pair{Image2, FBanner2}}) {
        auto Shown = reinterpret_cast<HBITMAP>(SendMessageW(Banner, STM_GETIMAGE, IMAGE_BITMAP, 0));
        if (Shown && Shown != Given) DeleteObject(Shown);
      }
      // The children go with the window; nothing of them is reached after this.
      lblProductName = Image1 = Image2 = nullptr;
      break;
  }
  return TWindowBase::WindowMessage(Msg, WParam, LParam);
}

}  // namespace setup
