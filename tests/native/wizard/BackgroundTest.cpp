// The background window's font text, gradient bands and picture tiles.
#include <gtest/gtest.h>

#include "wizard/Background.h"

namespace setup {
namespace {

TEST(FontSpec, FullDescriptionSetsEveryPart) {
  const TFontSpec Spec = ParseFontSpec("Impact,36,0,16777215,204");
  EXPECT_EQ(Spec.Name, "Impact");
  EXPECT_EQ(Spec.Size, 36);
  EXPECT_EQ(Spec.Style, 0);  // regular: the set is replaced, not merged with bold
  EXPECT_EQ(Spec.Color, 0xFFFFFFu);
  EXPECT_EQ(Spec.Charset, 204);
}

TEST(FontSpec, BadFieldIsSkippedAndTheOthersStillApply) {
  const TFontSpec Spec = ParseFontSpec("Arial,big,3");
  EXPECT_EQ(Spec.Name, "Arial");
  EXPECT_FALSE(Spec.Size.has_value());
  EXPECT_EQ(Spec.Style, fsBold | fsItalic);
  EXPECT_FALSE(Spec.Color.has_value());
  EXPECT_FALSE(Spec.Charset.has_value());

  // A bad style or colour does not stop the charset after it.
  const TFontSpec Later = ParseFontSpec(",12,x,y,161");
  EXPECT_FALSE(Later.Name.has_value());
  EXPECT_EQ(Later.Size, 12);
  EXPECT_FALSE(Later.Style.has_value());
  EXPECT_FALSE(Later.Color.has_value());
  EXPECT_EQ(Later.Charset, 161);
}

TEST(FontSpec, EmptyTextChangesNothing) {
  const TFontSpec Spec = ParseFontSpec("");
  EXPECT_FALSE(Spec.Name || Spec.Size || Spec.Style || Spec.Color || Spec.Charset);
}

TEST(FontSpec, StyleTakesTheLowByteAndItsFourStyleBits) {
  EXPECT_EQ(ParseFontSpec("A,1,15").Style, fsBold | fsItalic | fsUnderline | fsStrikeOut);
  EXPECT_EQ(ParseFontSpec("A,1,260").Style, fsUnderline);           // 0x104: only the low byte counts
  EXPECT_EQ(ParseFontSpec("A,1,-1").Style, 15);                     // all bits of the byte
  EXPECT_EQ(ParseFontSpec("A,1,$A").Style, fsItalic | fsStrikeOut); // the script's hex notation
}

TEST(FontSpec, FieldsBeyondTheFifthAndBadCharsetsAreIgnored) {
  const TFontSpec Spec = ParseFontSpec("Tahoma,10,1,255,0,999,extra");
  EXPECT_EQ(Spec.Name, "Tahoma");
  EXPECT_EQ(Spec.Color, 255u);
  EXPECT_EQ(Spec.Charset, 0);
  EXPECT_FALSE(ParseFontSpec("Tahoma,10,1,255,300").Charset.has_value());
  EXPECT_FALSE(ParseFontSpec("Tahoma,10,1,255,-1").Charset.has_value());
  // Numbers with trailing blanks are not integers; leading blanks are allowed.
  EXPECT_FALSE(ParseFontSpec("Tahoma,10 ").Size.has_value());
  EXPECT_EQ(ParseFontSpec("Tahoma, 10").Size, 10);
}

TEST(Gradient, HeightOf640GivesSixtyFourBandsOfTen) {
  const auto Bands = GradientBands(640);
  ASSERT_EQ(Bands.size(), 64u);
  for (std::size_t I = 0; I < Bands.size(); ++I) {
    EXPECT_EQ(Bands[I].Top, static_cast<int>(I) * 10);
    EXPECT_EQ(Bands[I].Bottom, static_cast<int>(I) * 10 + 10);
  }
  EXPECT_EQ(Bands.front().Blue, 251);
  EXPECT_EQ(Bands.back().Blue, 0);
  for (std::size_t I = 1; I < Bands.size(); ++I) EXPECT_LT(Bands[I].Blue, Bands[I - 1].Blue);
}

TEST(Gradient, OddHeightTruncatesTopsRoundsBottomsAndLeavesNoGap) {
  const auto Bands = GradientBands(100);
  ASSERT_EQ(Bands.size(), 64u);
  EXPECT_EQ(Bands.front().Top, 0);
  EXPECT_EQ(Bands.back().Bottom, 100);
  // Band 2: 1.5625 .. 3.125 -> rows 1 to 3.
  EXPECT_EQ(Bands[1].Top, 1);
  EXPECT_EQ(Bands[1].Bottom, 3);
  // 100 / 64 * 8 = 12.5 and * 40 = 62.5 round down to the even neighbour; 37.5 and 87.5 up.
  EXPECT_EQ(Bands[7].Bottom, 12);
  EXPECT_EQ(Bands[39].Bottom, 62);
  EXPECT_EQ(Bands[23].Bottom, 38);
  EXPECT_EQ(Bands[55].Bottom, 88);
  bool Overlap = false;
  for (std::size_t I = 1; I < Bands.size(); ++I) {
    EXPECT_LE(Bands[I].Top, Bands[I - 1].Bottom) << "gap before band " << I + 1;
    EXPECT_GE(Bands[I].Top, Bands[I - 1].Bottom - 1) << "band " << I + 1;
    Overlap = Overlap || Bands[I].Top < Bands[I - 1].Bottom;
  }
  EXPECT_TRUE(Overlap);
}

TEST(Gradient, BlueLevelsRoundHalvesToEven) {
  const auto Bands = GradientBands(64);
  // (1 - 32/64) * 255 = 127.5 -> 128; (1 - 2/64) * 255 = 247.03125 -> 247.
  EXPECT_EQ(Bands[31].Blue, 128);
  EXPECT_EQ(Bands[1].Blue, 247);
  EXPECT_EQ(Bands[62].Blue, 4);  // 3.984375
  // 2.5 rows per band at height 160: the bottoms 2.5, 7.5, 12.5 go to 2, 8, 12.
  const auto Wide = GradientBands(160);
  EXPECT_EQ(Wide[0].Bottom, 2);
  EXPECT_EQ(Wide[2].Bottom, 8);
  EXPECT_EQ(Wide[4].Bottom, 12);
  EXPECT_EQ(Wide[1].Top, 2);  // trunc 2.5
}

TEST(Gradient, EmptyClientGivesEmptyBands) {
  for (const auto& Band : GradientBands(0)) EXPECT_EQ(Band.Top, Band.Bottom);
}

TEST(Tiles, PictureCoversTheClientFromTheTopLeftCutAtTheEdges) {
  const TTileGrid Grid = TileGrid(100, 70, 1280, 1024);
  EXPECT_EQ(Grid.Columns, 13);  // 12 whole columns and a cut one
  EXPECT_EQ(Grid.Rows, 15);     // 14 whole rows and a cut one
  const TTileGrid Exact = TileGrid(64, 32, 640, 480);
  EXPECT_EQ(Exact.Columns, 10);
  EXPECT_EQ(Exact.Rows, 15);
  const TTileGrid Large = TileGrid(2000, 1500, 1280, 1024);  // drawn once
  EXPECT_EQ(Large.Columns, 1);
  EXPECT_EQ(Large.Rows, 1);
  const TTileGrid Empty = TileGrid(0, 0, 1280, 1024);
  EXPECT_EQ(Empty.Columns * Empty.Rows, 0);
  const TTileGrid Hidden = TileGrid(100, 70, 0, 0);
  EXPECT_EQ(Hidden.Columns * Hidden.Rows, 0);
}

// A banner's address goes to the shell's "open": only a web page may get there, never a
// program, a file or a command line.
TEST(BannerAddress, OnlyWebPagesWithAHostAreTaken) {
  for (const char* Good : {"https://example.org/service", "http://example.org", "HTTPS://Example.org/a?b=c&d=%20",
                           "https://пример.рф/блог"})
    EXPECT_TRUE(IsBannerAddress(Good)) << Good;
  for (const char* Bad : {"", "https://", "http:///etc/passwd", "file:///C:/Windows/notepad.exe", "C:\\Windows\\calc.exe",
                          "calc.exe", "ftp://example.org", "https://example.org/a b", "https://example.org/\"x",
                          "https://example.org/\t", "mailto:someone@example.org", " https://example.org"})
    EXPECT_FALSE(IsBannerAddress(Bad)) << Bad;
  EXPECT_FALSE(IsBannerAddress("https://example.org/" + std::string(2000, 'a')));
}

}  // namespace
}  // namespace setup
