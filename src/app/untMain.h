#pragma once
// The background window behind the wizard: a tiled picture or a blue gradient over the whole
// screen, the product's name at the top left and one of two banners at the bottom right.
#include <windows.h>

#include <string>

#include "app/WindowBase.h"

namespace setup {

// Applies a NAMEFONT text ("face,size,style,color,charset", each field optional, a bad field
// skipped) to Font and its Color. Size is in points at the screen's resolution.
void ApplyFontSpec(const std::string& Text, LOGFONTW& Font, COLORREF& Color);

class TfrmMain : public TWindowBase {
 public:
  TfrmMain() = default;
  ~TfrmMain() override;
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // Makes the window hidden and empty, before the wizard: the wizard, made afterwards with this
  // window as its owner, then lies above it in every stacking, the system's and the display's
  // (a display server stacks a new window above those before it, and Wine never restacks one
  // beneath another when it shows it). False when the window cannot be made.
  bool CreateHidden();
  // Fills the window (made first when CreateHidden was not called) borderless and maximised with
  // Description in the font NameFont describes, and shows it. When Wizard is already on screen,
  // the window goes right behind it and the wizard stays active. Whenever it is activated it posts
  // WM_ACTIVATE (WA_ACTIVE, 0) to Wizard, which takes the focus back (DefWindowProc does). False
  // when the window cannot be made.
  bool Create(const std::string& Description, const std::string& NameFont, HWND Wizard);

  HWND lblProductName = nullptr;
  HWND Image1 = nullptr;  // banner: the service page
  HWND Image2 = nullptr;  // banner: the blog

 private:
  LRESULT WindowMessage(UINT Msg, WPARAM WParam, LPARAM LParam) override;
  void FormCreate();
  void FormShow(const std::string& Description, const std::string& NameFont);
  void FormPaint(HDC Dc);
  void FormActivate();
  void FormDestroy();
  void PlaceBanners();
  void Image1Click();
  void Image2Click();

  HWND FWizard = nullptr;
  // The banners' web pages as the vendor gave them; empty: the banner is a picture only.
  std::wstring FLink1, FLink2;
  HBITMAP FBackground = nullptr;
  HBITMAP FBanner1 = nullptr;
  HBITMAP FBanner2 = nullptr;
  HFONT FNameFont = nullptr;
  COLORREF FNameColor = RGB(255, 255, 255);
};

}  // namespace setup
