// The Quantum decoder of the cabinet library.
//
// Quantum codes every symbol with an arithmetic coder over adaptive frequency models: a
// selector (four literal ranges and three kinds of match), the literals of each range, the
// position slots of each match kind and the lengths of long matches. The models and the
// window (2^10 to 2^21 bytes) last for the folder; the coder itself starts afresh with every
// data block, which holds one frame of output, and its bits are read a byte at a time from
// the top bit down. The compression level only changes how hard the encoder searched.
//
// The models must change exactly as the encoder's did or every later symbol is wrong, so the
// rescaling below follows the format's rules to the letter, including the order in which its
// sort exchanges entries of equal frequency.
#include <string.h>

#include "cabinet/FdiDecoders.h"

namespace setup::fdi {

namespace {

constexpr unsigned cMinWindowBits = 10;
constexpr unsigned cMaxWindowBits = 21;
constexpr uint32_t cFrameSize = 32768;
constexpr unsigned cMaxModelSymbols = 64;
constexpr unsigned cLengthSlots = 27;
constexpr unsigned cMaxPositionSlots = 42;
// A frame may read a little beyond its data while the coder settles; more than that means
// the data were cut short.
constexpr uint32_t cReadAheadBits = 16;

constexpr unsigned PositionExtraBits(unsigned Slot) { return Slot < 4 ? 0 : (Slot - 2) / 2; }
constexpr uint32_t PositionBase(unsigned Slot) {
  uint32_t Base = 0;
  for (unsigned S = 0; S < Slot; S++) Base += uint32_t(1) << PositionExtraBits(S);
  return Base;
}
static_assert(PositionBase(41) == 1572864 && PositionBase(42) == (1u << 21));

// Lengths of the long matches (5 is added): six single lengths, then four slots each of 1,
// 2, 4, 8 and 16 lengths, and the longest alone.
constexpr unsigned LengthExtraBits(unsigned Slot) { return Slot < 6 || Slot == 26 ? 0 : (Slot - 2) / 4; }
constexpr uint32_t LengthBase(unsigned Slot) {
  uint32_t Base = 0;
  for (unsigned S = 0; S < Slot; S++) Base += uint32_t(1) << LengthExtraBits(S);
  return Base;
}
static_assert(LengthBase(6) == 6 && LengthBase(11) == 18 && LengthBase(22) == 126 && LengthBase(26) == 254);

// Formatted offsets of the position slots, looked up rather than added up per match.
struct TSlotBases {
  uint32_t Base[cMaxPositionSlots];
  constexpr TSlotBases() : Base() {
    for (unsigned S = 0; S < cMaxPositionSlots; S++) Base[S] = PositionBase(S);
  }
  constexpr uint32_t operator[](unsigned Slot) const { return Base[Slot]; }
};
constexpr TSlotBases SlotBase;

// Bits of one data block, a byte at a time from the top bit down; bytes beyond the end are
// zeros.
class TBitReader {
 public:
  void Start(const uint8_t* Begin, const uint8_t* End) {
    FNext = Begin;
    FEnd = End;
    FBuffer = 0;
    FCount = 0;
    FMissing = 0;
  }
  uint32_t Take(unsigned Bits) {
    if (Bits == 0) return 0;
    while (FCount < int(Bits)) {
      uint32_t Byte = 0;
      if (FNext < FEnd)
        Byte = *FNext++;
      else
        FMissing += 8;
      FBuffer |= uint64_t(Byte) << (56 - FCount);
      FCount += 8;
    }
    uint32_t Value = uint32_t(FBuffer >> (64 - Bits));
    FBuffer <<= Bits;
    FCount -= int(Bits);
    return Value;
  }
  // Bits taken beyond the end of the block.
  uint64_t Overrun() const {
    return FMissing > uint64_t(FCount) ? FMissing - uint64_t(FCount) : 0;
  }

 private:
  const uint8_t* FNext = nullptr;
  const uint8_t* FEnd = nullptr;
  uint64_t FBuffer = 0;
  int FCount = 0;
  uint64_t FMissing = 0;
};

// An adaptive model: entries ordered by the coder, each with its symbol and the cumulative
// frequency of itself and all entries after it; the entry past the last holds zero.
struct TModel {
  unsigned Entries = 0;
  unsigned RescalesToSort = 0;
  uint16_t Symbol[cMaxModelSymbols + 1];
  uint16_t Cumulative[cMaxModelSymbols + 1];

  void Initialize(unsigned First, unsigned Count) {
    Entries = Count;
    RescalesToSort = 4;
    for (unsigned I = 0; I <= Count; I++) {
      Symbol[I] = uint16_t(First + I);
      Cumulative[I] = uint16_t(Count - I);
    }
  }

  // Called when the total passes its limit: usually every frequency is halved in place (no
  // entry may drop to or below the one after it); every 50th time (the 4th the first time)
  // the frequencies are halved, rounding up, and the entries sorted by frequency.
  void Rescale() {
    if (--RescalesToSort != 0) {
      for (unsigned I = Entries; I-- > 0;) {
        Cumulative[I] = uint16_t(Cumulative[I] >> 1);
        if (Cumulative[I] <= Cumulative[I + 1]) Cumulative[I] = uint16_t(Cumulative[I + 1] + 1);
      }
      return;
    }
    RescalesToSort = 50;
    for (unsigned I = 0; I < Entries; I++)
      Cumulative[I] = uint16_t((Cumulative[I] - Cumulative[I + 1] + 1) >> 1);
    // The format's sort: every later entry more frequent than the one at I changes places
    // with it at once.
    for (unsigned I = 0; I + 1 < Entries; I++) {
      for (unsigned J = I + 1; J < Entries; J++) {
        if (Cumulative[I] < Cumulative[J]) {
          uint16_t Frequency = Cumulative[I], Which = Symbol[I];
          Cumulative[I] = Cumulative[J];
          Symbol[I] = Symbol[J];
          Cumulative[J] = Frequency;
          Symbol[J] = Which;
        }
      }
    }
    for (unsigned I = Entries; I-- > 0;) Cumulative[I] = uint16_t(Cumulative[I] + Cumulative[I + 1]);
  }
};

class TQuantumDecoder final : public TDecoder {
 public:
  explicit TQuantumDecoder(TMemory& Memory) : FMemory(Memory) {}
  ~TQuantumDecoder() override {
    if (FWindow) FMemory.Free(FWindow);
    if (FOutput) FMemory.Free(FOutput);
  }

  FDIERROR Reset(unsigned Type) override {
    unsigned WindowBits = (Type & tcompMASK_QUANTUM_MEM) >> tcompSHIFT_QUANTUM_MEM;
    if (WindowBits < cMinWindowBits || WindowBits > cMaxWindowBits) return FDIERROR_BAD_COMPR_TYPE;
    uint32_t Size = uint32_t(1) << WindowBits;
    if (FDIERROR Error = FMemory.PrepareBuffers(FWindow, FAllocated, Size, FOutput, cFrameSize); Error != FDIERROR_NONE)
      return Error;
    FWindowSize = Size;
    FMask = Size - 1;
    FDecoded = 0;
    FBroken = false;
    unsigned Slots = WindowBits * 2;
    FSelector.Initialize(0, 7);
    for (unsigned I = 0; I < 4; I++) FLiterals[I].Initialize(I * 64, 64);
    FShortPositions.Initialize(0, Slots < 24 ? Slots : 24);
    FMediumPositions.Initialize(0, Slots < 36 ? Slots : 36);
    FLongPositions.Initialize(0, Slots);
    FLongLengths.Initialize(0, cLengthSlots);
    return FDIERROR_NONE;
  }

  FDIERROR Decode(uint8_t* Input, uint32_t InputSize, uint32_t OutputSize, const uint8_t*& Output) override {
    if (FBroken || !FWindow || OutputSize == 0 || OutputSize > cFrameSize || !DecodeFrame(Input, InputSize, OutputSize)) {
      FBroken = true;
      return FDIERROR_MDI_FAIL;
    }
    Output = FOutput;
    return FDIERROR_NONE;
  }

 private:
  bool DecodeFrame(const uint8_t* Input, uint32_t InputSize, uint32_t OutputSize) {
    FBits.Start(Input, Input + InputSize);
    FLow = 0;
    FHigh = 0xFFFF;
    FCode = FBits.Take(16);
    uint32_t Done = 0;
    while (Done < OutputSize) {
      unsigned Selector = Symbol(FSelector);
      uint32_t Length, Offset;
      if (Selector < 4) {
        uint8_t Byte = uint8_t(Symbol(FLiterals[Selector]));
        FWindow[FDecoded & FMask] = Byte;
        FOutput[Done++] = Byte;
        FDecoded++;
        continue;
      }
      if (Selector == 4 || Selector == 5) {
        unsigned Slot = Symbol(Selector == 4 ? FShortPositions : FMediumPositions);
        Offset = SlotBase[Slot] + FBits.Take(PositionExtraBits(Slot)) + 1;
        Length = Selector == 4 ? 3 : 4;
      } else {
        unsigned LengthSlot = Symbol(FLongLengths);
        Length = LengthBase(LengthSlot) + FBits.Take(LengthExtraBits(LengthSlot)) + 5;
        unsigned Slot = Symbol(FLongPositions);
        Offset = SlotBase[Slot] + FBits.Take(PositionExtraBits(Slot)) + 1;
      }
      // A match reaches neither before the folder's first byte nor past the frame.
      if (Offset > FDecoded || Offset > FWindowSize || Length > OutputSize - Done) return false;
      uint32_t From = uint32_t(FDecoded - Offset) & FMask;
      for (uint32_t I = 0; I < Length; I++) {
        uint8_t Byte = FWindow[From];
        From = (From + 1) & FMask;
        FWindow[FDecoded & FMask] = Byte;
        FDecoded++;
        FOutput[Done++] = Byte;
      }
    }
    return FBits.Overrun() <= cReadAheadBits;
  }

  // The next symbol of Model; the model learns it and the coder takes in the bits it settled.
  unsigned Symbol(TModel& Model) {
    const uint32_t Total = Model.Cumulative[0];
    const uint32_t Range = ((FHigh - FLow) & 0xFFFF) + 1;
    const uint32_t Point = ((((FCode - FLow) & 0xFFFF) + 1) * Total - 1) / Range & 0xFFFF;
    unsigned I = 1;
    while (I < Model.Entries && Model.Cumulative[I] > Point) I++;
    const unsigned Found = Model.Symbol[I - 1];
    const uint32_t Span = FHigh - FLow + 1;
    FHigh = (FLow + Model.Cumulative[I - 1] * Span / Total - 1) & 0xFFFF;
    FLow = (FLow + Model.Cumulative[I] * Span / Total) & 0xFFFF;
    for (unsigned J = 0; J < I; J++) Model.Cumulative[J] = uint16_t(Model.Cumulative[J] + 8);
    if (Model.Cumulative[0] > 3800) Model.Rescale();
    for (;;) {
      if ((FLow ^ FHigh) & 0x8000) {
        // The top bits differ: only the second ones can still be shifted out, when the
        // interval straddles the middle closely.
        if (!((FLow & 0x4000) && !(FHigh & 0x4000))) break;
        FCode ^= 0x4000;
        FLow &= 0x3FFF;
        FHigh |= 0x4000;
      }
      FLow = (FLow << 1) & 0xFFFF;
      FHigh = ((FHigh << 1) | 1) & 0xFFFF;
      FCode = ((FCode << 1) | FBits.Take(1)) & 0xFFFF;
    }
    return Found;
  }

  TMemory& FMemory;
  uint8_t* FWindow = nullptr;
  uint32_t FAllocated = 0;
  uint8_t* FOutput = nullptr;
  uint32_t FWindowSize = 0;
  uint32_t FMask = 0;
  uint64_t FDecoded = 0;  // bytes of the folder so far
  bool FBroken = false;
  TBitReader FBits;
  uint32_t FLow = 0, FHigh = 0xFFFF, FCode = 0;
  TModel FSelector;
  TModel FLiterals[4];
  TModel FShortPositions, FMediumPositions, FLongPositions, FLongLengths;
};

}  // namespace

TDecoder* CreateQuantumDecoder(TMemory& Memory) { return Memory.New<TQuantumDecoder>(Memory); }

}  // namespace setup::fdi
