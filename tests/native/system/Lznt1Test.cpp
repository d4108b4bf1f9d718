#include <gtest/gtest.h>

#include <random>
#include <string>

#include "system/Lznt1.h"

using namespace setup;

// Round trips over the chunk edges, with data that packs well, not at all, and in between;
// the packed form of repetitive data is much shorter, that of random data barely longer.
TEST(Lznt1, RoundTripsAcrossChunkEdgesAndRefusesDamage) {
  std::mt19937 Random(7);
  const std::string Text = "MZ The quick brown fox jumps over the lazy dog. ";
  for (const std::size_t Size : {0u, 1u, 3u, 4095u, 4096u, 4097u, 8192u, 12345u}) {
    std::string Repetitive, Noise, Mixed;
    for (std::size_t I = 0; I < Size; ++I) {
      Repetitive.push_back(Text[I % Text.size()]);
      Noise.push_back(static_cast<char>(Random()));
      Mixed.push_back(I % 7 < 3 ? static_cast<char>(Random() % 4) : Text[(I * 13) % Text.size()]);
    }
    for (const std::string* Data : {&Repetitive, &Noise, &Mixed}) {
      const std::string Packed = Lznt1Compress(*Data);
      std::string Back;
      ASSERT_TRUE(Lznt1Decompress(Packed, Back)) << Size;
      EXPECT_EQ(Back, *Data) << Size;
      EXPECT_LE(Packed.size(), Data->size() + Data->size() / 2048 + 4);
    }
    if (Size >= 4096) EXPECT_LT(Lznt1Compress(Repetitive).size(), Size / 8);
  }
  // The library forms: packed, as it is, and damaged.
  std::string Library = "MZ";
  for (int I = 0; I < 20000; ++I) Library.push_back(static_cast<char>(I % 251 < 200 ? I % 17 : Random()));
  const std::string Packed = PackLibrary(Library);
  EXPECT_LT(Packed.size(), Library.size());
  EXPECT_EQ(UnpackLibrary(Packed), Library);
  EXPECT_EQ(UnpackLibrary(Library), Library);
  std::string Cut = Packed.substr(0, Packed.size() / 2), Changed = Packed;
  Changed[4] = static_cast<char>(0x00);
  Changed[5] = static_cast<char>(0x40);  // a chunk header without its signature
  EXPECT_EQ(UnpackLibrary(Cut), "");
  EXPECT_EQ(UnpackLibrary(Changed), "");
  EXPECT_EQ(UnpackLibrary("PK"), "");
}
