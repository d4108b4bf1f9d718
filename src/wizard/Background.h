#pragma once
// What the background window draws, worked out without a window: the product name's font from
// the script's NAMEFONT text, the bands of the gradient and the tiles of a background picture.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

// Font styles as the style field stores them, one bit each.
enum : std::uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// The parts of a font that a NAMEFONT text sets; a part left empty keeps the font's own value.
struct TFontSpec {
  std::optional<std::string> Name;
  std::optional<int> Size;            // points
  std::optional<std::uint8_t> Style;  // fsBold | fsItalic | ...; replaces the whole set
  std::optional<std::uint32_t> Color; // red in the low byte, then green, then blue
  std::optional<std::uint8_t> Charset;
};

// Reads "face,size,style,color,charset". Each field stands on its own: an empty face, or a
// number field that is not an integer (or a charset outside 0..255), is left empty and the
// other fields still count. Fields after the fifth are ignored.
TFontSpec ParseFontSpec(std::string_view Text);

// One band of the gradient: rows Top (inclusive) to Bottom (exclusive), blue level 0..255.
struct TGradientBand {
  int Top = 0;
  int Bottom = 0;
  int Blue = 0;
};

// The 64 bands that fill a client area of ClientHeight rows, from nearly full blue at the top
// to black at the bottom. Tops are truncated and bottoms rounded (halves to even), so adjacent
// bands may share a row but never leave one out.
std::vector<TGradientBand> GradientBands(int ClientHeight);

// How many copies of a picture cover the client area from its top left corner; the last row
// and column are cut at the edges. An empty picture gives no tiles.
struct TTileGrid {
  int Rows = 0;
  int Columns = 0;
};
TTileGrid TileGrid(int PictureWidth, int PictureHeight, int ClientWidth, int ClientHeight);

// True for a banner's web page as the program may hand it to the shell: http:// or https://,
// then a host, with no blanks, quotes or control characters (anything else could start a
// program or open a file).
bool IsBannerAddress(std::string_view Address);

}  // namespace setup
