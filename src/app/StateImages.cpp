#include "app/StateImages.h"

#include <cstdint>

#include "app/AppWin.h"

namespace setup {
namespace {

// The pictures are designed on 16 x 16 pixels and drawn at the screen's resolution.
constexpr int cSize = 16;
// The colour that stands for "transparent" while drawing; no picture uses it otherwise.
constexpr COLORREF cTransparent = RGB(255, 0, 255);

enum class TMark { None, BlackTick, GreyTick, Product7, Product8 };

// A length of the 16 x 16 design on a picture of Size pixels.
int At(int Value, int Size) { return MulDiv(Value, Size, cSize); }

struct GdiObject {
  HGDIOBJ Object;
  explicit GdiObject(HGDIOBJ O) : Object(O) {}
  ~GdiObject() {
    if (Object) DeleteObject(Object);
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
};

void DrawBox(HDC Dc, int Size) {
  GdiObject Frame(CreatePen(PS_SOLID, 1, RGB(28, 28, 28)));
  HGDIOBJ OldPen = SelectObject(Dc, Frame.Object);
  HGDIOBJ OldBrush = SelectObject(Dc, GetStockObject(WHITE_BRUSH));
  Rectangle(Dc, At(2, Size), At(2, Size), At(15, Size), At(15, Size));
  SelectObject(Dc, OldBrush);
  SelectObject(Dc, OldPen);
}

void DrawTick(HDC Dc, COLORREF Color, int Size) {
  // Three strokes side by side (more on a larger picture) give a tick two to three pixels thick,
  // as a checked box shows.
  GdiObject Pen(CreatePen(PS_SOLID, 1, Color));
  HGDIOBJ OldPen = SelectObject(Dc, Pen.Object);
  for (int Dy = 0; Dy < At(3, Size); ++Dy) {
    MoveToEx(Dc, At(5, Size), At(7, Size) + Dy, nullptr);
    LineTo(Dc, At(7, Size), At(9, Size) + Dy);
    LineTo(Dc, At(12, Size), At(4, Size) + Dy);
  }
  SelectObject(Dc, OldPen);
}

// The 1C emblem: a yellow disc in a red ring with the platform's major version in red.
void DrawProduct(HDC Dc, const wchar_t* Version, int Size) {
  GdiObject Ring(CreatePen(PS_SOLID, At(2, Size), RGB(204, 0, 0)));
  GdiObject Disc(CreateSolidBrush(RGB(255, 214, 0)));
  HGDIOBJ OldPen = SelectObject(Dc, Ring.Object);
  HGDIOBJ OldBrush = SelectObject(Dc, Disc.Object);
  Ellipse(Dc, At(1, Size), At(1, Size), Size, Size);
  SelectObject(Dc, OldBrush);
  SelectObject(Dc, OldPen);
  GdiObject Font(CreateFontW(-At(11, Size), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial"));
  HGDIOBJ OldFont = SelectObject(Dc, Font.Object);
  SetBkMode(Dc, TRANSPARENT);
  SetTextColor(Dc, RGB(204, 0, 0));
  RECT Text = {At(1, Size), At(1, Size), Size, Size};
  DrawTextW(Dc, Version, -1, &Text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(Dc, OldFont);
}

void DrawPicture(HDC Dc, TMark Mark, int Size) {
  RECT All = {0, 0, Size, Size};
  GdiObject Background(CreateSolidBrush(cTransparent));
  FillRect(Dc, &All, static_cast<HBRUSH>(Background.Object));
  switch (Mark) {
    case TMark::None: DrawBox(Dc, Size); break;
    case TMark::BlackTick:
      DrawBox(Dc, Size);
      DrawTick(Dc, RGB(0, 0, 0), Size);
      break;
    case TMark::GreyTick:
      DrawBox(Dc, Size);
      DrawTick(Dc, RGB(128, 128, 128), Size);
      break;
    case TMark::Product7: DrawProduct(Dc, L"7", Size); break;
    case TMark::Product8: DrawProduct(Dc, L"8", Size); break;
  }
}

}  // namespace

HIMAGELIST CreateStateImages() {
  static const TMark Pictures[] = {TMark::None, TMark::BlackTick, TMark::None, TMark::GreyTick, TMark::Product7,
                                   TMark::Product8};
  const int Size = Scaled(cSize);
  HIMAGELIST List = ImageList_Create(Size, Size, ILC_COLOR32 | ILC_MASK, 6, 0);
  if (!List) return nullptr;
  HDC Screen = GetDC(nullptr);
  HDC Dc = CreateCompatibleDC(Screen);
  ReleaseDC(nullptr, Screen);
  BITMAPINFO Info{};
  Info.bmiHeader.biSize = sizeof(Info.bmiHeader);
  Info.bmiHeader.biWidth = Size;
  Info.bmiHeader.biHeight = -Size;
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
    DrawPicture(Dc, Mark, Size);
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
