#include "system/Inflate.h"

#include <cstdint>

namespace setup {
namespace {

// A canonical Huffman code: how many codes have each length, and the symbols in code order.
struct THuffman {
  std::uint16_t Count[16];
  std::uint16_t Symbol[288];
};

class TInflater {
 public:
  TInflater(std::string_view Packed, std::string& Out) : FIn(Packed), FOut(Out) {}

  bool Run() {
    for (bool Last = false; !Last;) {
      Last = Bits(1);
      const unsigned Type = Bits(2);
      if (Type == 0 ? !Stored() : Type == 1 ? !Fixed() : Type == 2 ? !Dynamic() : true) return false;
      if (FOverrun) return false;
    }
    return true;
  }

 private:
  // The next Need bits, least significant first; reading past the end marks an overrun.
  unsigned Bits(int Need) {
    std::uint32_t Value = FBitBuffer;
    while (FBitCount < Need) {
      if (FAt == FIn.size()) {
        FOverrun = true;
        return 0;
      }
      Value |= static_cast<std::uint32_t>(static_cast<unsigned char>(FIn[FAt++])) << FBitCount;
      FBitCount += 8;
    }
    FBitBuffer = Value >> Need;
    FBitCount -= Need;
    return Value & ((1u << Need) - 1);
  }

  bool Stored() {
    FBitBuffer = 0;
    FBitCount = 0;
    if (FIn.size() - FAt < 4) return false;
    const unsigned Length = static_cast<unsigned char>(FIn[FAt]) | static_cast<unsigned char>(FIn[FAt + 1]) << 8;
    const unsigned Check = static_cast<unsigned char>(FIn[FAt + 2]) | static_cast<unsigned char>(FIn[FAt + 3]) << 8;
    FAt += 4;
    if (Length != (~Check & 0xFFFF) || FIn.size() - FAt < Length) return false;
    FOut.append(FIn.data() + FAt, Length);
    FAt += Length;
    return true;
  }

  // Builds the code from the lengths; false when it is over-subscribed.
  static bool Build(THuffman& Code, const std::uint8_t* Lengths, int Symbols) {
    for (auto& Count : Code.Count) Count = 0;
    for (int S = 0; S < Symbols; ++S) ++Code.Count[Lengths[S]];
    if (Code.Count[0] == Symbols) return true;  // no codes: fails when used
    int Left = 1;
    for (int Length = 1; Length < 16; ++Length) {
      Left = (Left << 1) - Code.Count[Length];
      if (Left < 0) return false;
    }
    std::uint16_t Offsets[16];
    Offsets[1] = 0;
    for (int Length = 1; Length < 15; ++Length) Offsets[Length + 1] = Offsets[Length] + Code.Count[Length];
    for (int S = 0; S < Symbols; ++S)
      if (Lengths[S]) Code.Symbol[Offsets[Lengths[S]]++] = static_cast<std::uint16_t>(S);
    return true;
  }

  // The next symbol of Code, read a bit at a time; -1 when the bits match no code.
  int Decode(const THuffman& Code) {
    int Value = 0, First = 0, Index = 0;
    for (int Length = 1; Length < 16; ++Length) {
      Value |= static_cast<int>(Bits(1));
      const int Count = Code.Count[Length];
      if (Value - First < Count) return Code.Symbol[Index + Value - First];
      Index += Count;
      First = (First + Count) << 1;
      Value <<= 1;
      if (FOverrun) break;
    }
    return -1;
  }

  bool Codes(const THuffman& Literals, const THuffman& Distances) {
    static const std::uint16_t LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const std::uint8_t LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const std::uint16_t DistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                                   33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                                   1025, 1537, 2049, 3073, 4097, 6145,  8193,  12289, 16385, 24577};
    static const std::uint8_t DistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                   6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    for (;;) {
      int Symbol = Decode(Literals);
      if (Symbol < 0 || FOverrun) return false;
      if (Symbol < 256) {
        FOut.push_back(static_cast<char>(Symbol));
        continue;
      }
      if (Symbol == 256) return true;
      Symbol -= 257;
      if (Symbol >= 29) return false;
      const std::size_t Length = LengthBase[Symbol] + Bits(LengthExtra[Symbol]);
      Symbol = Decode(Distances);
      if (Symbol < 0 || Symbol >= 30) return false;
      const std::size_t Distance = DistanceBase[Symbol] + Bits(DistanceExtra[Symbol]);
      if (Distance > FOut.size() || FOverrun) return false;
      for (std::size_t K = 0; K < Length; ++K) FOut.push_back(FOut[FOut.size() - Distance]);
    }
  }

  bool Fixed() {
    std::uint8_t Lengths[288 + 30];
    for (int S = 0; S < 288; ++S) Lengths[S] = S < 144 ? 8 : S < 256 ? 9 : S < 280 ? 7 : 8;
    for (int S = 0; S < 30; ++S) Lengths[288 + S] = 5;
    THuffman Literals, Distances;
    Build(Literals, Lengths, 288);
    Build(Distances, Lengths + 288, 30);
    return Codes(Literals, Distances);
  }

  bool Dynamic() {
    static const std::uint8_t Order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    const int LiteralCount = static_cast<int>(Bits(5)) + 257, DistanceCount = static_cast<int>(Bits(5)) + 1,
              LengthCount = static_cast<int>(Bits(4)) + 4;
    if (LiteralCount > 286 || DistanceCount > 30) return false;
    std::uint8_t Lengths[286 + 30] = {};
    for (int I = 0; I < LengthCount; ++I) Lengths[Order[I]] = static_cast<std::uint8_t>(Bits(3));
    THuffman Lens, Literals, Distances;
    if (!Build(Lens, Lengths, 19)) return false;
    for (int I = 0; I < LiteralCount + DistanceCount;) {
      int Symbol = Decode(Lens);
      if (Symbol < 0 || FOverrun) return false;
      if (Symbol < 16) {
        Lengths[I++] = static_cast<std::uint8_t>(Symbol);
        continue;
      }
      std::uint8_t Repeated = 0;
      int Times = 0;
      if (Symbol == 16) {
        if (I == 0) return false;
        Repeated = Lengths[I - 1];
        Times = 3 + static_cast<int>(Bits(2));
      } else {
        Times = Symbol == 17 ? 3 + static_cast<int>(Bits(3)) : 11 + static_cast<int>(Bits(7));
      }
      if (I + Times > LiteralCount + DistanceCount) return false;
      while (Times--) Lengths[I++] = Repeated;
    }
    if (Lengths[256] == 0) return false;  // no end of block
    return Build(Literals, Lengths, LiteralCount) && Build(Distances, Lengths + LiteralCount, DistanceCount) &&
           Codes(Literals, Distances);
  }

  std::string_view FIn;
  std::string& FOut;
  std::size_t FAt = 0;
  std::uint32_t FBitBuffer = 0;
  int FBitCount = 0;
  bool FOverrun = false;
};

}  // namespace

bool Inflate(std::string_view Packed, std::string& Out) { return TInflater(Packed, Out).Run(); }

std::string UnpackLibrary(std::string_view Stored) {
  if (Stored.substr(0, 2) == "MZ") return std::string(Stored);
  if (Stored.size() < 4) return {};
  std::uint32_t Size = 0;
  for (int I = 3; I >= 0; --I) Size = (Size << 8) | static_cast<unsigned char>(Stored[I]);
  std::string Library;
  Library.reserve(Size & 0xFFFFFF);
  if (!Inflate(Stored.substr(4), Library) || Library.size() != Size || Library.substr(0, 2) != "MZ") return {};
  return Library;
}

}  // namespace setup
