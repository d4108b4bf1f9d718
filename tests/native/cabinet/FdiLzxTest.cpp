// LZX and Quantum in our cabinet library: the public test cabinets, and LZX cabinets of our
// writer read back by our library and by cabextract, whole and damaged.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>

#include <zlib.h>

#include "FdiHarness.h"
#include "cabinet/writer/CabinetWriter.h"

using namespace fdi_test;
namespace fs = std::filesystem;

namespace {

const fs::path TestCabinets = fs::path(SETUP_TESTDATA) / "cabinets";

using TFiles = std::map<std::string, std::string>;

std::string Pseudorandom(std::size_t Size, uint32_t Seed) {
  std::string Data(Size, '\0');
  uint32_t X = Seed * 2654435761u + 1;
  for (char& C : Data) {
    X = X * 1664525u + 1013904223u;
    C = char(X >> 24);
  }
  return Data;
}

std::string Text(std::size_t Size, uint32_t Seed) {
  std::string Data;
  uint32_t X = Seed;
  while (Data.size() < Size) {
    X = X * 1664525u + 1013904223u;
    Data += "entry " + std::to_string(X % 5000) + " of the product's file list\r\n";
  }
  Data.resize(Size);
  return Data;
}

// Code-like bytes: calls (0xE8 and a 32-bit displacement) between short runs of other
// instructions, some of them near the ends of 32 KB frames, where the translation stops.
std::string Calls(std::size_t Size, uint32_t Seed) {
  std::string Data;
  uint32_t X = Seed;
  while (Data.size() < Size) {
    X = X * 1664525u + 1013904223u;
    int32_t Displacement = int32_t(X % 400000) - 200000;
    Data += char(0xE8);
    Data.append(reinterpret_cast<const char*>(&Displacement), 4);
    Data += "\x8B\x45\x08\x50";
    if (X % 7 == 0) Data += char(0xE8);  // a call byte followed by another call
  }
  Data.resize(Size);
  return Data;
}

// Records of 24 bytes with a few varying fields: matches at distances of whole records.
std::string Records(std::size_t Size, uint32_t Seed) {
  std::string Data;
  uint32_t X = Seed;
  while (Data.size() < Size) {
    X = X * 1664525u + 1013904223u;
    uint32_t Record[6] = {uint32_t(Data.size()), X % 300, 0x00010000, X >> 20, 7, 0xFFFFFFFF};
    Data.append(reinterpret_cast<const char*>(Record), sizeof Record);
  }
  Data.resize(Size);
  return Data;
}

// Two frames of zeros with one call byte each: the last one a frame translates, and in the
// next frame the first one it leaves alone.
std::string CallsAtFrameEnds() {
  std::string Data(65536, '\0');
  Data[32768 - 11] = char(0xE8);
  Data[32768 + 32768 - 10] = char(0xE8);
  return Data;
}

std::string Repeated(const std::string& Piece, int Times) {
  std::string Data;
  for (int I = 0; I < Times; I++) Data += Piece;
  return Data;
}

TFiles EdgeFiles() {
  return {
      {"calls-at-frame-ends.bin", CallsAtFrameEnds()},
      {"empty.txt", ""},
      {"one.bin", "x"},
      {"frame-1.txt", Text(32767, 1)},
      {"frame.txt", Text(32768, 2)},
      {"frame+1.txt", Text(32769, 3)},
      {"run.bin", std::string(300000, 'a')},
      {"noise.bin", Pseudorandom(150000, 4)},
      {"code.bin", Calls(200000, 5)},
      {"readme.txt", Text(400000, 6)},
      // Noise repeating with the longest distances a 2^15 window allows, where a match's
      // source lies just ahead of its destination in the window.
      {"period-3.bin", Repeated(Pseudorandom(32765, 7), 4)},
      {"period-7.bin", Repeated(Pseudorandom(32761, 8), 3)},
      {"records.bin", Records(300000, 9)},
  };
}

// Writes Files into one LZX cabinet (or a set when MaxSize is given) in Dir; the first
// cabinet's name.
std::string WriteLzx(const fs::path& Dir, const TFiles& Files, unsigned WindowBits, uint64_t MaxSize = 0) {
  setup::TCabinetWriterOptions Options;
  Options.OutputPattern = (Dir / "lzx%d.cab").string();
  Options.Compression = setup::ccLzx;
  Options.LzxWindowBits = WindowBits;
  Options.MaxCabinetSize = MaxSize;
  if (MaxSize == 0) Options.OutputPattern = (Dir / "lzx.cab").string();
  setup::TCabinetWriter Writer(Options);
  for (const auto& [Name, Bytes] : Files) {
    std::istringstream In(Bytes);
    setup::TCabinetEntry Entry;
    Entry.Name = Name;
    Writer.AddFile(Entry, In, Bytes.size());
  }
  auto Written = Writer.Finish();
  return fs::path(Written.at(0)).filename().string();
}

}  // namespace

TEST(FdiLzxAndQuantum, TestCabinetsWithBothMethodsExtractLikeCabextract) {
  for (const char* Name : {"mszip_lzx_qtm.cab", "normal_2files_2folders.cab"}) {
    SCOPED_TRACE(Name);
    TExtraction R = Extract(TestCabinets.string() + "/", Name);
    ASSERT_TRUE(R.Ok) << R.Error.erfOper;
    EXPECT_EQ(R.OpenHandles, 0);
    EXPECT_FALSE(R.Leak);
    EXPECT_EQ(R.Files, CabextractFiles(TestCabinets / Name));
  }
  TExtraction R = Extract(TestCabinets.string() + "/", "mszip_lzx_qtm.cab");
  EXPECT_EQ(R.Files.count("qtm.txt"), 1u);
  EXPECT_EQ(R.Files.count("lzx.txt"), 1u);
}

class FdiLzxRoundTrip : public ::testing::TestWithParam<unsigned> {};

TEST_P(FdiLzxRoundTrip, EdgeFilesComeBackFromOurLibraryAndCabextract) {
  TTempDir Dir;
  TFiles Files = EdgeFiles();
  std::string Name = WriteLzx(Dir.Path(), Files, GetParam());
  TExtraction R = Extract(Dir.Folder(), Name);
  ASSERT_TRUE(R.Ok) << R.Error.erfOper;
  EXPECT_FALSE(R.Leak);
  EXPECT_EQ(R.OpenHandles, 0);
  EXPECT_TRUE(R.Files == Files);
  EXPECT_TRUE(CabextractFiles(Dir.Path() / Name) == Files);
  // The window, one frame and the tables: not the size of the data.
  EXPECT_LT(R.PeakMemory, (std::size_t(1) << GetParam()) + 256 * 1024);
  // Runs, text and code shrink; noise is stored, not expanded.
  std::size_t Total = 0;
  for (const auto& [File, Bytes] : Files) Total += Bytes.size();
  EXPECT_LT(fs::file_size(Dir.Path() / Name), Total / 2);
}

TEST_P(FdiLzxRoundTrip, SetSpanningCabinetsComesBackWhole) {
  TTempDir Dir;
  TFiles Files = {{"a.txt", Text(100000, 7)}, {"b.bin", Pseudorandom(120000, 8)}, {"c.bin", Calls(90000, 9)}};
  std::string First = WriteLzx(Dir.Path(), Files, GetParam(), 60000);
  ASSERT_TRUE(fs::exists(Dir.Path() / "lzx3.cab"));
  // As the setup program walks a set: each cabinet delivers the files that begin in it.
  TFiles Walked;
  for (int Number = 1; fs::exists(Dir.Path() / ("lzx" + std::to_string(Number) + ".cab")); Number++) {
    TExtraction R = Extract(Dir.Folder(), "lzx" + std::to_string(Number) + ".cab");
    ASSERT_TRUE(R.Ok) << Number << ": " << R.Error.erfOper;
    for (const auto& [File, Bytes] : R.Files) EXPECT_TRUE(Walked.emplace(File, Bytes).second) << File;
  }
  EXPECT_TRUE(Walked == Files);
  EXPECT_TRUE(CabextractFiles(Dir.Path() / First) == Files);
}

// The block type of a folder's first frame: after the call translation header (a flag and
// the 32-bit size), the first three bits.
unsigned FirstBlockType(const std::string& Cabinet) {
  uint32_t At = uint8_t(Cabinet[36]) | uint8_t(Cabinet[37]) << 8 | uint8_t(Cabinet[38]) << 16;
  const uint8_t* P = reinterpret_cast<const uint8_t*>(Cabinet.data()) + At + 8;
  uint64_t Bits = 0;
  for (int Word = 0; Word < 3; Word++) Bits = (Bits << 16) | P[2 * Word] | uint32_t(P[2 * Word + 1]) << 8;
  return unsigned(Bits >> (48 - 36)) & 7;
}

TEST(FdiLzxBlocks, EachKindIsWrittenAndReadBack) {
  TTempDir Dir;
  struct TCase {
    std::string Data;
    unsigned Type;  // verbatim 1, aligned offsets 2, stored 3
  } Cases[] = {{Text(70000, 1), 1}, {Records(70000, 2), 2}, {Pseudorandom(70000, 3), 3}};
  for (const TCase& Case : Cases) {
    TFiles Files = {{"data", Case.Data}};
    std::string Name = WriteLzx(Dir.Path(), Files, 17);
    SCOPED_TRACE(Case.Type);
    EXPECT_EQ(FirstBlockType(ReadFile(Dir.Path() / Name)), Case.Type);
    TExtraction R = Extract(Dir.Folder(), Name);
    ASSERT_TRUE(R.Ok) << R.Error.erfOper;
    EXPECT_TRUE(R.Files == Files);
    EXPECT_TRUE(CabextractFiles(Dir.Path() / Name) == Files);
  }
}

INSTANTIATE_TEST_SUITE_P(Window, FdiLzxRoundTrip, ::testing::Values(15u, 16u, 21u));

// Damage inside the compressed data (the checksums cleared so that it reaches the decoder)
// ends in a decoding error or in output cabextract agrees with, never in a crash, a hang or
// memory beyond the window.
TEST(FdiLzxDamage, AlteredDataFailsCleanly) {
  TTempDir Dir;
  TFiles Files = {{"code.bin", Calls(70000, 10)}, {"readme.txt", Text(90000, 11)}, {"noise.bin", Pseudorandom(40000, 12)}};
  std::string Name = WriteLzx(Dir.Path(), Files, 16);
  const std::string Original = ReadFile(Dir.Path() / Name);
  uint32_t FirstBlock = uint8_t(Original[36]) | uint8_t(Original[37]) << 8 | uint8_t(Original[38]) << 16;
  unsigned Blocks = uint8_t(Original[40]) | uint8_t(Original[41]) << 8;
  std::vector<std::pair<std::size_t, std::size_t>> Payloads;  // offset, size
  std::string Clean = Original;
  for (std::size_t At = FirstBlock, I = 0; I < Blocks; I++) {
    std::size_t Size = uint8_t(Clean[At + 4]) | uint8_t(Clean[At + 5]) << 8;
    std::memset(&Clean[At], 0, 4);
    Payloads.push_back({At + 8, Size});
    At += 8 + Size;
  }
  uint32_t X = 99;
  int Failures = 0;
  for (int Round = 0; Round < 60; Round++) {
    std::string Bytes = Clean;
    X = X * 1664525u + 1013904223u;
    auto [Offset, Size] = Payloads[X % Payloads.size()];
    X = X * 1664525u + 1013904223u;
    std::size_t At = Offset + X % std::min<std::size_t>(Size, 64 + Round * 40);
    if (Round % 3 == 2) {
      // Cut the block short, keeping its announced output.
      Bytes[Offset - 4] = char((At - Offset) & 0xFF);
      Bytes[Offset - 3] = char((At - Offset) >> 8);
      Bytes.erase(At, Offset + Size - At);
      Bytes.resize(Clean.size(), '\0');
    } else {
      Bytes[At] = char(Bytes[At] ^ (1 << (X >> 29)));
    }
    WriteFile(Dir.Path() / "damaged.cab", Bytes);
    SCOPED_TRACE("round " + std::to_string(Round));
    TExtraction R = Extract(Dir.Folder(), "damaged.cab");
    EXPECT_EQ(R.OpenHandles, 0);
    EXPECT_FALSE(R.Leak);
    EXPECT_LT(R.PeakMemory, 400u * 1024);
    if (!R.Ok) {
      Failures++;
      EXPECT_EQ(R.Error.erfOper, FDIERROR_MDI_FAIL);
    }
    // Whatever was completed, the files are the written ones.
    for (const auto& [File, Content] : R.Files) {
      if (R.Ok) {
        EXPECT_TRUE(Content == CabextractFiles(Dir.Path() / "damaged.cab")[File]) << File;
      }
    }
  }
  EXPECT_GT(Failures, 20);
}

TEST(FdiLzxDamage, WindowOutsideTheFormatIsAnUnknownCompression) {
  TTempDir Dir;
  std::string Name = WriteLzx(Dir.Path(), {{"a.txt", Text(1000, 1)}}, 15);
  std::string Bytes = ReadFile(Dir.Path() / Name);
  for (int Bits : {14, 22, 0}) {
    Bytes[43] = char(Bits);  // the folder's typeCompress, high byte
    WriteFile(Dir.Path() / Name, Bytes);
    TExtraction R = Extract(Dir.Folder(), Name);
    EXPECT_FALSE(R.Ok);
    EXPECT_EQ(R.Error.erfOper, FDIERROR_BAD_COMPR_TYPE) << Bits;
  }
}

// MSZIP blocks of uneven sizes. The history of a block is a 32 KB window that each block
// fills from its start, so after a short block its tail is still the older data, not the
// bytes just before it. Made here with zlib, as no tool at hand writes such cabinets.
TEST(FdiMszipHistory, ShortBlocksLeaveTheRestOfTheWindowAsItWas) {
  std::string Data = Text(120000, 21);
  const std::size_t Sizes[] = {1000, 20000, 32768, 3000, 700, 32768, 29764};
  std::string Blocks;
  std::size_t Done = 0, Count = 0;
  std::string Window(32768, '\0');
  z_stream Z{};
  ASSERT_EQ(deflateInit2(&Z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  for (std::size_t Size : Sizes) {
    ASSERT_EQ(deflateReset(&Z), Z_OK);
    if (Done) deflateSetDictionary(&Z, reinterpret_cast<const Bytef*>(Window.data()), uInt(Window.size()));
    std::string Packed(2 + deflateBound(&Z, Size), '\0');
    Packed[0] = 'C';
    Packed[1] = 'K';
    Z.next_in = reinterpret_cast<Bytef*>(&Data[Done]);
    Z.avail_in = uInt(Size);
    Z.next_out = reinterpret_cast<Bytef*>(&Packed[2]);
    Z.avail_out = uInt(Packed.size() - 2);
    ASSERT_EQ(deflate(&Z, Z_FINISH), Z_STREAM_END);
    Packed.resize(Packed.size() - Z.avail_out);
    char Header[8] = {0, 0, 0, 0, char(Packed.size() & 0xFF), char(Packed.size() >> 8), char(Size & 0xFF), char(Size >> 8)};
    Blocks += std::string(Header, 8) + Packed;
    Window.replace(0, Size, Data, Done, Size);
    Done += Size;
    Count++;
  }
  deflateEnd(&Z);
  ASSERT_EQ(Done, Data.size());
  std::string Name = "uneven.txt";
  uint32_t FirstBlock = 36 + 8 + 16 + uint32_t(Name.size()) + 1;
  std::string Cabinet = std::string("MSCF") + std::string(4, '\0');
  auto Put = [&](uint32_t V, int Bytes) {
    for (int I = 0; I < Bytes; I++) Cabinet += char(V >> (8 * I));
  };
  Put(FirstBlock + uint32_t(Blocks.size()), 4);
  Put(0, 4);
  Put(44, 4);  // files
  Put(0, 4);
  Put(0x0103, 2);
  Put(1, 2);  // folders
  Put(1, 2);  // files
  Put(0, 2);
  Put(7, 2);
  Put(0, 2);
  Put(FirstBlock, 4);
  Put(uint32_t(Count), 2);
  Put(1, 2);  // MSZIP
  Put(uint32_t(Data.size()), 4);
  Put(0, 4);
  Put(0, 2);
  Put(0x21, 2);
  Put(0, 2);
  Put(0x20, 2);
  Cabinet += Name + '\0' + Blocks;
  TTempDir Dir;
  WriteFile(Dir.Path() / "uneven.cab", Cabinet);
  TExtraction R = Extract(Dir.Folder(), "uneven.cab");
  ASSERT_TRUE(R.Ok) << R.Error.erfOper;
  EXPECT_TRUE(R.Files[Name] == Data);
  EXPECT_TRUE(CabextractFiles(Dir.Path() / "uneven.cab")[Name] == Data);
}
