// The background window of a program that carries a BACKGROUND picture (a 40 x 30 tile with a
// red top-left pixel, a green right column and a blue bottom row), no banner pictures, and a web
// page for its first banner only.
#include <gtest/gtest.h>

#include "MainSupport.h"
#include "app/untMain.h"

namespace setup {
namespace {

TEST(TiledBackground, PictureTilesTheWholeClientFromTheTopLeft) {
  test::WizardStandIn Wizard;
  TfrmMain Form;
  ASSERT_TRUE(Form.Create("Демо", "", Wizard.Handle));
  const test::ClientPicture Picture(Form.Handle);
  ASSERT_GT(Picture.Width, 40);
  int Corners = 0;
  for (int Y = 0; Y < Picture.Height; Y += 30)
    for (int X = 0; X < Picture.Width; X += 40) {
      ASSERT_EQ(Picture.At(X, Y), 0xFF0000u) << X << "," << Y;
      ++Corners;
    }
  EXPECT_EQ(Corners, ((Picture.Width + 39) / 40) * ((Picture.Height + 29) / 30));
  EXPECT_EQ(Picture.At(39, 1), 0x00FF00u);
  EXPECT_EQ(Picture.At(41, 29), 0x0000FFu);
  EXPECT_EQ(Picture.At(1, 1), 0x808080u);
  // The last row and column are cut at the edges, not left unpainted or black.
  const int LastX = Picture.Width - 1, LastY = Picture.Height - 1;
  const DWORD Expected = (LastX % 40 == 39) ? 0x00FF00u : (LastY % 30 == 29) ? 0x0000FFu : 0x808080u;
  EXPECT_EQ(Picture.At(LastX, LastY) , (LastX % 40 == 0 && LastY % 30 == 0) ? 0xFF0000u : Expected);
}

TEST(TiledBackground, WithoutBannerPicturesNoBannerShows) {
  test::WizardStandIn Wizard;
  TfrmMain Form;
  ASSERT_TRUE(Form.Create("Демо", "", Wizard.Handle));
  EXPECT_FALSE(IsWindowVisible(Form.Image1));
  EXPECT_FALSE(IsWindowVisible(Form.Image2));
}

TEST(TiledBackground, OnlyTheBannerWithAWebPageShowsTheHand) {
  test::WizardStandIn Wizard;
  TfrmMain Form;
  ASSERT_TRUE(Form.Create("Демо", "", Wizard.Handle));
  const HCURSOR Hand = LoadCursorW(nullptr, IDC_HAND);
  for (HWND Banner : {Form.Image1, Form.Image2}) {
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    SendMessageW(Form.Handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(Banner), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    if (Banner == Form.Image1)
      EXPECT_EQ(GetCursor(), Hand);
    else
      EXPECT_NE(GetCursor(), Hand);
  }
}

}  // namespace
}  // namespace setup
