#pragma once
// The constants of the LZX data format as cabinets carry it, shared by the decoder of the
// cabinet library and the compressor of the cabinet writer, so that both read the same
// tables.
//
// The compressed stream is a sequence of 16-bit little-endian words read from the most
// significant bit down. Its output is cut into frames of 32 KB, one per data block of the
// folder; the bit stream restarts on a word boundary with every frame.
#include <stdint.h>

namespace setup::lzx {

constexpr unsigned cMinWindowBits = 15;
constexpr unsigned cMaxWindowBits = 21;
constexpr uint32_t cFrameSize = 32768;

constexpr unsigned cMinMatch = 2;
constexpr unsigned cMaxMatch = 257;
constexpr unsigned cLiterals = 256;
constexpr unsigned cLengthHeaders = 8;   // match lengths 2..8 in the main symbol, 7 means "more follows"
constexpr unsigned cLengthSymbols = 249;  // lengths 9..257
constexpr unsigned cAlignedSymbols = 8;
constexpr unsigned cPretreeSymbols = 20;
constexpr unsigned cMaxPositionSlots = 50;
constexpr unsigned cMaxMainSymbols = cLiterals + cLengthHeaders * cMaxPositionSlots;
constexpr unsigned cMaxCodeLength = 16;

enum TBlockType : unsigned { btVerbatim = 1, btAligned = 2, btUncompressed = 3 };

// Position slots of each window size from 2^15 to 2^21.
constexpr unsigned PositionSlotsFor(unsigned WindowBits) {
  return WindowBits == 21 ? 50 : WindowBits == 20 ? 42 : WindowBits * 2;
}

// Extra bits of a position slot: none for the first four, then one more for every second
// slot, at most 17.
constexpr unsigned PositionExtraBits(unsigned Slot) {
  return Slot < 4 ? 0 : (Slot - 2) / 2 > 17 ? 17 : (Slot - 2) / 2;
}

// The smallest formatted offset (match offset + 2) of a slot.
constexpr uint32_t PositionBase(unsigned Slot) {
  uint32_t Base = 0;
  for (unsigned S = 0; S < Slot; S++) Base += uint32_t(1) << PositionExtraBits(S);
  return Base;
}

static_assert(PositionBase(4) == 4 && PositionBase(6) == 8 && PositionBase(36) == 262144);
static_assert(PositionBase(PositionSlotsFor(15)) == (1u << 15) && PositionBase(PositionSlotsFor(21)) == (1u << 21));
static_assert(PositionBase(PositionSlotsFor(20)) == (1u << 20) && PositionBase(PositionSlotsFor(18)) == (1u << 18));

// The call translation (E8 preprocessing): in the first 2^30 bytes of output, a 0xE8 byte
// that starts at least 10 bytes before the end of its frame is followed by a 32-bit
// absolute target that the decoder turns back into the relative one.
constexpr uint64_t cTranslationLimit = uint64_t(1) << 30;
constexpr uint32_t cTranslationTail = 10;

}  // namespace setup::lzx
