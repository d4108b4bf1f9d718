#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "system/Inflate.h"

using namespace setup;

namespace {

std::string Deflate(const std::string& Data, int Level, int Strategy) {
  z_stream Stream{};
  deflateInit2(&Stream, Level, Z_DEFLATED, -15, 8, Strategy);
  std::string Out(deflateBound(&Stream, Data.size()), '\0');
  Stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
  Stream.avail_in = static_cast<uInt>(Data.size());
  Stream.next_out = reinterpret_cast<Bytef*>(Out.data());
  Stream.avail_out = static_cast<uInt>(Out.size());
  deflate(&Stream, Z_FINISH);
  Out.resize(Stream.total_out);
  deflateEnd(&Stream);
  return Out;
}

}  // namespace

// zlib's output in every block type (stored, fixed, dynamic, Huffman only, runs) decodes to
// the data; anything cut or changed is refused or decodes to something else, never past
// its input.
TEST(PackedLibrary, InflatesWhatZlibDeflatesAndRefusesDamage) {
  std::mt19937 Random(11);
  const std::string Text = "MZ The quick brown fox jumps over the lazy dog. ";
  for (const std::size_t Size : {0u, 1u, 300u, 70000u}) {
    std::string Noise, Mixed;
    for (std::size_t I = 0; I < Size; ++I) {
      Noise.push_back(static_cast<char>(Random()));
      Mixed.push_back(I % 7 < 3 ? static_cast<char>(Random() % 4) : Text[(I * 13) % Text.size()]);
    }
    for (const std::string* Data : {&Noise, &Mixed})
      for (const int Level : {0, 1, 9})
        for (const int Strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE}) {
          const std::string Packed = Deflate(*Data, Level, Strategy);
          std::string Back;
          ASSERT_TRUE(Inflate(Packed, Back)) << Size << " " << Level << " " << Strategy;
          ASSERT_EQ(Back, *Data);
          Back.clear();
          if (!Packed.empty()) EXPECT_FALSE(Inflate(Packed.substr(0, Packed.size() - 1), Back) && Back == *Data);
        }
  }
  std::string Library = "MZ";
  for (int I = 0; I < 20000; ++I) Library.push_back(static_cast<char>(I % 251 < 200 ? I % 17 : Random()));
  const std::string Packed = PackLibrary(Library);
  EXPECT_LT(Packed.size(), Library.size() / 2);
  EXPECT_EQ(UnpackLibrary(Packed), Library);
  EXPECT_EQ(UnpackLibrary(Library), Library);
  EXPECT_EQ(UnpackLibrary(Packed.substr(0, Packed.size() / 2)), "");
  for (std::size_t At = 4; At < Packed.size(); At += 97) {
    std::string Changed = Packed;
    Changed[At] = static_cast<char>(Changed[At] ^ 0x5A);
    const std::string Back = UnpackLibrary(Changed);
    EXPECT_TRUE(Back.empty() || Back.size() == Library.size()) << At;
  }
}
