#include "wizard/Background.h"

#include <cctype>
#include <cmath>

#include "model/untData.h"
#include "system/Text.h"

namespace setup {
namespace {

// The nearest integer, halves to the even neighbour, whatever rounding mode the caller left.
int RoundHalfEven(double Value) {
  const double Floor = std::floor(Value);
  const double Fraction = Value - Floor;
  double Result = Floor;
  if (Fraction > 0.5 || (Fraction == 0.5 && std::fmod(Floor, 2.0) != 0.0)) Result = Floor + 1.0;
  return static_cast<int>(Result);
}

}  // namespace

TFontSpec ParseFontSpec(std::string_view Text) {
  std::vector<std::string> Fields(5);
  SplitFields(Text, ",", Fields);
  TFontSpec Spec;
  if (!Fields[0].empty()) Spec.Name = Fields[0];
  std::int32_t Value;
  if (TryScriptStrToInt(Fields[1], Value)) Spec.Size = Value;
  if (TryScriptStrToInt(Fields[2], Value))
    Spec.Style = static_cast<std::uint8_t>(IntToSet(static_cast<std::uint32_t>(Value), 1) &
                                           (fsBold | fsItalic | fsUnderline | fsStrikeOut));
  if (TryScriptStrToInt(Fields[3], Value)) Spec.Color = static_cast<std::uint32_t>(Value);
  if (TryScriptStrToInt(Fields[4], Value) && Value >= 0 && Value <= 255) Spec.Charset = static_cast<std::uint8_t>(Value);
  return Spec;
}

std::vector<TGradientBand> GradientBands(int ClientHeight) {
  std::vector<TGradientBand> Bands;
  Bands.reserve(64);
  const double H = ClientHeight;
  for (int I = 1; I <= 64; ++I) {
    TGradientBand Band;
    Band.Blue = RoundHalfEven((1.0 - I / 64.0) * 255.0);
    Band.Top = static_cast<int>(std::trunc(H / 64.0 * (I - 1)));
    Band.Bottom = RoundHalfEven(H / 64.0 * I);
    Bands.push_back(Band);
  }
  return Bands;
}

TTileGrid TileGrid(int PictureWidth, int PictureHeight, int ClientWidth, int ClientHeight) {
  if (PictureWidth <= 0 || PictureHeight <= 0 || ClientWidth <= 0 || ClientHeight <= 0) return {};
  return {(PictureHeight + ClientHeight - 1) / PictureHeight, (PictureWidth + ClientWidth - 1) / PictureWidth};
}

bool IsBannerAddress(std::string_view Address) {
  auto StartsWith = [&](std::string_view Scheme) {
    if (Address.size() < Scheme.size()) return false;
    for (std::size_t I = 0; I < Scheme.size(); ++I)
      if (std::tolower(static_cast<unsigned char>(Address[I])) != Scheme[I]) return false;
    return true;
  };
  const std::size_t Host = StartsWith("https://") ? 8 : StartsWith("http://") ? 7 : 0;
  if (Host == 0 || Address.size() <= Host || Address[Host] == '/' || Address.size() > 2000) return false;
  for (unsigned char C : Address)
    if (C <= ' ' || C == 0x7F || C == '"') return false;
  return true;
}

}  // namespace setup
