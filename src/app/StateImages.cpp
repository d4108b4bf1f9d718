#include "app/StateImages.h"

#include <cstdint>

namespace setup {
namespace {

constexpr int cSize = 16;
// The colour that stands for "transparent" while drawing; no picture uses it otherwise.
constexpr COLORREF cTransparent = RGB(255, 0, 255);

enum class TMark { None, BlackTick, GreyTick, Product7, Product8 };

struct GdiObject {
  HGDIOBJ Object;
  explicit GdiObject(HGDIOBJ O) : Object(O) {}
  ~GdiObject() {
    if (Object) DeleteObject(Object);
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
};

void DrawBox(HDC Dc) {
  GdiObject Frame(CreatePen(PS_SOLID, 1, RGB(28, 28, 28)));
  HGDIOBJ OldPen = SelectObject(Dc, Frame.Object);
  HGDIOBJ OldBrush = SelectObject(Dc, GetStockObject(WHITE_BRUSH));
  Rectangle(Dc, 2, 2, 15, 15);
  SelectObject(Dc, OldBrush);
  SelectObject(Dc, OldPen);
}

void DrawTick(HDC Dc, COLORREF Color) {
  // Three strokes side by side give a tick two to three pixels thick, as a checked box shows.
  GdiObject Pen(CreatePen(PS_SOLID, 1, Color));
  HGDIOBJ OldPen = SelectObject(Dc, Pen.Object);
  for (int Dy = 0; Dy < 3; ++Dy) {
    MoveToEx(Dc, 5, 7 + Dy, nullptr);
    LineTo(Dc, 7, 9 + Dy);
    LineTo(Dc, 12, 4 + Dy);
  }
  SelectObject(Dc, OldPen);
}

// The 1C emblem: a yellow disc in a red ring with the platform's major version in red.
void DrawProduct(HDC Dc, const wchar_t* Version) {
  GdiObject Ring(CreatePen(PS_SOLID, 2, RGB(204, 0, 0)));
  GdiObject Disc(CreateSolidBrush(RGB(255, 214, 0)));
  HGDIOBJ OldPen = SelectObject(Dc, Ring.Object);
  HGDIOBJ OldBrush = SelectObject(Dc, Disc.Object);
  Ellipse(Dc, 1, 1, 16, 16);
  SelectObject(Dc, OldBrush);
  SelectObject(Dc, OldPen);
  GdiObject Font(CreateFontW(-11, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial"));
  HGDIOBJ OldFont = SelectObject(Dc, Font.Object);
  SetBkMode(Dc, TRANSPARENT);
  SetTextColor(Dc, RGB(204, 0, 0));
  RECT Text = {1, 1, 16, 16};
  DrawTextW(Dc, Version, -1, &Text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(Dc, OldFont);
}

void DrawPicture(HDC Dc, TMark Mark) {
  RECT All = {0, 0, cSize, cSize};
  GdiObject Background(CreateSolidBrush(cTransparent));
  FillRect(Dc, &All, static_cast<HBRUSH>(Background.Object));
  switch (Mark) {
    case TMark::None: DrawBox(Dc); break;
    case TMark::BlackTick: DrawBox(Dc); DrawTick(Dc, RGB(0, 0, 0)); break;
    case TMark::GreyTick: DrawBox(Dc); DrawTick(Dc, RGB(128, 128, 128)); break;
    case TMark::Product7: DrawProduct(Dc, L"7"); break;
    case TMark::Product8: DrawProduct(Dc, L"8"); break;
  }
}

}  // namespace

HIMAGELIST CreateStateImages() {
  static const TMark Pictures[] = {TMark::None, TMark::BlackTick, TMark::None, TMark::GreyTick, TMark::Product7,
                                   TMark::Product8};
  HIMAGELIST List = ImageList_Create(cSize, cSize, ILC_COLOR32 | ILC_MASK, 6, 0);
  if (!List) return nullptr;
  HDC Screen = GetDC(nullptr);
  HDC Dc = CreateCompatibleDC(Screen);
  ReleaseDC(nullptr, Screen);
  BITMAPINFO Info{};
  Info.bmiHeader.biSize = sizeof(Info.bmiHeader);
  Info.bmiHeader.biWidth = cSize;
  Info.bmiHeader.biHeight = -cSize;
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  bool Complete = Dc != nullptr;
  for (TMark Mark : Pictures) {
    if (!Complete) break;
    void* Bits = nullptr;
    GdiObject Picture(CreateDIBSection(Dc, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0));
    if (!Picture.Object) {
      Complete = false;
      break;
    }
    HGDIOBJ Old = SelectObject(Dc, Picture.Object);
    DrawPicture(Dc, Mark);
    GdiFlush();
    SelectObject(Dc, Old);
    // Alpha stays zero throughout, so the list draws through the mask built from the key colour.
    Complete = ImageList_AddMasked(List, static_cast<HBITMAP>(Picture.Object), cTransparent) >= 0;
  }
  if (Dc) DeleteDC(Dc);
  if (!Complete) {
    ImageList_Destroy(List);
    return nullptr;
  }
  return List;
}

}  // namespace setup
