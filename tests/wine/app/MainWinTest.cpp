// The background window: gradient, product name, banners, its place behind the wizard.
#include <gtest/gtest.h>

#include "MainSupport.h"
#include "WindowsTestSupport.h"
#include "app/untMain.h"
#include "system/WideWin.h"

namespace setup {
namespace {

using test::ClientPicture;
using test::Pump;
using test::WizardStandIn;

LOGFONTW LabelFont(const TfrmMain& Form) {
  LOGFONTW Font{};
  auto Handle = reinterpret_cast<HFONT>(SendMessageW(Form.lblProductName, WM_GETFONT, 0, 0));
  EXPECT_NE(Handle, nullptr);
  GetObjectW(Handle, sizeof(Font), &Font);
  return Font;
}

int PointsToHeight(int Points) {
  HDC Screen = GetDC(nullptr);
  const int Height = -MulDiv(Points, GetDeviceCaps(Screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, Screen);
  return Height;
}

TEST(BackgroundWindow, BorderlessMaximisedVisibleOverTheWholeScreen) {
  WizardStandIn Wizard;
  TfrmMain Form;
  ASSERT_TRUE(Form.Create("Демо", "", Wizard.Handle));
  Pump();
  EXPECT_TRUE(IsWindowVisible(Form.Handle));
  EXPECT_TRUE(IsZoomed(Form.Handle));
  const LONG_PTR Style = GetWindowLongPtrW(Form.Handle, GWL_STYLE);
  EXPECT_FALSE(Style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_BORDER));
  RECT Frame;
  GetWindowRect(Form.Handle, &Frame);
  EXPECT_EQ(Frame.left, 0);
  EXPECT_EQ(Frame.top, 0);
  EXPECT_EQ(Frame.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(Frame.bottom, GetSystemMetrics(SM_CYSCREEN));
  // Not the program's window: no owner, no task-bar button, and closing it does not end it.
  EXPECT_EQ(GetWindow(Form.Handle, GW_OWNER), nullptr);
  EXPECT_TRUE(GetWindowLongPtrW(Form.Handle, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  SendMessageW(Form.Handle, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(Form.Handle));
}

TEST(BackgroundWindow, GradientRunsFromNearlyFullBlueToBlack) {
  WizardStandIn Wizard;
  TfrmMain Form;
  ASSERT_TRUE(Form.Create("Демо", "", Wizard.Handle));
  const ClientPicture Picture(Form.Handle);
  ASSERT_GT(Picture.Height, 64);
  EXPECT_EQ(Picture.At(0, 0), 251u);
  EXPECT_EQ(Picture.At(Picture.Width - 1, 0), 251u);
  EXPECT_EQ(Picture.At(Picture.Width / 2, Picture.Height - 1), 0u);
  // Every row is painted, in blue only, darkening downward.
  DWORD Above = 255;
  for (int Y = 0; Y < Picture.Height; ++Y) {
    const DWORD Pixel = Picture.At(Picture.Width / 3, Y);
    ASSERT_EQ(Pixel & 0xFFFF00u, 0u) << "row " << Y;
    ASSERT_LE(Pixel, Above) << "row " << Y;
    Above = Pixel;
  }
  // The second band starts at H / 64, truncated.
  const int SecondTop = Picture.Height / 64;
  EXPECT_EQ(Picture.At(0, SecondTop + 1), 247u);
}

TEST(BackgroundWindow, ProductNameInTheDefaultFont) {
  WizardStandIn Wizard;
  TfrmMain Form;
  ASSERT_TRUE(Form.Create("Демонстрационный продукт", "", Wizard.Handle));
  EXPECT_EQ(FromWide(test::TextOf(Form.lblProductName)), "Демонстрационный продукт");
  RECT Label;
  GetWindowRect(Form.lblProductName, &Label);
  EXPECT_EQ(Label.left, 5);
  EXPECT_EQ(Label.top, 4);
  EXPECT_EQ(Label.right - Label.left, GetSystemMetrics(SM_CXSCREEN) - 40);
  EXPECT_EQ(Label.bottom - Label.top, 153);
  const LOGFONTW Font = LabelFont(Form);
  EXPECT_STREQ(Font.lfFaceName, L"Arial");
  EXPECT_EQ(Font.lfHeight, -40);
  EXPECT_EQ(Font.lfWeight, FW_BOLD);
  EXPECT_EQ(Font.lfCharSet, RUSSIAN_CHARSET);
  EXPECT_FALSE(Font.lfItalic);
}

TEST(BackgroundWindow, NameFontReplacesTheLabelsFont) {
  WizardStandIn Wizard;
  TfrmMain Form;
  ASSERT_TRUE(Form.Create("Демо", "Impact,36,0,16777215,204", Wizard.Handle));
  const LOGFONTW Font = LabelFont(Form);
  EXPECT_STREQ(Font.lfFaceName, L"Impact");
  EXPECT_EQ(Font.lfHeight, PointsToHeight(36));
  EXPECT_EQ(Font.lfWeight, FW_NORMAL);
  EXPECT_FALSE(Font.lfItalic || Font.lfUnderline || Font.lfStrikeOut);
  EXPECT_EQ(Font.lfCharSet, 204);
}

TEST(BackgroundWindow, BadNameFontFieldsAreSkipped) {
  WizardStandIn Wizard;
  TfrmMain Form;
  ASSERT_TRUE(Form.Create("Демо", "Arial,big,3", Wizard.Handle));
  const LOGFONTW Font = LabelFont(Form);
  EXPECT_STREQ(Font.lfFaceName, L"Arial");
  EXPECT_EQ(Font.lfHeight, -40);
  EXPECT_EQ(Font.lfWeight, FW_BOLD);
  EXPECT_TRUE(Font.lfItalic);
  EXPECT_FALSE(Font.lfUnderline);
}

TEST(ApplyFontSpec, ColourAndStyleBits) {
  LOGFONTW Font{};
  Font.lfWeight = FW_BOLD;
  wcscpy(Font.lfFaceName, L"Arial");
  COLORREF Color = RGB(255, 255, 255);
  ApplyFontSpec(",,12,255", Font, Color);
  EXPECT_STREQ(Font.lfFaceName, L"Arial");
  EXPECT_EQ(Font.lfWeight, FW_NORMAL);
  EXPECT_TRUE(Font.lfUnderline && Font.lfStrikeOut);
  EXPECT_EQ(Color, RGB(255, 0, 0));
  ApplyFontSpec("", Font, Color);
  EXPECT_EQ(Color, RGB(255, 0, 0));
}

TEST(BackgroundWindow, OneBannerAtTheBottomRightCorner) {
  WizardStandIn Wizard;
  TfrmMain Form;
  ASSERT_TRUE(Form.Create("Демо", "", Wizard.Handle));
  Pump();
  const bool First = IsWindowVisible(Form.Image1), Second = IsWindowVisible(Form.Image2);
  EXPECT_NE(First, Second) << "exactly one banner shows";
  for (HWND Banner : {Form.Image1, Form.Image2}) {
    RECT Place;
    GetWindowRect(Banner, &Place);
    EXPECT_EQ(Place.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(Place.bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(Place.right - Place.left, 212);
    EXPECT_EQ(Place.bottom - Place.top, 92);
    auto Picture = reinterpret_cast<HBITMAP>(SendMessageW(Banner, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(Picture, nullptr);
    BITMAP Info{};
    GetObjectW(Picture, sizeof(Info), &Info);
    EXPECT_EQ(Info.bmWidth, 212);
    EXPECT_EQ(Info.bmHeight, 92);
    // This program gives the banners no web page: a picture only, no hand cursor over it.
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    SendMessageW(Form.Handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(Banner), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
  }
  // The two invitations are different pictures.
  EXPECT_NE(SendMessageW(Form.Image1, STM_GETIMAGE, IMAGE_BITMAP, 0),
            SendMessageW(Form.Image2, STM_GETIMAGE, IMAGE_BITMAP, 0));
  // The pictures are stored run-length compressed with a palette: they come out whole, with the
  // colours they were drawn in (frame corner, the middle of the gradient, the button).
  struct Spot {
    int X, Y;
    COLORREF Service, Blog;
  };
  const Spot Spots[] = {{1, 1, RGB(14, 72, 162), RGB(28, 95, 33)},
                        {205, 46, RGB(40, 119, 203), RGB(65, 141, 69)},
                        {112, 71, RGB(255, 213, 74), RGB(255, 213, 74)},
                        {100, 88, RGB(255, 255, 255), RGB(255, 255, 255)}};
  HDC Screen = GetDC(nullptr);
  for (HWND Banner : {Form.Image1, Form.Image2}) {
    auto Picture = reinterpret_cast<HBITMAP>(SendMessageW(Banner, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(Picture, nullptr);
    BITMAPINFO Format{};
    Format.bmiHeader.biSize = sizeof(Format.bmiHeader);
    Format.bmiHeader.biWidth = 212;
    Format.bmiHeader.biHeight = -92;  // top row first
    Format.bmiHeader.biPlanes = 1;
    Format.bmiHeader.biBitCount = 32;
    Format.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> Pixels(212 * 92);
    ASSERT_EQ(GetDIBits(Screen, Picture, 0, 92, Pixels.data(), &Format, DIB_RGB_COLORS), 92);
    for (const Spot& At : Spots) {
      const std::uint32_t P = Pixels[At.Y * 212 + At.X];
      const COLORREF Seen = RGB((P >> 16) & 0xFF, (P >> 8) & 0xFF, P & 0xFF);
      EXPECT_EQ(Seen, Banner == Form.Image1 ? At.Service : At.Blog) << "at " << At.X << "," << At.Y;
    }
  }
  ReleaseDC(nullptr, Screen);
}

TEST(BackgroundWindow, HandsActivationToTheWizard) {
  WizardStandIn Wizard;
  TfrmMain Form;
  ASSERT_TRUE(Form.Create("Демо", "", Wizard.Handle));
  Pump();
  WizardStandIn::Activations() = 0;
  SetActiveWindow(Form.Handle);
  Pump();
  EXPECT_EQ(WizardStandIn::Activations(), 1);
  // The wizard's default handling takes the focus back.
  EXPECT_EQ(GetActiveWindow(), Wizard.Handle);
}

}  // namespace
}  // namespace setup
