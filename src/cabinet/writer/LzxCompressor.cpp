#include "cabinet/writer/LzxCompressor.h"

#include <algorithm>
#include <cstring>
#include <queue>

#include "cabinet/LzxFormat.h"
#include "system/Errors.h"

namespace setup {

namespace {

using namespace setup::lzx;

// The translation size the Microsoft tools announce: the size of an executable image that
// call targets are taken to lie in.
constexpr std::uint32_t cTranslationSize = 12000000;
constexpr unsigned cMaxPretreeLength = 15;  // a pretree length has four bits

// Bits in 16-bit little-endian words, the first bit in the top of its word.
class TBitWriter {
 public:
  explicit TBitWriter(std::vector<std::uint8_t>& Out) : FOut(Out) {}
  void Put(std::uint32_t Value, unsigned Bits) {
    if (Bits > 16) {
      Put(Value >> 16, Bits - 16);
      Bits = 16;
    }
    FBuffer = (FBuffer << Bits) | (Value & ((std::uint32_t(1) << Bits) - 1));
    FCount += Bits;
    if (FCount >= 16) {
      std::uint32_t Word = std::uint32_t(FBuffer >> (FCount - 16)) & 0xFFFF;
      FOut.push_back(std::uint8_t(Word));
      FOut.push_back(std::uint8_t(Word >> 8));
      FCount -= 16;
    }
  }
  bool Aligned() const { return FCount == 0; }
  void Align() {
    if (FCount) Put(0, 16 - FCount);
  }

 private:
  std::vector<std::uint8_t>& FOut;
  std::uint64_t FBuffer = 0;
  unsigned FCount = 0;
};

// Code lengths of a Huffman code for Frequencies, none longer than MaxLength. At least two
// symbols always get a code, so that every tree is complete, as all decoders accept.
void BuildLengths(const std::uint32_t* Frequencies, unsigned Count, unsigned MaxLength, std::uint8_t* Lengths) {
  std::vector<std::uint64_t> Weight(Frequencies, Frequencies + Count);
  unsigned Used = unsigned(std::count_if(Weight.begin(), Weight.end(), [](std::uint64_t W) { return W != 0; }));
  for (unsigned S = 0; Used < 2 && S < Count; S++)
    if (Weight[S] == 0) {
      Weight[S] = 1;
      Used++;
    }
  std::vector<int> Parent(2 * Count);
  std::vector<unsigned> Depth(2 * Count);
  for (;;) {
    using TItem = std::pair<std::uint64_t, int>;
    std::priority_queue<TItem, std::vector<TItem>, std::greater<TItem>> Queue;
    for (unsigned S = 0; S < Count; S++)
      if (Weight[S]) Queue.push({Weight[S], int(S)});
    int Next = int(Count);
    while (Queue.size() > 1) {
      TItem A = Queue.top();
      Queue.pop();
      TItem B = Queue.top();
      Queue.pop();
      Parent[A.second] = Parent[B.second] = Next;
      Queue.push({A.first + B.first, Next++});
    }
    // Parents are made after their children: walking down from the root gives the depths.
    Depth[Next - 1] = 0;
    unsigned Longest = 0;
    for (int N = Next - 2; N >= 0; N--) {
      if (N < int(Count) && Weight[N] == 0) continue;
      Depth[N] = Depth[Parent[N]] + 1;
      if (N < int(Count)) Longest = std::max(Longest, Depth[N]);
    }
    if (Longest <= MaxLength) {
      for (unsigned S = 0; S < Count; S++) Lengths[S] = Weight[S] ? std::uint8_t(Depth[S]) : 0;
      return;
    }
    // Too deep: flatten the distribution and build again.
    for (auto& W : Weight)
      if (W) W = (W >> 1) | 1;
  }
}

// Canonical codes: shorter codes first, equal lengths in symbol order.
void CanonicalCodes(const std::uint8_t* Lengths, unsigned Count, std::uint16_t* Codes) {
  unsigned PerLength[cMaxCodeLength + 1] = {};
  for (unsigned S = 0; S < Count; S++) PerLength[Lengths[S]]++;
  PerLength[0] = 0;
  std::uint32_t NextCode[cMaxCodeLength + 2] = {};
  std::uint32_t Code = 0;
  for (unsigned L = 1; L <= cMaxCodeLength; L++) {
    Code = (Code + PerLength[L - 1]) << 1;
    NextCode[L] = Code;
  }
  for (unsigned S = 0; S < Count; S++)
    if (Lengths[S]) Codes[S] = std::uint16_t(NextCode[Lengths[S]]++);
}

// The code lengths First..Last-1 of a tree as changes to the previous ones, through a pretree.
void WriteLengths(TBitWriter& Bits, const std::uint8_t* Lengths, const std::uint8_t* Previous, unsigned First,
                  unsigned Last) {
  struct TToken {
    std::uint8_t Code, Extra, ExtraBits, Change;
  };
  std::vector<TToken> Tokens;
  std::uint32_t Frequencies[cPretreeSymbols] = {};
  auto ChangeOf = [&](unsigned I) { return std::uint8_t((Previous[I] + 17 - Lengths[I]) % 17); };
  for (unsigned I = First; I < Last;) {
    unsigned Run = 1;
    while (I + Run < Last && Lengths[I + Run] == Lengths[I] && (Lengths[I] == 0 || Previous[I + Run] == Previous[I]))
      Run++;
    if (Lengths[I] == 0 && Run >= 20) {
      Run = std::min(Run, 51u);
      Tokens.push_back({18, std::uint8_t(Run - 20), 5, 0});
    } else if (Lengths[I] == 0 && Run >= 4) {
      Run = std::min(Run, 19u);
      Tokens.push_back({17, std::uint8_t(Run - 4), 4, 0});
    } else if (Run >= 4) {
      // Equal new lengths over equal old ones: one change for up to five entries.
      Run = std::min(Run, 5u);
      Tokens.push_back({19, std::uint8_t(Run - 4), 1, ChangeOf(I)});
      Frequencies[ChangeOf(I)]++;
    } else {
      Run = 1;
      Tokens.push_back({ChangeOf(I), 0, 0, 0});
    }
    Frequencies[Tokens.back().Code]++;
    I += Run;
  }
  std::uint8_t PretreeLengths[cPretreeSymbols];
  std::uint16_t PretreeCodes[cPretreeSymbols];
  BuildLengths(Frequencies, cPretreeSymbols, cMaxPretreeLength, PretreeLengths);
  CanonicalCodes(PretreeLengths, cPretreeSymbols, PretreeCodes);
  for (unsigned S = 0; S < cPretreeSymbols; S++) Bits.Put(PretreeLengths[S], 4);
  for (const TToken& T : Tokens) {
    Bits.Put(PretreeCodes[T.Code], PretreeLengths[T.Code]);
    if (T.ExtraBits) Bits.Put(T.Extra, T.ExtraBits);
    if (T.Code == 19) Bits.Put(PretreeCodes[T.Change], PretreeLengths[T.Change]);
  }
}

// The position slot of a formatted offset (match offset + 2).
unsigned SlotOf(std::uint32_t Formatted) {
  if (Formatted < 4) return Formatted;
  if (Formatted >= (1u << 19)) return 38 + ((Formatted - (1u << 19)) >> 17);
  unsigned High = 31 - unsigned(__builtin_clz(Formatted));
  return 2 * High + ((Formatted >> (High - 1)) & 1);
}

struct TToken {
  std::uint16_t Main;
  std::uint8_t LengthFooter;  // when the main symbol's length header is 7
  std::uint8_t ExtraBits;
  std::uint32_t Extra;
};

struct TMatch {
  std::uint32_t Length = 0;
  std::uint32_t Offset = 0;
  int Gain = 0;  // rough bits saved against literals
};

// Search effort per level: chain links followed, length that ends the search, length
// below which the next position is tried too.
struct TEffort {
  unsigned Chain, Nice, Lazy;
};
constexpr TEffort cEfforts[10] = {{0, 0, 0},     {4, 16, 0},     {8, 32, 4},     {16, 32, 8},      {32, 64, 16},
                                 {48, 96, 32},  {64, 128, 64},  {128, 257, 128}, {512, 257, 257}, {2048, 257, 257}};

}  // namespace

struct TLzxCompressor::TImpl {
  unsigned WindowBits;
  std::uint32_t WindowSize;
  std::uint32_t MaxOffset;
  unsigned MainSymbols;
  TEffort Effort;

  std::vector<std::uint8_t> Data;  // the window before the frame, then the frame
  std::uint64_t Base = 0;          // folder position of Data[0]
  std::uint32_t Fill = 0;
  std::vector<std::uint32_t> Head;  // folder position + 1 of the last place of each hash
  std::vector<std::uint32_t> Chain;  // per window slot: the place before with the same hash, + 1
  std::uint64_t Inserted = 0;       // places below this are in the chains
  std::uint64_t Position = 0;       // folder position of the next frame
  std::uint32_t Repeat[3] = {1, 1, 1};
  std::uint8_t MainPrevious[cMaxMainSymbols] = {};
  std::uint8_t LengthPrevious[cLengthSymbols] = {};
  bool HeaderWritten = false;
  std::vector<TToken> Tokens;
  std::vector<std::uint8_t> Compressed;

  const std::uint8_t* At(std::uint64_t Place) const { return Data.data() + (Place - Base); }

  // Few places share a hash even in a 2 MB window: on data that does not repeat, chains of
  // unrelated places would cost a cache miss per link.
  unsigned HashBits = 17;
  std::uint32_t HashOf(const std::uint8_t* P) const {
    std::uint32_t Key = std::uint32_t(P[0]) << 16 | std::uint32_t(P[1]) << 8 | P[2];
    return (Key * 2654435761u) >> (32 - HashBits);
  }

  void InsertUpTo(std::uint64_t End) {
    std::uint64_t Limit = Base + Fill >= 2 ? Base + Fill - 2 : 0;  // three bytes needed
    if (End > Limit) End = Limit;
    for (; Inserted < End; Inserted++) {
      std::uint32_t H = HashOf(At(Inserted));
      Chain[Inserted & (WindowSize - 1)] = Head[H];
      Head[H] = std::uint32_t(Inserted + 1);
    }
  }

  std::uint32_t Common(const std::uint8_t* A, const std::uint8_t* B, std::uint32_t Limit) const {
    std::uint32_t N = 0;
    while (N + 8 <= Limit) {
      std::uint64_t X, Y;
      std::memcpy(&X, A + N, 8);
      std::memcpy(&Y, B + N, 8);
      if (X != Y) return N + unsigned(__builtin_ctzll(X ^ Y)) / 8;  // little-endian hosts
      N += 8;
    }
    while (N < Limit && A[N] == B[N]) N++;
    return N;
  }

  static int GainOf(std::uint32_t Length, std::uint32_t Offset, bool Repeated) {
    int Cost = Repeated ? 8 : 9 + int(PositionExtraBits(SlotOf(Offset + 2)));
    return int(Length) * 7 - Cost;
  }

  // The best match at Place that ends before Limit, repeated offsets first.
  TMatch Find(std::uint64_t Place, std::uint32_t Limit) {
    TMatch Best;
    if (Limit < cMinMatch) return Best;
    if (Limit > cMaxMatch) Limit = cMaxMatch;
    const std::uint8_t* Here = At(Place);
    for (unsigned K = 0; K < 3; K++) {
      std::uint32_t Offset = Repeat[K];
      if (Offset > Place || Offset > MaxOffset) continue;
      std::uint32_t Length = Common(Here, Here - Offset, Limit);
      if (Length < cMinMatch) continue;
      int Gain = GainOf(Length, Offset, true);
      if (Gain > Best.Gain) Best = {Length, Offset, Gain};
    }
    if (Limit < 3 || Best.Length >= Effort.Nice) return Best;
    std::uint32_t Candidate = Head[HashOf(Here)];
    for (unsigned Links = Effort.Chain; Candidate && Links; Links--) {
      std::uint64_t From = Candidate - 1;
      if (From >= Place || Place - From > MaxOffset) break;
      const std::uint8_t* There = At(From);
      std::uint32_t Offset = std::uint32_t(Place - From);
      if (There[Best.Length < Limit ? Best.Length : 0] == Here[Best.Length < Limit ? Best.Length : 0]) {
        std::uint32_t Length = Common(Here, There, Limit);
        if (Length >= 3) {
          int Gain = GainOf(Length, Offset, Offset == Repeat[0] || Offset == Repeat[1] || Offset == Repeat[2]);
          if (Gain > Best.Gain) {
            Best = {Length, Offset, Gain};
            if (Length >= Effort.Nice) break;
          }
        }
      }
      std::uint32_t Earlier = Chain[From & (WindowSize - 1)];
      if (Earlier >= Candidate) break;
      Candidate = Earlier;
    }
    return Best;
  }

  void AddLiteral(std::uint8_t Byte) { Tokens.push_back({Byte, 0, 0, 0}); }

  void AddMatch(const TMatch& M) {
    unsigned Slot;
    std::uint32_t Extra = 0;
    unsigned ExtraBits = 0;
    if (M.Offset == Repeat[0]) {
      Slot = 0;
    } else if (M.Offset == Repeat[1]) {
      Slot = 1;
      std::swap(Repeat[0], Repeat[1]);
    } else if (M.Offset == Repeat[2]) {
      Slot = 2;
      std::swap(Repeat[0], Repeat[2]);
    } else {
      std::uint32_t Formatted = M.Offset + 2;
      Slot = SlotOf(Formatted);
      ExtraBits = PositionExtraBits(Slot);
      Extra = Formatted - PositionBase(Slot);
      Repeat[2] = Repeat[1];
      Repeat[1] = Repeat[0];
      Repeat[0] = M.Offset;
    }
    std::uint32_t Header = std::min<std::uint32_t>(M.Length - cMinMatch, 7);
    Tokens.push_back({std::uint16_t(cLiterals + Slot * cLengthHeaders + Header),
                      std::uint8_t(Header == 7 ? M.Length - cMinMatch - 7 : 0), std::uint8_t(ExtraBits), Extra});
  }

  // cLiterals and matches for the frame now at the end of Data.
  void Parse(std::uint64_t Start, std::uint32_t Size) {
    Tokens.clear();
    const std::uint64_t End = Start + Size;
    std::uint64_t Place = Start;
    TMatch Carried;
    bool HaveCarried = false;
    while (Place < End) {
      InsertUpTo(Place);
      TMatch M = HaveCarried ? Carried : Find(Place, std::uint32_t(End - Place));
      HaveCarried = false;
      if (M.Length && M.Length < Effort.Lazy && Place + 1 < End) {
        InsertUpTo(Place + 1);
        TMatch Next = Find(Place + 1, std::uint32_t(End - Place - 1));
        if (Next.Gain > M.Gain + 7) {
          AddLiteral(*At(Place));
          Place++;
          Carried = Next;
          HaveCarried = true;
          continue;
        }
      }
      if (M.Length) {
        AddMatch(M);
        Place += M.Length;
      } else {
        AddLiteral(*At(Place));
        Place++;
      }
    }
  }

  // Call translation of one frame in place, as the decoder will undo it.
  void Translate(std::uint8_t* Frame, std::uint32_t Size, std::uint64_t Start) const {
    if (Start >= cTranslationLimit || Size <= cTranslationTail) return;
    const std::int32_t FileSize = std::int32_t(cTranslationSize);
    for (std::uint32_t I = 0; I < Size - cTranslationTail;) {
      if (Frame[I] != 0xE8) {
        I++;
        continue;
      }
      const std::int32_t Current = std::int32_t(Start + I);
      std::uint8_t* Target = Frame + I + 1;
      std::int32_t Relative = std::int32_t(std::uint32_t(Target[0]) | std::uint32_t(Target[1]) << 8 |
                                           std::uint32_t(Target[2]) << 16 | std::uint32_t(Target[3]) << 24);
      if (Relative >= -Current && Relative < FileSize) {
        std::int32_t Absolute = Relative < FileSize - Current ? Relative + Current : Relative - FileSize;
        Target[0] = std::uint8_t(Absolute);
        Target[1] = std::uint8_t(Absolute >> 8);
        Target[2] = std::uint8_t(Absolute >> 16);
        Target[3] = std::uint8_t(Absolute >> 24);
      }
      I += 5;
    }
  }

  void WriteStreamHeader(TBitWriter& Bits) {
    if (HeaderWritten) return;
    Bits.Put(1, 1);
    Bits.Put(cTranslationSize, 32);
  }

  void WriteVerbatim(std::uint32_t Size, std::vector<std::uint8_t>& Out, std::uint8_t* MainLengths,
                     std::uint8_t* LengthLengths) {
    std::uint32_t MainFrequencies[cMaxMainSymbols] = {};
    std::uint32_t LengthFrequencies[cLengthSymbols] = {};
    for (const TToken& T : Tokens) {
      MainFrequencies[T.Main]++;
      if (T.Main >= cLiterals && ((T.Main - cLiterals) & 7) == 7) LengthFrequencies[T.LengthFooter]++;
    }
    BuildLengths(MainFrequencies, MainSymbols, cMaxCodeLength, MainLengths);
    BuildLengths(LengthFrequencies, cLengthSymbols, cMaxCodeLength, LengthLengths);
    std::uint16_t MainCodes[cMaxMainSymbols], LengthCodes[cLengthSymbols];
    CanonicalCodes(MainLengths, MainSymbols, MainCodes);
    CanonicalCodes(LengthLengths, cLengthSymbols, LengthCodes);
    // Offsets whose low three bits follow a pattern (records, aligned tables) are cheaper
    // with those bits in a tree of their own: an aligned-offset block.
    std::uint32_t AlignedFrequencies[cAlignedSymbols] = {};
    std::uint64_t AlignedCount = 0;
    for (const TToken& T : Tokens)
      if (T.Main >= cLiterals && T.ExtraBits >= 3) {
        AlignedFrequencies[T.Extra & 7]++;
        AlignedCount++;
      }
    std::uint8_t AlignedLengths[cAlignedSymbols];
    std::uint16_t AlignedCodes[cAlignedSymbols];
    BuildLengths(AlignedFrequencies, cAlignedSymbols, 7, AlignedLengths);
    CanonicalCodes(AlignedLengths, cAlignedSymbols, AlignedCodes);
    std::uint64_t AlignedBits = 3 * cAlignedSymbols;
    for (unsigned S = 0; S < cAlignedSymbols; S++) AlignedBits += std::uint64_t(AlignedFrequencies[S]) * AlignedLengths[S];
    const bool Aligned = AlignedBits < 3 * AlignedCount;

    TBitWriter Bits(Out);
    WriteStreamHeader(Bits);
    Bits.Put(Aligned ? btAligned : btVerbatim, 3);
    Bits.Put(Size, 24);
    if (Aligned)
      for (unsigned S = 0; S < cAlignedSymbols; S++) Bits.Put(AlignedLengths[S], 3);
    WriteLengths(Bits, MainLengths, MainPrevious, 0, cLiterals);
    WriteLengths(Bits, MainLengths, MainPrevious, cLiterals, MainSymbols);
    WriteLengths(Bits, LengthLengths, LengthPrevious, 0, cLengthSymbols);
    for (const TToken& T : Tokens) {
      Bits.Put(MainCodes[T.Main], MainLengths[T.Main]);
      if (T.Main < cLiterals) continue;
      if (((T.Main - cLiterals) & 7) == 7) Bits.Put(LengthCodes[T.LengthFooter], LengthLengths[T.LengthFooter]);
      if (Aligned && T.ExtraBits >= 3) {
        Bits.Put(T.Extra >> 3, T.ExtraBits - 3u);
        Bits.Put(AlignedCodes[T.Extra & 7], AlignedLengths[T.Extra & 7]);
      } else if (T.ExtraBits) {
        Bits.Put(T.Extra, T.ExtraBits);
      }
    }
    Bits.Align();
  }

  void WriteStored(const std::uint8_t* Frame, std::uint32_t Size, std::vector<std::uint8_t>& Out) {
    TBitWriter Bits(Out);
    WriteStreamHeader(Bits);
    Bits.Put(btUncompressed, 3);
    Bits.Put(Size, 24);
    // One to sixteen bits of padding up to the next word; the bytes follow.
    if (Bits.Aligned()) Bits.Put(0, 16);
    Bits.Align();
    for (std::uint32_t R : Repeat)
      for (int I = 0; I < 4; I++) Out.push_back(std::uint8_t(R >> (8 * I)));
    Out.insert(Out.end(), Frame, Frame + Size);
    if (Size & 1) Out.push_back(0);
  }

  void CompressFrame(const std::uint8_t* Input, std::uint32_t Size, std::vector<std::uint8_t>& Out) {
    if (Size == 0 || Size > cFrameSize) throw Exception("Compression failed");
    // Keep one window of history in front of the frame.
    if (Fill + Size > Data.size()) {
      std::uint32_t Keep = std::min(Fill, WindowSize);
      std::memmove(Data.data(), Data.data() + (Fill - Keep), Keep);
      Base += Fill - Keep;
      Fill = Keep;
    }
    std::uint8_t* Frame = Data.data() + Fill;
    std::memcpy(Frame, Input, Size);
    Translate(Frame, Size, Position);
    Fill += Size;

    std::uint32_t Saved[3] = {Repeat[0], Repeat[1], Repeat[2]};
    Parse(Position, Size);
    std::uint8_t MainLengths[cMaxMainSymbols], LengthLengths[cLengthSymbols];
    Compressed.clear();
    WriteVerbatim(Size, Compressed, MainLengths, LengthLengths);
    // A stored block costs the header, padding, the offsets and the bytes.
    std::size_t StoredSize = (HeaderWritten ? 4 : 8) + 12 + Size + (Size & 1);
    Out.clear();
    if (Compressed.size() < StoredSize) {
      Out.swap(Compressed);
      std::memcpy(MainPrevious, MainLengths, MainSymbols);
      std::memcpy(LengthPrevious, LengthLengths, cLengthSymbols);
    } else {
      // The decoder takes the offsets from the stored block: they are the ones the frame
      // began with, since its matches are not used.
      std::memcpy(Repeat, Saved, sizeof Repeat);
      WriteStored(Frame, Size, Out);
    }
    HeaderWritten = true;
    Position += Size;
  }

  void Reset() {
    Base = 0;
    Fill = 0;
    Inserted = 0;
    Position = 0;
    std::fill(Head.begin(), Head.end(), 0);
    Repeat[0] = Repeat[1] = Repeat[2] = 1;
    std::memset(MainPrevious, 0, sizeof MainPrevious);
    std::memset(LengthPrevious, 0, sizeof LengthPrevious);
    HeaderWritten = false;
  }
};

TLzxCompressor::TLzxCompressor(unsigned WindowBits, int Level) : FImpl(std::make_unique<TImpl>()) {
  if (WindowBits < cMinWindowBits || WindowBits > cMaxWindowBits)
    throw Exception("The LZX window must be 2^15 to 2^21 bytes");
  if (Level < 1 || Level > 9) throw Exception("The compression level must be 1 to 9");
  TImpl& I = *FImpl;
  I.WindowBits = WindowBits;
  I.WindowSize = std::uint32_t(1) << WindowBits;
  I.MaxOffset = I.WindowSize - 3;
  I.MainSymbols = cLiterals + cLengthHeaders * PositionSlotsFor(WindowBits);
  I.Effort = cEfforts[Level];
  // Two windows of room: the history moves down once per window of input, not per frame.
  I.Data.resize(2 * std::size_t(I.WindowSize) + cFrameSize);
  I.HashBits = WindowBits >= 18 ? 20 : 17;
  I.Head.resize(std::size_t(1) << I.HashBits);
  I.Chain.resize(I.WindowSize);
  I.Tokens.reserve(cFrameSize);
  I.Reset();
}

TLzxCompressor::~TLzxCompressor() = default;

void TLzxCompressor::Reset() { FImpl->Reset(); }

void TLzxCompressor::CompressFrame(const std::uint8_t* Data, std::uint32_t Size, std::vector<std::uint8_t>& Out) {
  FImpl->CompressFrame(Data, Size, Out);
}

}  // namespace setup
