#include "Lznt1.h"

#include <cstdint>
#include <vector>

namespace setup {
namespace {

constexpr std::size_t cChunk = 4096;

// The split of a back reference's 16 bits at Position bytes into its chunk: the displacement
// takes as few bits as reach back to the chunk's start (at least 4), the length the rest.
int DisplacementBits(std::size_t Position) {
  int Bits = 12;
  while (Bits > 4 && (std::size_t{1} << (Bits - 1)) >= Position) --Bits;
  return Bits;
}

void PutWord(std::string& Out, std::size_t At, unsigned Word) {
  Out[At] = static_cast<char>(Word & 0xFF);
  Out[At + 1] = static_cast<char>(Word >> 8);
}

// One chunk, compressed; the caller stores it raw when that is not shorter.
std::string CompressChunk(std::string_view Chunk) {
  std::string Out;
  // The latest position of each three-byte prefix, and the one before it for every position.
  std::vector<int> Head(1 << 12, -1), Previous(Chunk.size(), -1);
  auto Hash = [&](std::size_t P) {
    return ((static_cast<unsigned char>(Chunk[P]) << 4) ^ (static_cast<unsigned char>(Chunk[P + 1]) << 2) ^
            static_cast<unsigned char>(Chunk[P + 2])) & 0xFFF;
  };
  auto Insert = [&](std::size_t P) {
    if (P + 3 > Chunk.size()) return;
    const unsigned H = Hash(P);
    Previous[P] = Head[H];
    Head[H] = static_cast<int>(P);
  };
  std::size_t Position = 0, FlagAt = 0;
  int Item = 8;
  while (Position < Chunk.size()) {
    if (Item == 8) {
      FlagAt = Out.size();
      Out.push_back('\0');
      Item = 0;
    }
    const int Bits = DisplacementBits(Position);
    const std::size_t MaxLength = (std::size_t{1} << (16 - Bits)) + 2;
    std::size_t Best = 0, BestDistance = 0;
    if (Position + 3 <= Chunk.size()) {
      for (int Candidate = Head[Hash(Position)]; Candidate >= 0; Candidate = Previous[Candidate]) {
        const std::size_t Distance = Position - static_cast<std::size_t>(Candidate);
        if (Distance > (std::size_t{1} << Bits)) break;
        std::size_t Length = 0;
        while (Length < MaxLength && Position + Length < Chunk.size() && Chunk[Candidate + Length] == Chunk[Position + Length])
          ++Length;
        if (Length > Best) {
          Best = Length;
          BestDistance = Distance;
          if (Length == MaxLength) break;
        }
      }
    }
    if (Best >= 3) {
      Out[FlagAt] = static_cast<char>(Out[FlagAt] | (1 << Item));
      Out.append(2, '\0');
      PutWord(Out, Out.size() - 2, static_cast<unsigned>(((BestDistance - 1) << (16 - Bits)) | (Best - 3)));
      for (std::size_t I = 0; I < Best; ++I) Insert(Position + I);
      Position += Best;
    } else {
      Out.push_back(Chunk[Position]);
      Insert(Position);
      ++Position;
    }
    ++Item;
  }
  return Out;
}

}  // namespace

std::string Lznt1Compress(std::string_view Data) {
  std::string Out;
  for (std::size_t Start = 0; Start < Data.size(); Start += cChunk) {
    const std::string_view Chunk = Data.substr(Start, cChunk);
    std::string Packed = CompressChunk(Chunk);
    const bool Compressed = Packed.size() < Chunk.size();
    if (!Compressed) Packed.assign(Chunk);
    const std::size_t At = Out.size();
    Out.append(2, '\0');
    PutWord(Out, At, (Compressed ? 0xB000u : 0x3000u) | static_cast<unsigned>(Packed.size() - 1));
    Out += Packed;
  }
  Out.append(2, '\0');  // the end
  return Out;
}

bool Lznt1Decompress(std::string_view Packed, std::string& Out) {
  Out.clear();
  std::size_t At = 0;
  while (At + 2 <= Packed.size()) {
    const unsigned Header = static_cast<unsigned char>(Packed[At]) | (static_cast<unsigned char>(Packed[At + 1]) << 8);
    At += 2;
    if (Header == 0) return true;
    const std::size_t Size = (Header & 0xFFF) + 1;
    if ((Header & 0x7000) != 0x3000 || Size > Packed.size() - At) return false;
    const std::string_view Chunk = Packed.substr(At, Size);
    At += Size;
    if (!(Header & 0x8000)) {
      Out += Chunk;
      continue;
    }
    const std::size_t Start = Out.size();
    for (std::size_t I = 0; I < Chunk.size();) {
      const unsigned Flags = static_cast<unsigned char>(Chunk[I++]);
      for (int Item = 0; Item < 8 && I < Chunk.size(); ++Item) {
        if (!(Flags & (1u << Item))) {
          Out.push_back(Chunk[I++]);
          continue;
        }
        if (I + 2 > Chunk.size()) return false;
        const unsigned Word = static_cast<unsigned char>(Chunk[I]) | (static_cast<unsigned char>(Chunk[I + 1]) << 8);
        I += 2;
        const std::size_t Position = Out.size() - Start;
        const int Bits = DisplacementBits(Position);
        const std::size_t Distance = (Word >> (16 - Bits)) + 1;
        const std::size_t Length = (Word & ((1u << (16 - Bits)) - 1)) + 3;
        if (Distance > Position || Position + Length > cChunk) return false;
        for (std::size_t K = 0; K < Length; ++K) Out.push_back(Out[Out.size() - Distance]);
      }
    }
  }
  return At == Packed.size();
}

std::string PackLibrary(std::string_view Library) {
  const auto Size = static_cast<std::uint32_t>(Library.size());
  std::string Stored;
  for (int Shift = 0; Shift < 32; Shift += 8) Stored.push_back(static_cast<char>((Size >> Shift) & 0xFF));
  return Stored + Lznt1Compress(Library);
}

std::string UnpackLibrary(std::string_view Stored) {
  if (Stored.substr(0, 2) == "MZ") return std::string(Stored);
  if (Stored.size() < 4) return {};
  std::uint32_t Size = 0;
  for (int I = 3; I >= 0; --I) Size = (Size << 8) | static_cast<unsigned char>(Stored[I]);
  std::string Library;
  if (!Lznt1Decompress(Stored.substr(4), Library) || Library.size() != Size || Library.substr(0, 2) != "MZ") return {};
  return Library;
}

}  // namespace setup
