// The LZX decoder of the cabinet library.
//
// A folder is one LZX stream: a window of 2^15 to 2^21 bytes that starts empty with the
// folder, blocks (verbatim, aligned-offset, uncompressed) of any length that run across
// data blocks, and Huffman code lengths sent as differences to those of the previous block.
// Every data block of the folder is one frame of output; its bits start afresh on a word
// boundary. The window is the only copy of the output: a frame is handed out where it lies
// in the window, or from a side buffer when call translation changes its bytes, because
// later matches must see the untranslated ones.
//
// Symbols are decoded from the top 16 bits of the bit buffer through a table of the codes
// up to its root length; longer codes are found by their length. While a whole match fits
// before the frame's end and 8 bytes of input remain, one check per symbol suffices and the
// bits are refilled 32 at a time; near the ends every step is checked. Matches that neither
// wrap the window nor overlap closely are copied in 8-byte words.
//
// Nothing here trusts the input: every count is checked before it is used, decoding never
// reads outside the block it was given (missing bits read as zeros and then fail the
// frame), and no frame decodes more than its announced size, so damaged data ends in an
// error rather than a crash or a loop.
#include <string.h>

#include "cabinet/FdiDecoders.h"
#include "cabinet/LzxFormat.h"

namespace setup::fdi {

namespace {

using namespace setup::lzx;

// Bits of one data block, taken in 16-bit little-endian words from the top bit down.
class TBitReader {
 public:
  void Start(const uint8_t* Begin, const uint8_t* End) {
    FStart = FNext = Begin;
    FEnd = End;
    FBuffer = 0;
    FCount = 0;
    FMissing = 0;
  }
  // At least 48 bits in the buffer afterwards; words beyond the end are zeros.
  void Refill() {
    while (FCount <= 48) {
      uint32_t Word;
      if (FEnd - FNext >= 2) {
        Word = FNext[0] | (uint32_t(FNext[1]) << 8);
        FNext += 2;
      } else if (FNext < FEnd) {
        Word = FNext[0];
        FNext++;
      } else {
        Word = 0;
        FMissing += 16;
      }
      FBuffer |= uint64_t(Word) << (48 - FCount);
      FCount += 16;
    }
  }
  uint32_t Peek(unsigned Bits) const { return uint32_t(FBuffer >> (64 - Bits)); }
  void Skip(unsigned Bits) {
    FBuffer <<= Bits;
    FCount -= int(Bits);
  }
  // Up to 32 bits; callers refill first when they take more than 16 after a symbol.
  uint32_t Take(unsigned Bits) {
    if (Bits == 0) return 0;
    if (FCount < int(Bits)) Refill();
    uint32_t Value = Peek(Bits);
    Skip(Bits);
    return Value;
  }
  // Bits taken so far, including those past the end.
  uint64_t Consumed() const { return uint64_t(FNext - FStart) * 8 + FMissing - uint64_t(FCount); }
  // True when more bits were taken than the block holds.
  bool Overrun() const { return Consumed() > uint64_t(FEnd - FStart) * 8; }
  const uint8_t* BlockStart() const { return FStart; }
  const uint8_t* BlockEnd() const { return FEnd; }

 private:
  friend class TLzxDecoder;  // whose fast loop works on copies of the reader's state

  const uint8_t* FStart = nullptr;
  const uint8_t* FNext = nullptr;
  const uint8_t* FEnd = nullptr;
  uint64_t FBuffer = 0;
  int FCount = 0;
  uint64_t FMissing = 0;
};

// A canonical Huffman code: codes no longer than RootBits are looked up in one table, the
// rare longer ones are found by their length. An incomplete code is accepted (MS tools write
// trees whose unused codes are missing) and fails only when a missing code turns up; a
// tree without any code is accepted and fails on first use.
template <unsigned Symbols, unsigned RootBits>
class THuffman {
 public:
  // False for lengths that describe more codes than there is room for.
  bool Build(const uint8_t* Lengths, unsigned Count) {
    uint16_t LengthCount[cMaxCodeLength + 1] = {};
    for (unsigned S = 0; S < Count; S++) LengthCount[Lengths[S]]++;
    LengthCount[0] = 0;
    // Kraft: the codes of every length must fit into what the shorter ones left free.
    int32_t Left = 1;
    for (unsigned L = 1; L <= cMaxCodeLength; L++) {
      Left = Left * 2 - LengthCount[L];
      if (Left < 0) return false;
    }
    // First code and first sorted index of each length.
    uint32_t Code = 0;
    uint16_t Index = 0;
    for (unsigned L = 1; L <= cMaxCodeLength; L++) {
      Code = (Code + (L > 1 ? LengthCount[L - 1] : 0)) << (L > 1 ? 1 : 0);
      FFirstCode[L] = Code;
      FFirstIndex[L] = Index;
      FCount[L] = LengthCount[L];
      Index = uint16_t(Index + LengthCount[L]);
    }
    uint16_t Next[cMaxCodeLength + 1];
    memcpy(Next, FFirstIndex, sizeof Next);
    for (unsigned S = 0; S < Count; S++)
      if (Lengths[S]) FSorted[Next[Lengths[S]]++] = uint16_t(S);
    memset(FRoot, 0, sizeof FRoot);
    for (unsigned L = 1; L <= RootBits; L++) {
      for (unsigned I = 0; I < FCount[L]; I++) {
        uint32_t Symbol = FSorted[FFirstIndex[L] + I];
        uint32_t First = (FFirstCode[L] + I) << (RootBits - L);
        uint16_t Entry = uint16_t((Symbol << 5) | L);
        for (uint32_t J = 0; J < (1u << (RootBits - L)); J++) FRoot[First + J] = Entry;
      }
    }
    return true;
  }

  // The symbol whose code starts the 16 bits Top, its length in Length; -1 for a code the
  // tree does not have.
  int Lookup(uint32_t Top, unsigned& Length) const {
    uint16_t Entry = FRoot[Top >> (cMaxCodeLength - RootBits)];
    if (Entry & 31) {
      Length = Entry & 31;
      return Entry >> 5;
    }
    for (unsigned L = RootBits + 1; L <= cMaxCodeLength; L++) {
      uint32_t Code = Top >> (cMaxCodeLength - L);
      if (Code - FFirstCode[L] < FCount[L]) {
        Length = L;
        return FSorted[FFirstIndex[L] + (Code - FFirstCode[L])];
      }
    }
    return -1;
  }

  // The next symbol, or -1 for a code the tree does not have. The reader holds at least 16
  // bits.
  int Decode(TBitReader& Bits) const {
    unsigned Length = 0;
    int Symbol = Lookup(Bits.Peek(cMaxCodeLength), Length);
    if (Symbol >= 0) Bits.Skip(Length);
    return Symbol;
  }

 private:
  uint16_t FRoot[1u << RootBits];
  uint32_t FFirstCode[cMaxCodeLength + 1];
  uint16_t FFirstIndex[cMaxCodeLength + 1];
  uint16_t FCount[cMaxCodeLength + 1];
  uint16_t FSorted[Symbols];
};

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "call targets are read as they lie in memory");

// The first 0xE8 byte in [P, End), or End; eight bytes are tested at a time.
const uint8_t* FindE8(const uint8_t* P, const uint8_t* End) {
  for (; End - P >= 8; P += 8) {
    uint32_t A, B;
    memcpy(&A, P, 4);
    memcpy(&B, P + 4, 4);
    A ^= 0xE8E8E8E8u;
    B ^= 0xE8E8E8E8u;
    if ((((A - 0x01010101u) & ~A) | ((B - 0x01010101u) & ~B)) & 0x80808080u) break;
  }
  while (P < End && *P != 0xE8) P++;
  return P;
}

// Formatted offsets of the position slots, looked up rather than added up per match.
struct TSlotBases {
  uint32_t Base[cMaxPositionSlots];
  constexpr TSlotBases() : Base() {
    for (unsigned S = 0; S < cMaxPositionSlots; S++) Base[S] = PositionBase(S);
  }
  constexpr uint32_t operator[](unsigned Slot) const { return Base[Slot]; }
};
constexpr TSlotBases SlotBase;

// Room behind each length table: a run of zeros in the pretree code may reach past the end
// of the range it describes, and the decoders this format was made with simply store those
// lengths in the following entries (the second half of the main tree, or nowhere).
constexpr unsigned cLengthSlack = 64;

class TLzxDecoder final : public TDecoder {
 public:
  explicit TLzxDecoder(TMemory& Memory) : FMemory(Memory) {}
  ~TLzxDecoder() override {
    if (FWindow) FMemory.Free(FWindow);
    if (FTranslated) FMemory.Free(FTranslated);
  }

  FDIERROR Reset(unsigned Type) override {
    unsigned WindowBits = (Type & tcompMASK_LZX_WINDOW) >> tcompSHIFT_LZX_WINDOW;
    if (WindowBits < cMinWindowBits || WindowBits > cMaxWindowBits) return FDIERROR_BAD_COMPR_TYPE;
    uint32_t Size = uint32_t(1) << WindowBits;
    if (FDIERROR Error = FMemory.PrepareBuffers(FWindow, FAllocated, Size, FTranslated, cFrameSize); Error != FDIERROR_NONE)
      return Error;
    FWindowSize = Size;
    FMask = Size - 1;
    FSlots = PositionSlotsFor(WindowBits);
    FMainSymbols = cLiterals + cLengthHeaders * FSlots;
    FPosition = 0;
    FHeaderRead = false;
    FTranslationSize = 0;
    FBlockType = 0;
    FBlockRemaining = 0;
    FBlockLength = 0;
    FPendingLength = 0;
    FPendingOffset = 0;
    FRepeat[0] = FRepeat[1] = FRepeat[2] = 1;
    memset(FMainLengths, 0, sizeof FMainLengths);
    memset(FLengthLengths, 0, sizeof FLengthLengths);
    FBroken = false;
    return FDIERROR_NONE;
  }

  FDIERROR Decode(uint8_t* Input, uint32_t InputSize, uint32_t OutputSize, const uint8_t*& Output) override {
    if (FBroken || !FWindow || OutputSize == 0 || OutputSize > cFrameSize) return FDIERROR_MDI_FAIL;
    if (!DecodeFrame(Input, InputSize, OutputSize)) {
      // The history is no longer what the encoder saw: nothing after this can be trusted.
      FBroken = true;
      return FDIERROR_MDI_FAIL;
    }
    const uint8_t* Frame = FWindow + ((FPosition - OutputSize) & FMask);
    Output = Translate(Frame, OutputSize, FPosition - OutputSize);
    return FDIERROR_NONE;
  }

 private:
  // Decodes the next OutputSize bytes of the stream into the window; FPosition ends on the
  // frame's end.
  bool DecodeFrame(const uint8_t* Input, uint32_t InputSize, uint32_t OutputSize) {
    const uint64_t FrameEnd = FPosition + OutputSize;
    // A frame starts on a 32 KB boundary of the window, which is a multiple of 32 KB, so its
    // bytes lie in one piece of the window.
    if ((FPosition & (cFrameSize - 1)) != 0) return false;
    TBitReader Bits;
    Bits.Start(Input, Input + InputSize);
    // The rest of a match that the previous frame's data began.
    if (FPendingLength) {
      uint32_t Count = FPendingLength < OutputSize ? FPendingLength : OutputSize;
      CopyMatch(FPendingOffset, Count);
      FPendingLength -= Count;
      FBlockRemaining -= Count;
    }
    if (!FHeaderRead) {
      Bits.Refill();
      if (Bits.Take(1)) FTranslationSize = Bits.Take(32);
      FHeaderRead = true;
    }
    const uint8_t* Bytes = nullptr;  // the read position while in an uncompressed block
    while (FPosition < FrameEnd) {
      if (FBlockRemaining == 0) {
        if (Bytes) {
          // A stored block of odd length is followed by one byte of padding.
          if ((FBlockLength & 1) && Bytes < Bits.BlockEnd()) Bytes++;
          Bits.Start(Bytes, Bits.BlockEnd());
          Bytes = nullptr;
        }
        if (!ReadBlockHeader(Bits, Bytes)) return false;
      }
      uint64_t Stop = FrameEnd - FPosition < FBlockRemaining ? FrameEnd : FPosition + FBlockRemaining;
      uint64_t Start = FPosition;
      if (FBlockType == btUncompressed) {
        if (!Bytes) {
          // The stored block began in an earlier frame: its bytes go on at this one's start.
          Bytes = Bits.BlockStart();
        }
        uint32_t Count = uint32_t(Stop - FPosition);
        if (uint64_t(Bits.BlockEnd() - Bytes) < Count) return false;
        CopyLiterals(Bytes, Count);
        Bytes += Count;
      } else {
        if (!DecodeMatches(Bits, Stop, FPosition + FBlockRemaining)) return false;
        if (Bits.Overrun()) return false;
      }
      FBlockRemaining -= uint32_t(FPosition - Start);
    }
    return FPosition == FrameEnd;
  }

  // A block header; for a stored block also the repeated offsets, after which Bytes points to
  // its first byte.
  bool ReadBlockHeader(TBitReader& Bits, const uint8_t*& Bytes) {
    Bits.Refill();
    FBlockType = Bits.Take(3);
    FBlockLength = Bits.Take(24);
    FBlockRemaining = FBlockLength;
    if (FBlockLength == 0) return false;
    switch (FBlockType) {
      case btAligned: {
        uint8_t Lengths[cAlignedSymbols];
        Bits.Refill();
        for (unsigned I = 0; I < cAlignedSymbols; I++) Lengths[I] = uint8_t(Bits.Take(3));
        if (!FAligned.Build(Lengths, cAlignedSymbols)) return false;
      }
        [[fallthrough]];
      case btVerbatim:
        if (!ReadLengths(Bits, FMainLengths, 0, cLiterals) ||
            !ReadLengths(Bits, FMainLengths, cLiterals, FMainSymbols) ||
            !FMain.Build(FMainLengths, FMainSymbols))
          return false;
        if (!ReadLengths(Bits, FLengthLengths, 0, cLengthSymbols) || !FLength.Build(FLengthLengths, cLengthSymbols))
          return false;
        return !Bits.Overrun();
      case btUncompressed: {
        // The bits stop on the next word boundary (a whole word when already on one); the
        // three repeated offsets and the data follow as bytes.
        uint64_t Offset = (Bits.Consumed() / 16 + 1) * 2;
        const uint8_t* At = Bits.BlockStart() + Offset;
        if (Offset + 12 > uint64_t(Bits.BlockEnd() - Bits.BlockStart())) return false;
        for (unsigned I = 0; I < 3; I++)
          FRepeat[I] = uint32_t(At[4 * I]) | (uint32_t(At[4 * I + 1]) << 8) | (uint32_t(At[4 * I + 2]) << 16) |
                       (uint32_t(At[4 * I + 3]) << 24);
        Bytes = At + 12;
        return true;
      }
      default:
        return false;
    }
  }

  // Code lengths First..Last-1 of a tree, sent through a pretree as changes to the lengths
  // of the previous block.
  bool ReadLengths(TBitReader& Bits, uint8_t* Lengths, unsigned First, unsigned Last) {
    uint8_t PretreeLengths[cPretreeSymbols];
    Bits.Refill();
    for (unsigned I = 0; I < cPretreeSymbols; I++) {
      PretreeLengths[I] = uint8_t(Bits.Take(4));
      if (I == 11) Bits.Refill();
    }
    if (!FPretree.Build(PretreeLengths, cPretreeSymbols)) return false;
    unsigned I = First;
    while (I < Last) {
      Bits.Refill();
      int Code = FPretree.Decode(Bits);
      unsigned Run;
      uint8_t Value;
      if (Code < 0) return false;
      if (Code == 17) {
        Run = 4 + Bits.Take(4);
        Value = 0;
      } else if (Code == 18) {
        Run = 20 + Bits.Take(5);
        Value = 0;
      } else if (Code == 19) {
        Run = 4 + Bits.Take(1);
        int Change = FPretree.Decode(Bits);
        if (Change < 0 || Change > 16) return false;
        Value = uint8_t((Lengths[I] + 17 - Change) % 17);
      } else {
        Run = 1;
        Value = uint8_t((Lengths[I] + 17 - Code) % 17);
      }
      if (I + Run > Last + cLengthSlack) return false;
      memset(Lengths + I, Value, Run);
      I += Run;
      if (Bits.Overrun()) return false;
    }
    return true;
  }

  void CopyLiterals(const uint8_t* Source, uint32_t Count) {
    while (Count) {
      uint32_t At = uint32_t(FPosition & FMask);
      uint32_t Piece = FWindowSize - At < Count ? FWindowSize - At : Count;
      memcpy(FWindow + At, Source, Piece);
      Source += Piece;
      Count -= Piece;
      FPosition += Piece;
    }
  }

  // Copies Count bytes from Offset back; the match may overlap what it writes.
  void CopyMatch(uint32_t Offset, uint32_t Count) {
    uint32_t To = uint32_t(FPosition & FMask);
    uint32_t From = (To - Offset) & FMask;
    FPosition += Count;
    if (To + Count <= FWindowSize && From + Count <= FWindowSize) {
      uint8_t* D = FWindow + To;
      const uint8_t* S = FWindow + From;
      // Whole words only where source and destination lie eight bytes apart or more; a
      // source near the far end of the window lies just ahead of the destination.
      if (Offset >= 8 && FWindowSize - Offset >= 8) {
        while (Count >= 8) {
          memcpy(D, S, 8);
          D += 8;
          S += 8;
          Count -= 8;
        }
      }
      while (Count--) *D++ = *S++;
      return;
    }
    while (Count--) {
      FWindow[To] = FWindow[From];
      To = (To + 1) & FMask;
      From = (From + 1) & FMask;
    }
  }

  // cLiterals and matches of a verbatim or aligned-offset block until Stop; a match may not
  // run past the block (BlockEnd), and what it has beyond Stop (the frame's end) is kept
  // for the next frame.
  bool DecodeMatches(TBitReader& Bits, uint64_t Stop, uint64_t BlockEnd) {
    const bool Aligned = FBlockType == btAligned;
    uint8_t* const Window = FWindow;
    const uint32_t Mask = FMask;
    uint64_t Position = FPosition;
    // The fast part, while every match fits before Stop and two refills of 4 bytes stay
    // within the input: one check per symbol, the bits refilled 32 at a time.
    if (Stop - Position > cMaxMatch && Bits.FEnd - Bits.FNext >= 8) {
      const uint8_t* In = Bits.FNext;
      const uint8_t* const InLimit = Bits.FEnd - 8;
      uint64_t Buffer = Bits.FBuffer;
      unsigned Count = unsigned(Bits.FCount);
      // The position's low 32 bits: the loop ends within a frame of where it starts. Before
      // the window's first wrap they are the whole position, which no offset may exceed;
      // after it only the window size bounds an offset. A match always ends before Stop,
      // so within its block.
      const uint32_t Start = uint32_t(Position);
      const uint32_t Limit = uint32_t(Stop - cMaxMatch);
      const uint32_t Early = Position < FWindowSize ? 0 : ~0u;
      uint32_t At = Start;
      const uint32_t WindowSize = FWindowSize;
      uint32_t R0 = FRepeat[0], R1 = FRepeat[1], R2 = FRepeat[2];
      bool Good = false;
#define SETUP_REFILL()                                                                            \
  do {                                                                                            \
    if (Count <= 32) {                                                                            \
      uint32_t Pair = (uint32_t(In[0]) | uint32_t(In[1]) << 8) << 16 | In[2] | uint32_t(In[3]) << 8; \
      Buffer |= uint64_t(Pair) << (32 - Count);                                                   \
      In += 4;                                                                                    \
      Count += 32;                                                                                \
    }                                                                                             \
  } while (0)
      do {
        SETUP_REFILL();
        unsigned Bits16;
        int Symbol = FMain.Lookup(uint32_t(Buffer >> 48), Bits16);
        if (Symbol < 0) goto Leave;
        Buffer <<= Bits16;
        Count -= Bits16;
        if (Symbol < int(cLiterals)) {
          Window[At & Mask] = uint8_t(Symbol);
          At++;
          continue;
        }
        {
          Symbol -= cLiterals;
          uint32_t Length = uint32_t(Symbol & 7);
          unsigned Slot = unsigned(Symbol) >> 3;
          if (Length == 7) {
            int Extra = FLength.Lookup(uint32_t(Buffer >> 48), Bits16);
            if (Extra < 0) goto Leave;
            Buffer <<= Bits16;
            Count -= Bits16;
            Length += uint32_t(Extra);
          }
          Length += cMinMatch;
          uint32_t Offset;
          if (Slot < 3) {
            Offset = Slot == 0 ? R0 : Slot == 1 ? R1 : R2;
            if (Slot == 1) R1 = R0;
            else if (Slot == 2) R2 = R0;
            R0 = Offset;
          } else {
            SETUP_REFILL();
            unsigned Extra = PositionExtraBits(Slot);
            uint32_t Formatted = SlotBase[Slot];
            if (Aligned && Extra >= 3) {
              Formatted += uint32_t(Buffer >> 32 >> (35 - Extra)) << 3;
              Buffer <<= Extra - 3;
              Count -= Extra - 3;
              int Low = FAligned.Lookup(uint32_t(Buffer >> 48), Bits16);
              if (Low < 0) goto Leave;
              Buffer <<= Bits16;
              Count -= Bits16;
              Formatted += uint32_t(Low);
            } else {
              Formatted += uint32_t(Buffer >> 32 >> (32 - Extra));
              Buffer <<= Extra;
              Count -= Extra;
            }
            Offset = Formatted - 2;
            R2 = R1;
            R1 = R0;
            R0 = Offset;
          }
          if (Offset == 0 || Offset > (At | Early) || Offset > WindowSize) goto Leave;
          uint32_t To = At & Mask;
          uint32_t From = (To - Offset) & Mask;
          At += Length;
          if (To + Length <= WindowSize && From + Length <= WindowSize) {
            uint8_t* D = Window + To;
            const uint8_t* S = Window + From;
            uint8_t* const End = D + Length;
            // Whole words only where source and destination lie eight bytes apart or more (a
            // source near the far end of the window lies just ahead of the destination); the
            // last word may overlap the one before, which wrote the same bytes. A run of one
            // byte is written as words of it.
            if (Offset >= 8 && WindowSize - Offset >= 8) {
              if (Length >= 8) {
                for (; End - D > 8; D += 8, S += 8) memcpy(D, S, 8);
                memcpy(End - 8, S + (End - 8 - D), 8);
                D = End;
              } else if (Length >= 4) {
                memcpy(D, S, 4);
                memcpy(End - 4, S + (Length - 4), 4);
                D = End;
              }
            } else if (Offset == 1) {
              uint64_t Run = *S * 0x0101010101010101ull;
              for (; End - D >= 8; D += 8, S += 8) memcpy(D, &Run, 8);
            }
            while (D < End) *D++ = *S++;
          } else {
            for (uint32_t I = 0; I < Length; I++) Window[(To + I) & Mask] = Window[(From + I) & Mask];
          }
        }
      } while (int32_t(Limit - At) > 0 && In <= InLimit);
#undef SETUP_REFILL
      Good = true;
    Leave:
      Position += At - Start;
      Bits.FNext = In;
      Bits.FBuffer = Buffer;
      Bits.FCount = int(Count);
      FRepeat[0] = R0;
      FRepeat[1] = R1;
      FRepeat[2] = R2;
      if (!Good) return false;
    }
    while (Position < Stop) {
      Bits.Refill();
      int Symbol = FMain.Decode(Bits);
      if (Symbol < int(cLiterals)) {
        if (Symbol < 0) return false;
        Window[Position & Mask] = uint8_t(Symbol);
        Position++;
        continue;
      }
      Symbol -= cLiterals;
      uint32_t Length = uint32_t(Symbol & 7);
      unsigned Slot = unsigned(Symbol) >> 3;
      if (Length == 7) {
        int Extra = FLength.Decode(Bits);
        if (Extra < 0) return false;
        Length += uint32_t(Extra);
      }
      Length += cMinMatch;
      uint32_t Offset;
      if (Slot < 3) {
        Offset = FRepeat[Slot];
        FRepeat[Slot] = FRepeat[0];
        FRepeat[0] = Offset;
      } else {
        unsigned Extra = PositionExtraBits(Slot);
        uint32_t Formatted = SlotBase[Slot];
        Bits.Refill();
        if (Aligned && Extra >= 3) {
          Formatted += Bits.Take(Extra - 3) << 3;
          int Low = FAligned.Decode(Bits);
          if (Low < 0) return false;
          Formatted += uint32_t(Low);
        } else {
          Formatted += Bits.Take(Extra);
        }
        Offset = Formatted - 2;
        FRepeat[2] = FRepeat[1];
        FRepeat[1] = FRepeat[0];
        FRepeat[0] = Offset;
      }
      // Nothing lies before the folder's first byte or beyond the window.
      if (Offset == 0 || Offset > Position || Offset > FWindowSize || Position + Length > BlockEnd) return false;
      uint32_t Now = Stop - Position < Length ? uint32_t(Stop - Position) : Length;
      FPosition = Position;
      CopyMatch(Offset, Now);
      Position = FPosition;
      if (Now < Length) {
        FPendingLength = Length - Now;
        FPendingOffset = Offset;
      }
    }
    FPosition = Position;
    return true;
  }

  // The frame as the caller sees it: call targets turned back from absolute to relative.
  const uint8_t* Translate(const uint8_t* Frame, uint32_t Size, uint64_t FrameStart) {
    if (FTranslationSize == 0 || FrameStart >= cTranslationLimit || Size <= cTranslationTail) return Frame;
    const uint32_t Scan = Size - cTranslationTail;
    const uint8_t* First = FindE8(Frame, Frame + Scan);
    if (First == Frame + Scan) return Frame;
    memcpy(FTranslated, Frame, Size);
    const int32_t FileSize = int32_t(FTranslationSize);
    uint8_t* Data = FTranslated;
    for (uint32_t I = uint32_t(First - Frame);;) {
      const int32_t Current = int32_t(FrameStart + I);
      uint8_t* Target = Data + I + 1;
      int32_t Absolute;
      memcpy(&Absolute, Target, 4);
      if (Absolute >= -Current && Absolute < FileSize) {
        int32_t Relative = Absolute >= 0 ? Absolute - Current : Absolute + FileSize;
        memcpy(Target, &Relative, 4);
      }
      I += 5;
      if (I >= Scan) break;
      I = uint32_t(FindE8(Data + I, Data + Scan) - Data);
      if (I == Scan) break;
    }
    return FTranslated;
  }

  TMemory& FMemory;
  uint8_t* FWindow = nullptr;
  uint32_t FAllocated = 0;
  uint8_t* FTranslated = nullptr;
  uint32_t FWindowSize = 0;
  uint32_t FMask = 0;
  unsigned FSlots = 0;
  unsigned FMainSymbols = 0;
  uint64_t FPosition = 0;  // bytes of the folder decoded so far
  bool FHeaderRead = false;
  bool FBroken = false;
  uint32_t FTranslationSize = 0;
  unsigned FBlockType = 0;
  uint32_t FBlockLength = 0;
  uint32_t FBlockRemaining = 0;
  uint32_t FPendingLength = 0;
  uint32_t FPendingOffset = 0;
  uint32_t FRepeat[3] = {1, 1, 1};
  uint8_t FMainLengths[cMaxMainSymbols + cLengthSlack];
  uint8_t FLengthLengths[cLengthSymbols + cLengthSlack];
  THuffman<cMaxMainSymbols, 11> FMain;
  THuffman<cLengthSymbols, 10> FLength;
  THuffman<cAlignedSymbols, 7> FAligned;
  THuffman<cPretreeSymbols, 6> FPretree;
};

}  // namespace

TDecoder* CreateLzxDecoder(TMemory& Memory) { return Memory.New<TLzxDecoder>(Memory); }

}  // namespace setup::fdi
