#pragma once
// The cabinet file format as it lies on disk: the fixed part of each record with the offsets of
// its fields, the flags, the limits, the little-endian field access and the data block
// checksum. The decompression library, the cabinet writer and the fuzz targets read and write
// cabinets through these names only, so there is one description of the format to get right.
//
// A cabinet is a CFHEADER (with an optional reserve area and the names of its neighbours in a
// set), its CFFOLDER records, its CFFILE records (each followed by a zero-terminated name) and
// the CFDATA blocks of its folders.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace setup::cabfmt {

// CFHEADER: the fixed part.
namespace header {
constexpr uint32_t cSignature = 0;     // "MSCF"
constexpr uint32_t cCabinetSize = 8;   // u32, the whole cabinet in bytes
constexpr uint32_t cFilesOffset = 16;  // u32, the first CFFILE record
constexpr uint32_t cVersionMinor = 24;  // u8
constexpr uint32_t cVersionMajor = 25;  // u8, always 1
constexpr uint32_t cFolderCount = 26;  // u16
constexpr uint32_t cFileCount = 28;    // u16
constexpr uint32_t cFlags = 30;        // u16, cFlag... below
constexpr uint32_t cSetId = 32;        // u16, the same in every cabinet of a set
constexpr uint32_t cCabinetIndex = 34;  // u16, 0 for the first cabinet of a set
constexpr uint32_t cSize = 36;
}  // namespace header

constexpr uint8_t cSignatureBytes[4] = {'M', 'S', 'C', 'F'};
constexpr uint8_t cVersionMinor = 3, cVersionMajor = 1;

// CFHEADER flags.
constexpr uint16_t cFlagPrevCabinet = 0x0001;    // the previous cabinet's name and disk follow
constexpr uint16_t cFlagNextCabinet = 0x0002;    // the next cabinet's name and disk follow
constexpr uint16_t cFlagReservePresent = 0x0004;  // the reserve sizes follow the fixed part

// The reserve sizes that follow the fixed CFHEADER when cFlagReservePresent is set; the
// header's reserve area comes right after them.
namespace reserve {
constexpr uint32_t cHeaderReserve = 0;  // u16
constexpr uint32_t cFolderReserve = 2;  // u8, per CFFOLDER
constexpr uint32_t cDataReserve = 3;    // u8, per CFDATA
constexpr uint32_t cSize = 4;
}  // namespace reserve
constexpr uint32_t cMaxHeaderReserve = 60000;

// CFFOLDER: the fixed part (the folder reserve follows).
namespace folder {
constexpr uint32_t cFirstBlock = 0;   // u32, cabinet offset of its first CFDATA
constexpr uint32_t cBlockCount = 4;   // u16, its CFDATA blocks in this cabinet
constexpr uint32_t cCompression = 6;  // u16, cCompress... with the method's parameters
constexpr uint32_t cSize = 8;
}  // namespace folder

// Compression methods (the low four bits of CFFOLDER's compression field).
constexpr uint16_t cCompressMask = 0x000F;
constexpr uint16_t cCompressNone = 0;
constexpr uint16_t cCompressMszip = 1;
constexpr uint16_t cCompressQuantum = 2;
constexpr uint16_t cCompressLzx = 3;
constexpr unsigned cLzxWindowShift = 8;  // LZX: the window size in bits, in bits 8..12

// CFFILE: the fixed part (the zero-terminated name follows).
namespace file {
constexpr uint32_t cUncompressedSize = 0;  // u32
constexpr uint32_t cFolderOffset = 4;      // u32, where the file starts in its folder's data
constexpr uint32_t cFolder = 8;            // u16, a folder index or cFolderContinued...
constexpr uint32_t cDate = 10;             // u16, DOS date
constexpr uint32_t cTime = 12;             // u16, DOS time
constexpr uint32_t cAttributes = 14;       // u16
constexpr uint32_t cSize = 16;
}  // namespace file

// CFFILE folder values of a file that lies partly in another cabinet of the set.
constexpr uint16_t cFolderContinuedFromPrev = 0xFFFD;
constexpr uint16_t cFolderContinuedToNext = 0xFFFE;
constexpr uint16_t cFolderContinuedPrevAndNext = 0xFFFF;

// CFDATA: the fixed part (the data reserve, then the data follow).
namespace data {
constexpr uint32_t cChecksum = 0;          // u32, 0 when not computed
constexpr uint32_t cCompressedSize = 4;    // u16, the bytes of data that follow
constexpr uint32_t cUncompressedSize = 6;  // u16, 0 for the first part of a block split across cabinets
constexpr uint32_t cSize = 8;
}  // namespace data

// A name in the set fields or in CFFILE: at most 255 bytes and its terminating zero.
constexpr uint32_t cMaxNameBytes = 255;
constexpr uint32_t cUncompressedBlockSize = 32768;  // the most a CFDATA block expands to

inline uint16_t Get16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
inline uint32_t Get32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) | (static_cast<uint32_t>(P[2]) << 16) |
         (static_cast<uint32_t>(P[3]) << 24);
}
inline void Put16(uint8_t* P, uint16_t Value) {
  P[0] = static_cast<uint8_t>(Value);
  P[1] = static_cast<uint8_t>(Value >> 8);
}
inline void Put32(uint8_t* P, uint32_t Value) {
  Put16(P, static_cast<uint16_t>(Value));
  Put16(P + 2, static_cast<uint16_t>(Value >> 16));
}

// The checksum of the format: 32-bit little-endian words XORed into Seed, the 1 to 3 trailing
// bytes folded in with the first of them highest.
inline uint32_t Checksum(const uint8_t* Data, size_t Size, uint32_t Seed) {
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "words are read as they lie in memory");
  uint32_t Sum = Seed;
  size_t Words = Size / 4;
  for (; Words >= 4; Words -= 4, Data += 16) {
    uint32_t A, B, C, D;
    memcpy(&A, Data, 4);
    memcpy(&B, Data + 4, 4);
    memcpy(&C, Data + 8, 4);
    memcpy(&D, Data + 12, 4);
    Sum ^= A ^ B ^ C ^ D;
  }
  for (; Words; --Words, Data += 4) {
    uint32_t Word;
    memcpy(&Word, Data, 4);
    Sum ^= Word;
  }
  uint32_t Tail = 0;
  switch (Size % 4) {
    case 3: Tail |= static_cast<uint32_t>(*Data++) << 16; [[fallthrough]];
    case 2: Tail |= static_cast<uint32_t>(*Data++) << 8; [[fallthrough]];
    case 1: Tail |= *Data; break;
    default: break;
  }
  return Sum ^ Tail;
}

// The checksum a CFDATA record carries: its data, then its two size fields. Header is the
// record's fixed part with the sizes already filled in.
inline uint32_t DataBlockChecksum(const uint8_t* Header, const uint8_t* Data, size_t Size) {
  return Checksum(Header + data::cCompressedSize, 4, Checksum(Data, Size, 0));
}

}  // namespace setup::cabfmt
