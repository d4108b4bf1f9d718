// The state pictures of the two trees, drawn at run time.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "app/StateImages.h"

namespace setup {
namespace {

using TPixels = std::vector<COLORREF>;

// Image Index of List drawn over a white ground, as a tree shows it.
TPixels Picture(HIMAGELIST List, int Index) {
  HDC Screen = GetDC(nullptr);
  HDC Dc = CreateCompatibleDC(Screen);
  HBITMAP Bitmap = CreateCompatibleBitmap(Screen, 16, 16);
  ReleaseDC(nullptr, Screen);
  HGDIOBJ Old = SelectObject(Dc, Bitmap);
  RECT All = {0, 0, 16, 16};
  FillRect(Dc, &All, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ImageList_Draw(List, Index, Dc, 0, 0, ILD_NORMAL);
  TPixels Pixels;
  for (int Y = 0; Y < 16; ++Y)
    for (int X = 0; X < 16; ++X) Pixels.push_back(GetPixel(Dc, X, Y));
  SelectObject(Dc, Old);
  DeleteObject(Bitmap);
  DeleteDC(Dc);
  return Pixels;
}

int Count(const TPixels& Pixels, COLORREF Color) {
  int N = 0;
  for (COLORREF P : Pixels) N += P == Color;
  return N;
}

class StateImages : public testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX Init{sizeof(Init), ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&Init);
    List = CreateStateImages();
    ASSERT_NE(List, nullptr);
  }
  void TearDown() override {
    if (List) ImageList_Destroy(List);
  }
  HIMAGELIST List = nullptr;
};

TEST_F(StateImages, SixPicturesOfSixteenBySixteen) {
  EXPECT_EQ(ImageList_GetImageCount(List), 6);
  int Width = 0, Height = 0;
  ASSERT_TRUE(ImageList_GetIconSize(List, &Width, &Height));
  EXPECT_EQ(Width, 16);
  EXPECT_EQ(Height, 16);
}

TEST_F(StateImages, TicksTellTheThreeSelectionStatesApart) {
  std::array<TPixels, 6> P;
  for (int I = 0; I < 6; ++I) P[I] = Picture(List, I);
  EXPECT_NE(P[1], P[2]) << "selected looks like not selected";
  EXPECT_NE(P[1], P[3]) << "selected looks like partly selected";
  EXPECT_NE(P[3], P[2]) << "partly selected looks like not selected";
  EXPECT_EQ(P[0], P[2]) << "both unused and not selected are the empty box";
  // The full tick is black, the partial one grey; the empty box has neither.
  EXPECT_GT(Count(P[1], RGB(0, 0, 0)), 10);
  EXPECT_EQ(Count(P[3], RGB(0, 0, 0)), 0);
  EXPECT_GT(Count(P[3], RGB(128, 128, 128)), 10);
  EXPECT_EQ(Count(P[2], RGB(0, 0, 0)) + Count(P[2], RGB(128, 128, 128)), 0);
  // Boxes keep the tree's ground around them: the key colour is transparent, never shown.
  EXPECT_EQ(P[2].front(), RGB(255, 255, 255));
  for (const auto& Pixels : P) EXPECT_EQ(Count(Pixels, RGB(255, 0, 255)), 0);
}

TEST_F(StateImages, ProductPicturesDifferFromTheBoxesAndFromEachOther) {
  const TPixels P7 = Picture(List, 4), P8 = Picture(List, 5);
  EXPECT_NE(P7, P8);
  EXPECT_NE(P7, Picture(List, 2));
  EXPECT_GT(Count(P7, RGB(255, 214, 0)), 20);  // the emblem's yellow disc
}

}  // namespace
}  // namespace setup
