// The cabinet targets' mutator. Bytes mutated blindly rarely survive the cabinet's own checks
// (the offsets and counts of the directory, the data block checksums), so most mutations take
// the input apart into its cabinets and records (CabinetModel.h), change one field or one data
// block, and write everything back consistent: the fuzzer's time goes into the folders'
// decoders and the directory logic instead. Some mutations stay plain byte mutations so that
// the header checks themselves are exercised, and an input that is no cabinet is mutated as
// bytes only.
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cabinet/CabinetModel.h"
#include "cabinet/MemoryCabinets.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* Data, size_t Size, size_t MaxSize);

namespace {

using namespace fuzzcab;
using TRandom = std::minstd_rand;

std::size_t Pick(TRandom& R, std::size_t Count) { return Count ? R() % Count : 0; }

// The value a counter or size field is most often wrong by.
template <class T>
T Tweak(TRandom& R, T Value, T Interesting) {
  switch (Pick(R, 6)) {
    case 0: return static_cast<T>(Value + 1);
    case 1: return static_cast<T>(Value - 1);
    case 2: return 0;
    case 3: return Interesting;
    case 4: return static_cast<T>(~T(0));
    default: return static_cast<T>(R());
  }
}

// Mutates Text in place with libFuzzer's own byte mutations, keeping it at most MaxSize long.
void MutateText(std::string& Text, std::size_t MaxSize) {
  const std::size_t Size = Text.size();
  Text.resize(std::max(Size, MaxSize));
  const std::size_t Got = LLVMFuzzerMutate(reinterpret_cast<std::uint8_t*>(Text.data()), Size, Text.size());
  Text.resize(Got);
}

std::uint32_t FolderOutput(const TFolder& F) {
  std::uint32_t Total = 0;
  for (const auto& B : F.Blocks) Total += B.Uncompressed;
  return Total;
}

// Every folder's types worth trying: stored, MSZIP, Quantum levels and windows, LZX windows.
std::uint16_t CompressionType(TRandom& R) {
  switch (Pick(R, 5)) {
    case 0: return 0;
    case 1: return 1;
    case 2: return static_cast<std::uint16_t>(2 | (1 + Pick(R, 7)) << 4 | (10 + Pick(R, 12)) << 8);
    case 3: return static_cast<std::uint16_t>(3 | (15 + Pick(R, 7)) << 8);
    default: return static_cast<std::uint16_t>(R());
  }
}

void MutateOne(TRandom& R, TCabinetModel& C, std::size_t MaxBlock) {
  std::vector<TDataBlock*> Blocks;
  for (auto& F : C.Folders)
    for (auto& B : F.Blocks) Blocks.push_back(&B);
  const std::size_t Choice = Pick(R, 100);
  if (Choice < 45 && !Blocks.empty()) {
    // The compressed bytes of one block: where the decoders are.
    TDataBlock& B = *Blocks[Pick(R, Blocks.size())];
    MutateText(B.Data, std::min<std::size_t>(MaxBlock, 0xFFFF));
  } else if (Choice < 55 && !Blocks.empty()) {
    TDataBlock& B = *Blocks[Pick(R, Blocks.size())];
    B.Uncompressed = Tweak<std::uint16_t>(R, B.Uncompressed, 32768);
  } else if (Choice < 70 && !C.Files.empty()) {
    TFile& F = C.Files[Pick(R, C.Files.size())];
    const std::uint32_t Output = F.Folder < C.Folders.size() ? FolderOutput(C.Folders[F.Folder]) : 0;
    switch (Pick(R, 6)) {
      case 0: F.Size = Tweak<std::uint32_t>(R, F.Size, Output - F.Offset); break;
      case 1: F.Offset = Tweak<std::uint32_t>(R, F.Offset, Output); break;
      case 2: F.Folder = Tweak<std::uint16_t>(R, F.Folder, static_cast<std::uint16_t>(C.Folders.size())); break;
      case 3: F.Folder = static_cast<std::uint16_t>(0xFFFD + Pick(R, 3)); break;
      case 4: F.Attribs = static_cast<std::uint16_t>(F.Attribs ^ (1u << Pick(R, 16))); break;
      default: MutateText(F.Name, 300); break;
    }
  } else if (Choice < 78 && !C.Folders.empty()) {
    TFolder& F = C.Folders[Pick(R, C.Folders.size())];
    F.Type = CompressionType(R);
  } else if (Choice < 88) {
    // The shape of the cabinet: blocks and files added, dropped or repeated.
    switch (Pick(R, 5)) {
      case 0:
        if (!C.Folders.empty()) {
          auto& F = C.Folders[Pick(R, C.Folders.size())];
          if (!F.Blocks.empty()) F.Blocks.erase(F.Blocks.begin() + Pick(R, F.Blocks.size()));
        }
        break;
      case 1:
        if (!C.Folders.empty()) {
          auto& F = C.Folders[Pick(R, C.Folders.size())];
          if (!F.Blocks.empty() && F.Blocks.size() < 64) F.Blocks.push_back(F.Blocks[Pick(R, F.Blocks.size())]);
        }
        break;
      case 2:
        if (!C.Files.empty()) C.Files.erase(C.Files.begin() + Pick(R, C.Files.size()));
        break;
      case 3:
        if (!C.Files.empty() && C.Files.size() < 64) C.Files.push_back(C.Files[Pick(R, C.Files.size())]);
        break;
      default:
        if (C.Folders.size() > 1 && C.Folders.size() < 64) C.Folders.push_back(C.Folders[Pick(R, C.Folders.size())]);
        break;
    }
  } else {
    switch (Pick(R, 6)) {
      case 0: C.Flags = static_cast<std::uint16_t>(C.Flags ^ (1u << Pick(R, 3))); break;
      case 1: C.SetId = Tweak<std::uint16_t>(R, C.SetId, 0); break;
      case 2: C.Index = Tweak<std::uint16_t>(R, C.Index, 1); break;
      case 3:
        C.Flags |= FlagReserve;
        C.DataReserveSize = static_cast<std::uint8_t>(Pick(R, 4) == 0 ? R() : Pick(R, 8));
        C.FolderReserveSize = static_cast<std::uint8_t>(Pick(R, 4) == 0 ? R() : Pick(R, 8));
        break;
      case 4: MutateText(C.HeaderReserve, 64); break;
      default: C.Major = static_cast<std::uint8_t>(Pick(R, 4) ? 1 : R()); break;
    }
  }
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* Data, size_t Size, size_t MaxSize, unsigned int Seed) {
  TRandom R(Seed);
  // Now and then plain bytes, so that damage to the headers is tried as well.
  if (Pick(R, 10) == 0) return LLVMFuzzerMutate(Data, Size, MaxSize);

  const std::vector<TMemoryCabinet> Parts = SplitSet(Data, Size, 4);
  std::vector<TCabinetModel> Cabinets(Parts.size());
  for (std::size_t I = 0; I < Parts.size(); ++I)
    if (!ParseCabinet(Parts[I].Data, Parts[I].Size, Cabinets[I])) return LLVMFuzzerMutate(Data, Size, MaxSize);

  const std::size_t Count = 1 + (Pick(R, 3) == 0 ? Pick(R, 3) : 0);
  for (std::size_t I = 0; I < Count; ++I)
    MutateOne(R, Cabinets[Pick(R, Cabinets.size())], MaxSize / 2);

  // A set keeps its cabinets linked by name and numbered in order, unless a mutation above
  // just took a link away; the set ID and numbers themselves are mutated above.
  if (Cabinets.size() > 1) {
    for (std::size_t I = 0; I < Cabinets.size(); ++I) {
      if (Cabinets[I].Flags & FlagPrev && I > 0) Cabinets[I].PrevName = SetCabinetName(I);
      if (Cabinets[I].Flags & FlagNext && I + 1 < Cabinets.size()) Cabinets[I].NextName = SetCabinetName(I + 2);
    }
  }
  std::string Out;
  for (const auto& C : Cabinets) Out += WriteCabinet(C);
  if (Out.size() > MaxSize || Out.empty()) return LLVMFuzzerMutate(Data, Size, MaxSize);
  std::memcpy(Data, Out.data(), Out.size());
  return Out.size();
}
