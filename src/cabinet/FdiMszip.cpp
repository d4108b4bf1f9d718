// The MSZIP decoder of the cabinet library: every data block is "CK" followed by a raw
// deflate stream (RFC 1951) that may refer back into the last 32 KB of the folder's output.
//
// Blocks are decoded straight into a buffer of a few 32 KB slots side by side, so that the
// previous block's window lies just before the block being decoded and matches read it in
// place. Codes are decoded through tables: a primary one indexed by the next 10 (literal and
// length) or 8 (distance) bits, whose entries give the symbol's bits, its base and its extra
// bits, or point to a sub-table for longer codes. While enough input and output remain, one
// check per symbol suffices and the bit buffer is refilled with whole words; near the ends
// every step is checked and missing input reads as zeros that fail the block once used.
//
// A block must give exactly its announced size: decoding stops when the output is full, and a
// stream that ends first, runs out of input first or breaks fails the block.
#include <string.h>

#include "cabinet/FdiDecoders.h"

namespace setup::fdi {

namespace {

constexpr uint32_t cWindow = 32768;
constexpr unsigned cSlots = 4;

// A table entry: value << 16 | kind | extra bits << 8 | bits of the code. The value is the
// literal, the base of a length or distance, a symbol of the code-length code, or the offset
// of a sub-table (whose index bits are then the "extra bits", and the bits of the code those
// of the primary table).
constexpr uint32_t cLiteral = 0x8000, cEnd = 0x4000, cSub = 0x2000, cBad = 0x1000;
constexpr unsigned cLitBits = 10, cDistBits = 8, cPreBits = 7;
// The most entries a complete code of 288 (32) symbols with codes of up to 15 bits needs.
constexpr unsigned cLitEntries = 1334, cDistEntries = 402;

inline uint32_t Load32(const uint8_t* P) {
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "words are read as they lie in memory");
  uint32_t V;
  memcpy(&V, P, 4);
  return V;
}

// Builds the table for the code with the given lengths (primary of 2^Root entries, sub-tables
// behind it, Room entries in all); symbol S decodes to Entries[S]. False for an over-subscribed
// code, and for an incomplete one unless Lone allows a code of one symbol of one bit (or none),
// whose other codes then fail.
bool BuildTable(uint32_t* Table, unsigned Root, unsigned Room, const uint8_t* Lengths, unsigned Symbols,
                const uint32_t* Entries, bool Lone) {
  uint16_t Count[16] = {}, Offset[16], Sorted[288];
  for (unsigned S = 0; S < Symbols; S++) Count[Lengths[S]]++;
  unsigned Max = 15;
  while (Max && !Count[Max]) Max--;
  int Left = 1;
  for (unsigned L = 1; L <= 15; L++) {
    Left = 2 * Left - Count[L];
    if (Left < 0) return false;
  }
  if (Left > 0) {
    if (!Lone || Max > 1) return false;
    for (unsigned I = 0; I < (1u << Root); I++) Table[I] = cBad;
    if (Max == 0) return true;
  }
  Offset[1] = 0;
  for (unsigned L = 1; L < 15; L++) Offset[L + 1] = uint16_t(Offset[L] + Count[L]);
  for (unsigned S = 0; S < Symbols; S++)
    if (Lengths[S]) Sorted[Offset[Lengths[S]]++] = uint16_t(S);
  // Codes in canonical order; Code is the current one with its bits reversed (deflate sends
  // codes from their top bit, the tables are indexed from the bit buffer's bottom).
  unsigned Length = 1, Sym = 0, Code = 0, Drop = 0, Bits = Root, Low = ~0u, Used = 1u << Root;
  while (!Count[Length]) Length++;
  uint32_t* Next = Table;
  for (;;) {
    uint32_t Here = Entries[Sorted[Sym]] | (Length - Drop);
    unsigned Step = 1u << (Length - Drop), Fill = 1u << Bits;
    do {
      Fill -= Step;
      Next[(Code >> Drop) + Fill] = Here;
    } while (Fill);
    unsigned Incr = 1u << (Length - 1);
    while (Code & Incr) Incr >>= 1;
    Code = Incr ? (Code & (Incr - 1)) + Incr : 0;
    Sym++;
    if (--Count[Length] == 0) {
      if (Length == Max) return true;
      Length = Lengths[Sorted[Sym]];
    }
    if (Length > Root && (Code & ((1u << Root) - 1)) != Low) {
      // A new sub-table, large enough for every code that shares these low Root bits.
      if (Drop == 0) Drop = Root;
      Next += 1u << Bits;
      Bits = Length - Drop;
      int Room2 = 1 << Bits;
      while (Bits + Drop < Max) {
        Room2 -= Count[Bits + Drop];
        if (Room2 <= 0) break;
        Bits++;
        Room2 <<= 1;
      }
      Used += 1u << Bits;
      if (Used > Room) return false;
      Low = Code & ((1u << Root) - 1);
      Table[Low] = uint32_t(Next - Table) << 16 | cSub | Bits << 8 | Root;
    }
  }
}

class TMszipDecoder final : public TDecoder {
 public:
  explicit TMszipDecoder(TMemory& Memory) : FMemory(Memory) {
    for (unsigned S = 0; S < 256; S++) FLitEntries[S] = S << 16 | cLiteral;
    FLitEntries[256] = cEnd;
    for (unsigned S = 0, Base = 3; S < 28; S++) {
      unsigned Extra = S < 8 ? 0 : (S - 4) / 4;
      FLitEntries[257 + S] = Base << 16 | Extra << 8;
      Base += 1u << Extra;
    }
    FLitEntries[285] = 258u << 16;
    FLitEntries[286] = FLitEntries[287] = cBad;
    for (unsigned S = 0, Base = 1; S < 30; S++) {
      unsigned Extra = S < 4 ? 0 : (S - 2) / 2;
      FDistEntries[S] = Base << 16 | Extra << 8;
      Base += 1u << Extra;
    }
    FDistEntries[30] = FDistEntries[31] = cBad;
    for (unsigned S = 0; S < 19; S++) FPreEntries[S] = S << 16;
  }
  ~TMszipDecoder() override { FMemory.Free(FBuffer); }

  bool Initialize() {
    FBuffer = static_cast<uint8_t*>(FMemory.Alloc(cSlots * cWindow));
    return FBuffer != nullptr;
  }

  FDIERROR Reset(unsigned) override {
    FHistory = false;
    return FDIERROR_NONE;
  }

  FDIERROR Decode(uint8_t* Input, uint32_t InputSize, uint32_t OutputSize, const uint8_t*& Output) override {
    if (OutputSize > cMaxBlockOutput || InputSize < 2 || Input[0] != 'C' || Input[1] != 'K') return FDIERROR_MDI_FAIL;
    // The previous block's window lies in the slot before the next one; at the end of the
    // buffer it moves to the first slot.
    if (FNext == cSlots) {
      memcpy(FBuffer, FBuffer + (cSlots - 1) * cWindow, cWindow);
      FNext = 1;
    }
    uint8_t* Target = FBuffer + FNext * cWindow;
    FIn = Input + 2;
    FInEnd = Input + InputSize;
    FBits = 0;
    FCount = 0;
    FMissing = 0;
    FOut = Target;
    FOutEnd = Target + OutputSize;
    // Zeros before the folder's first byte are not there: matches may not reach before it.
    FFloor = FHistory ? Target - cWindow : Target;
    if (!Inflate()) {
      FHistory = false;
      return FDIERROR_MDI_FAIL;
    }
    // The history is a 32 KB window that every block fills from its start: a whole block
    // replaces it, a short one only its first part, as the other readers of this format
    // have it (zeros before the folder's first byte).
    if (OutputSize != cWindow) {
      if (FHistory)
        memcpy(Target + OutputSize, Target - cWindow + OutputSize, cWindow - OutputSize);
      else
        memset(Target + OutputSize, 0, cWindow - OutputSize);
    }
    FHistory = true;
    FNext++;
    Output = Target;
    return FDIERROR_NONE;
  }

 private:
  // At least 24 bits in the buffer, a byte at a time; bytes beyond the input read as zeros.
  // False once bits beyond the input have been used.
  bool Refill() {
    while (FCount < 24) {
      uint32_t Byte = 0;
      if (FIn != FInEnd)
        Byte = *FIn++;
      else
        FMissing++;
      FBits |= Byte << FCount;
      FCount += 8;
    }
    return FMissing * 8 <= FCount;
  }
  unsigned Take(unsigned Count) {
    Refill();
    unsigned Value = FBits & ((1u << Count) - 1);
    FBits >>= Count;
    FCount -= Count;
    return Value;
  }
  bool Used() const { return FMissing * 8 <= FCount; }

  bool Inflate() {
    for (;;) {
      if (FOut == FOutEnd) return Used();
      unsigned Header = Take(3);
      if (!Used()) return false;
      unsigned Type = Header >> 1;
      if (Type == 0) {
        if (!Stored()) return false;
      } else {
        if (Type == 1 ? !Fixed() : Type == 2 ? !Dynamic() : true) return false;
        int Result = Codes();
        if (Result < 0) return false;
        if (Result > 0) return Used();
      }
      if (Header & 1) return FOut == FOutEnd && Used();
    }
  }

  bool Stored() {
    // Whole bytes still in the bit buffer go back to the input, the missing ones first.
    FCount &= ~7u;
    unsigned Unread = FCount >> 3, Missing = FMissing < Unread ? FMissing : Unread;
    FMissing -= Missing;
    FIn -= Unread - Missing;
    FBits = 0;
    FCount = 0;
    if (FMissing || FInEnd - FIn < 4) return false;
    unsigned Length = FIn[0] | FIn[1] << 8, Check = FIn[2] | FIn[3] << 8;
    FIn += 4;
    if (Length != (~Check & 0xFFFF)) return false;
    if (Length > uint32_t(FOutEnd - FOut)) Length = uint32_t(FOutEnd - FOut);
    if (uint32_t(FInEnd - FIn) < Length) return false;
    memcpy(FOut, FIn, Length);
    FOut += Length;
    FIn += Length;
    return true;
  }

  bool Fixed() {
    if (FFixed) return true;
    uint8_t* L = FLengths;
    memset(L, 8, 144);
    memset(L + 144, 9, 112);
    memset(L + 256, 7, 24);
    memset(L + 280, 8, 8);
    memset(L + 288, 5, 32);
    FFixed = BuildTable(FLit, cLitBits, cLitEntries, L, 288, FLitEntries, false) &&
             BuildTable(FDist, cDistBits, cDistEntries, L + 288, 32, FDistEntries, false);
    return FFixed;
  }

  bool Dynamic() {
    static const uint8_t Order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    FFixed = false;
    unsigned Lits = Take(5) + 257, Dists = Take(5) + 1, Lengths = Take(4) + 4;
    if (Lits > 286 || Dists > 30) return false;
    uint8_t* L = FLengths;
    memset(L, 0, 19);
    for (unsigned I = 0; I < Lengths; I++) L[Order[I]] = uint8_t(Take(3));
    if (!Used() || !BuildTable(FPre, cPreBits, 1u << cPreBits, L, 19, FPreEntries, false)) return false;
    for (unsigned I = 0, All = Lits + Dists; I < All;) {
      if (!Refill()) return false;
      uint32_t E = FPre[FBits & ((1u << cPreBits) - 1)];
      FBits >>= E & 31;
      FCount -= E & 31;
      unsigned Symbol = E >> 16, Repeat = 1, Value = Symbol;
      if (Symbol == 16) {
        if (I == 0) return false;
        Value = L[I - 1];
        Repeat = 3 + Take(2);
      } else if (Symbol == 17) {
        Value = 0;
        Repeat = 3 + Take(3);
      } else if (Symbol == 18) {
        Value = 0;
        Repeat = 11 + Take(7);
      }
      if (Repeat > All - I) return false;
      while (Repeat--) L[I++] = uint8_t(Value);
    }
    return Used() && L[256] != 0 && BuildTable(FLit, cLitBits, cLitEntries, L, Lits, FLitEntries, true) &&
           BuildTable(FDist, cDistBits, cDistEntries, L + Lits, Dists, FDistEntries, true);
  }

  // The codes of one block up to its end code: 0 at the end code, 1 when the output is full
  // first, -1 for a bad code or a distance before the start of the history.
  int Codes() {
    const uint32_t* const Lit = FLit;
    const uint32_t* const Dist = FDist;
    const uint8_t* const Floor = FFloor;
    const uint8_t* In = FIn;
    uint8_t* Out = FOut;
    uint32_t Bits = FBits;
    unsigned Count = FCount;
    int Result = -1;
    // The fast part: each step reads at most 12 bytes of input ahead and writes at most
    // 258 + 7 bytes of output.
    if (FInEnd - In >= 16 && FOutEnd - Out >= 266) {
      const uint8_t* const InLimit = FInEnd - 15;
      uint8_t* const OutLimit = FOutEnd - 265;
#define SETUP_REFILL()                 \
  do {                                 \
    Bits |= Load32(In) << Count;       \
    In += (31 - Count) >> 3;           \
    Count |= 24;                       \
  } while (0)
      do {
        SETUP_REFILL();
        uint32_t E = Lit[Bits & ((1u << cLitBits) - 1)];
        if (E & cSub) {
          Bits >>= cLitBits;
          Count -= cLitBits;
          E = Lit[(E >> 16) + (Bits & ((1u << ((E >> 8) & 15)) - 1))];
        }
        if (E & cLiteral) {
          Bits >>= E & 31;
          Count -= E & 31;
          *Out++ = uint8_t(E >> 16);
          continue;
        }
        if (E & (cEnd | cBad)) {
          Bits >>= E & 31;
          Count -= E & 31;
          Result = E & cEnd ? 0 : -1;
          goto Leave;
        }
        unsigned N = E & 31, X = (E >> 8) & 15;
        unsigned Length = (E >> 16) + ((Bits >> N) & ((1u << X) - 1));
        Bits >>= N + X;
        Count -= N + X;
        SETUP_REFILL();
        E = Dist[Bits & ((1u << cDistBits) - 1)];
        if (E & cSub) {
          Bits >>= cDistBits;
          Count -= cDistBits;
          E = Dist[(E >> 16) + (Bits & ((1u << ((E >> 8) & 15)) - 1))];
        }
        if (E & cBad) goto Leave;
        Bits >>= E & 31;
        Count -= E & 31;
        X = (E >> 8) & 15;
        if (Count < X) SETUP_REFILL();
        uint32_t Distance = (E >> 16) + (Bits & ((1u << X) - 1));
        Bits >>= X;
        Count -= X;
        if (Distance > uint32_t(Out - Floor)) goto Leave;
        const uint8_t* From = Out - Distance;
        uint8_t* const End = Out + Length;
        if (Distance >= 8) {
          do {
            memcpy(Out, From, 8);
            Out += 8;
            From += 8;
          } while (Out < End);
        } else if (Distance >= 4) {
          do {
            memcpy(Out, From, 4);
            Out += 4;
            From += 4;
          } while (Out < End);
        } else if (Distance == 1) {
          uint32_t Run = *From * 0x01010101u;
          do {
            memcpy(Out, &Run, 4);
            Out += 4;
          } while (Out < End);
        } else {
          do *Out++ = *From++;
          while (Out < End);
        }
        Out = End;
      } while (In < InLimit && Out < OutLimit);
#undef SETUP_REFILL
    }
    // Near the ends: input a byte at a time, every write checked.
    FIn = In;
    FBits = Bits;
    FCount = Count;
    for (;;) {
      if (Out == FOutEnd) {
        Result = 1;
        break;
      }
      if (!Refill()) break;
      uint32_t E = Decode(Lit, cLitBits);
      if (E & cLiteral) {
        *Out++ = uint8_t(E >> 16);
        continue;
      }
      if (E & (cEnd | cBad)) {
        if (E & cEnd) Result = 0;
        break;
      }
      unsigned Length = (E >> 16) + Take((E >> 8) & 15);
      if (!Refill()) break;
      E = Decode(Dist, cDistBits);
      if (E & cBad) break;
      uint32_t Distance = (E >> 16) + Take((E >> 8) & 15);
      if (Distance > uint32_t(Out - Floor)) break;
      if (Length > uint32_t(FOutEnd - Out)) Length = uint32_t(FOutEnd - Out);
      const uint8_t* From = Out - Distance;
      do *Out++ = *From++;
      while (--Length);
    }
    FOut = Out;
    return Result;
  Leave:
    FIn = In;
    FBits = Bits;
    FCount = Count;
    FOut = Out;
    return Result;
  }

  // The next symbol of a code whose bits are in the buffer; its bits are dropped.
  uint32_t Decode(const uint32_t* Table, unsigned Root) {
    uint32_t E = Table[FBits & ((1u << Root) - 1)];
    if (E & cSub) {
      FBits >>= Root;
      FCount -= Root;
      E = Table[(E >> 16) + (FBits & ((1u << ((E >> 8) & 15)) - 1))];
    }
    FBits >>= E & 31;
    FCount -= E & 31;
    return E;
  }

  TMemory& FMemory;
  uint8_t* FBuffer = nullptr;  // cSlots windows side by side
  unsigned FNext = 1;          // the slot of the next block; the previous one holds its history
  bool FHistory = false;       // whether it does (not in a folder's first block)
  bool FFixed = false;         // the tables hold the fixed codes

  const uint8_t* FIn = nullptr;
  const uint8_t* FInEnd = nullptr;
  uint32_t FBits = 0;
  unsigned FCount = 0;
  unsigned FMissing = 0;  // zero bytes read beyond the input
  uint8_t* FOut = nullptr;
  uint8_t* FOutEnd = nullptr;
  const uint8_t* FFloor = nullptr;

  uint32_t FLit[cLitEntries];
  uint32_t FDist[cDistEntries];
  uint32_t FPre[1u << cPreBits];
  uint32_t FLitEntries[288];
  uint32_t FDistEntries[32];
  uint32_t FPreEntries[19];
  uint8_t FLengths[320];
};

}  // namespace

TDecoder* CreateMszipDecoder(TMemory& Memory) {
  TMszipDecoder* Decoder = Memory.New<TMszipDecoder>(Memory);
  if (Decoder && !Decoder->Initialize()) {
    Memory.Delete(Decoder);
    return nullptr;
  }
  return Decoder;
}

}  // namespace setup::fdi
