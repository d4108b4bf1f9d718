// Our MSZIP decoder block by block against zlib's inflate given the same history, on zlib's
// deflate output of varied shapes and on streams written here with the fixed code (matches
// at every distance from 1 to 32768, longest matches, damage).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <zlib.h>

#include "cabinet/FdiDecoders.h"

namespace {

using namespace setup::fdi;

struct TBlock {
  std::string Input;  // "CK" and the deflate data
  uint32_t Size;      // announced output
};

std::string Noise(std::size_t Size, uint32_t Seed) {
  std::string Data(Size, '\0');
  for (char& C : Data) C = char((Seed = Seed * 1664525u + 1013904223u) >> 24);
  return Data;
}

// Text, records and runs with periods of 1 to 4 bytes, some longer than a match.
std::string Mixed(std::size_t Size, uint32_t Seed) {
  std::string Data;
  while (Data.size() < Size) {
    Seed = Seed * 1664525u + 1013904223u;
    switch (Seed >> 30) {
      case 0: Data += "entry " + std::to_string(Seed % 5000) + " of the product's file list\r\n"; break;
      case 1: Data += Noise(Seed % 40, Seed); break;
      case 2: Data.append(3 + Seed % 700, char(Seed >> 8)); break;
      default:
        for (unsigned I = 0, Period = 2 + Seed % 3, Length = 4 + (Seed >> 8) % 600; I < Length; I++)
          Data += char('a' + I % Period);
    }
  }
  Data.resize(Size);
  return Data;
}

// The cabinet's history: a 32 KB window that every block fills from its start.
void Advance(std::string& Window, const std::string& Output) { Window.replace(0, Output.size(), Output); }

// Data in blocks of the given sizes, deflated by zlib with the history as its dictionary.
std::vector<TBlock> Deflated(const std::string& Data, const std::vector<uint32_t>& Sizes, int Level, int Strategy) {
  std::vector<TBlock> Blocks;
  std::string Window(32768, '\0');
  z_stream Z{};
  deflateInit2(&Z, Level, Z_DEFLATED, -15, 9, Strategy);
  std::size_t Done = 0;
  for (uint32_t Size : Sizes) {
    deflateReset(&Z);
    if (Done) deflateSetDictionary(&Z, reinterpret_cast<const Bytef*>(Window.data()), 32768);
    std::string Packed(deflateBound(&Z, Size), '\0');
    Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data() + Done));
    Z.avail_in = Size;
    Z.next_out = reinterpret_cast<Bytef*>(Packed.data());
    Z.avail_out = uInt(Packed.size());
    EXPECT_EQ(deflate(&Z, Z_FINISH), Z_STREAM_END);
    Packed.resize(Packed.size() - Z.avail_out);
    Blocks.push_back({"CK" + Packed, Size});
    Advance(Window, Data.substr(Done, Size));
    Done += Size;
  }
  deflateEnd(&Z);
  return Blocks;
}

// Deflate data with the fixed code, written symbol by symbol.
class TFixedWriter {
 public:
  explicit TFixedWriter(bool Last = true) { Put(Last ? 3 : 2, 3); }
  TFixedWriter& Literals(const std::string& Bytes) {
    for (char C : Bytes) Symbol(uint8_t(C));
    return *this;
  }
  TFixedWriter& Match(unsigned Length, unsigned Distance) {
    unsigned S = 0, Base = 3, Extra = 0;
    for (; S < 28; S++, Base += 1u << Extra) {
      Extra = S < 8 ? 0 : (S - 4) / 4;
      if (Length < Base + (1u << Extra)) break;
    }
    if (Length == 258) S = 28, Base = 258, Extra = 0;
    Symbol(257 + S);
    Put(Length - Base, Extra);
    for (S = 0, Base = 1; S < 30; S++, Base += 1u << Extra) {
      Extra = S < 4 ? 0 : (S - 2) / 2;
      if (Distance < Base + (1u << Extra)) break;
    }
    Code(S, 5);
    Put(Distance - Base, Extra);
    return *this;
  }
  TBlock Finish(uint32_t Size) {
    Symbol(256);
    if (FCount) Put(0, 8 - FCount);
    return {"CK" + FOut, Size};
  }

 private:
  void Put(uint32_t Value, int Count) {
    FBits |= Value << FCount;
    for (FCount += Count; FCount >= 8; FCount -= 8, FBits >>= 8) FOut += char(FBits);
  }
  void Code(uint32_t Value, int Count) {  // Huffman codes go top bit first
    for (int I = Count - 1; I >= 0; I--) Put(Value >> I & 1, 1);
  }
  void Symbol(unsigned S) {
    if (S < 144) Code(0x30 + S, 8);
    else if (S < 256) Code(0x190 + S - 144, 9);
    else if (S < 280) Code(S - 256, 7);
    else Code(0xC0 + S - 280, 8);
  }
  std::string FOut;
  uint32_t FBits = 0;
  int FCount = 0;
};

// Fills a block up to Size with matches at Distance (literals where fewer than 3 are left).
TFixedWriter& FillTo(TFixedWriter& W, uint32_t Done, uint32_t Size, unsigned Distance) {
  while (Size - Done >= 3) {
    unsigned Left = Size - Done, Length = Left <= 258 ? Left : Left < 261 ? Left - 3 : 258;
    W.Match(Length, Distance);
    Done += Length;
  }
  return W.Literals(std::string(Size - Done, 'z'));
}

std::vector<TBlock> Shape(int Kind) {
  const std::string Data = Mixed(200000, 7);
  const std::vector<uint32_t> Sizes = {32768, 32768, 1000, 32768, 20000, 32768, 31, 32768, 17141};
  switch (Kind) {
    case 0: return Deflated(Noise(2 * 32768 + 500, 1), {32768, 32768, 500}, 0, Z_DEFAULT_STRATEGY);  // stored
    case 1: return Deflated(Data, Sizes, 6, Z_FIXED);
    case 2: return Deflated(Data, Sizes, 9, Z_DEFAULT_STRATEGY);
    case 3: return Deflated(Data, Sizes, 1, Z_RLE);
    case 4: {
      // Matches into the previous block at 32768 and into the older tail after a short
      // block, overlapping ones at 1 to 4, each block ending with a match at its very end.
      std::vector<TBlock> Blocks = Deflated(Noise(32768, 2), {32768}, 0, Z_DEFAULT_STRATEGY);
      TFixedWriter Second;
      Second.Match(258, 32768).Literals("x").Match(258, 1).Literals("ab").Match(258, 2);
      Second.Literals("abc").Match(100, 3).Match(257, 4).Match(3, 32768).Match(4, 9000);
      Blocks.push_back(FillTo(Second, 258 + 1 + 258 + 2 + 258 + 3 + 100 + 257 + 3 + 4, 32768, 32768).Finish(32768));
      TFixedWriter Third;
      Blocks.push_back(FillTo(Third.Match(258, 32768), 258, 1000, 20000).Finish(1000));
      TFixedWriter Fourth;
      Blocks.push_back(FillTo(Fourth.Match(258, 30000), 258, 32768, 32768).Finish(32768));
      return Blocks;
    }
    case 5:
    case 10: {  // a match one byte before the folder's first byte, far from the ends or near them
      TFixedWriter W;
      if (Kind == 10) return {W.Literals("abc").Match(3, 4).Finish(6)};
      return {W.Literals(Noise(400, 3)).Match(3, 401).Literals(Noise(597, 4)).Finish(1000)};
    }
    default: {  // damage: a block cut short, one announcing a byte more than it has, one
                // with half its input, code lengths overwritten
      std::vector<TBlock> Blocks = Deflated(Data, Sizes, 6, Z_DEFAULT_STRATEGY);
      if (Kind == 6) Blocks[1].Input.resize(Blocks[1].Input.size() - 3);
      if (Kind == 7) Blocks[3].Size++;
      if (Kind == 8) Blocks[5].Input.resize(Blocks[5].Input.size() / 2);
      if (Kind == 9) Blocks[0].Input[4] = char(0xFF);
      return Blocks;
    }
  }
}

// What each block gives, up to the first that fails (an empty string then): zlib's inflate
// with the history as its dictionary, or our decoder.
std::vector<std::string> ByZlib(const std::vector<TBlock>& Blocks) {
  std::vector<std::string> Outputs;
  std::string Window(32768, '\0');
  z_stream Z{};
  inflateInit2(&Z, -15);
  for (const TBlock& Block : Blocks) {
    inflateReset(&Z);
    if (!Outputs.empty()) inflateSetDictionary(&Z, reinterpret_cast<const Bytef*>(Window.data()), 32768);
    std::string Output(Block.Size, '\0');
    Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Block.Input.data() + 2));
    Z.avail_in = uInt(Block.Input.size() - 2);
    Z.next_out = reinterpret_cast<Bytef*>(Output.data());
    Z.avail_out = Block.Size;
    int Result = inflate(&Z, Z_NO_FLUSH);
    bool Ok = (Result == Z_STREAM_END || Result == Z_OK || Result == Z_BUF_ERROR) && Z.avail_out == 0;
    Outputs.push_back(Ok ? Output : "");
    if (!Ok) break;
    Advance(Window, Output);
  }
  inflateEnd(&Z);
  return Outputs;
}

std::vector<std::string> ByOurs(const std::vector<TBlock>& Blocks) {
  TMemory Memory{[](ULONG Size) -> void* { return std::malloc(Size); }, [](void* P) { std::free(P); }};
  TDecoder* Decoder = nullptr;
  EXPECT_EQ(CreateDecoder(tcompTYPE_MSZIP, Memory, Decoder), FDIERROR_NONE);
  Decoder->Reset(tcompTYPE_MSZIP);
  std::vector<std::string> Outputs;
  for (const TBlock& Block : Blocks) {
    // A copy of exactly the block's size, so that reading past it is caught.
    std::vector<uint8_t> Input(Block.Input.begin(), Block.Input.end());
    const uint8_t* Output = nullptr;
    FDIERROR Error = Decoder->Decode(Input.data(), uint32_t(Input.size()), Block.Size, Output);
    EXPECT_TRUE(Error == FDIERROR_NONE || Error == FDIERROR_MDI_FAIL) << Error;
    Outputs.push_back(Error ? "" : std::string(reinterpret_cast<const char*>(Output), Block.Size));
    if (Error) break;
  }
  Memory.Delete(Decoder);
  return Outputs;
}

class FdiMszipBlocks : public ::testing::TestWithParam<int> {};

TEST_P(FdiMszipBlocks, DecodeAsZlibWithTheSameHistory) {
  std::vector<TBlock> Blocks = Shape(GetParam());
  std::vector<std::string> Expected = ByZlib(Blocks), Ours = ByOurs(Blocks);
  ASSERT_EQ(Ours.size(), Expected.size());
  for (std::size_t I = 0; I < Ours.size(); I++) EXPECT_TRUE(Ours[I] == Expected[I]) << "block " << I;
  // The shapes up to 4 decode whole; the others fail at a damaged block.
  EXPECT_EQ(Expected.size() == Blocks.size() && !Expected.back().empty(), GetParam() <= 4);
}

INSTANTIATE_TEST_SUITE_P(Shapes, FdiMszipBlocks, ::testing::Range(0, 11));

}  // namespace
