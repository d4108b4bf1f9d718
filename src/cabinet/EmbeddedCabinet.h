#pragma once
// A cabinet carried inside the setup program's own file, after its sections: a single-file
// download. The program's "CABPLACE" resource gives where it lies (eight bytes: its offset from
// the start of the file and its size, both 32-bit little-endian); its digest is among the
// others in CABDIGESTS. The library reads it as a window of the program's file.
#include <cstdint>
#include <string>
#include <string_view>

namespace setup {

struct TEmbeddedCabinet {
  std::uint32_t Offset = 0;
  std::uint32_t Size = 0;  // 0: none
};
// The name the carried cabinet goes by.
inline constexpr const char* cEmbeddedCabinetName = "setup1.cab";

std::string EmbeddedCabinetPlace(const TEmbeddedCabinet& Cabinet);
// False unless Bytes is such a place, of a cabinet that ends within 4 GB.
bool ReadEmbeddedCabinetPlace(std::string_view Bytes, TEmbeddedCabinet& Cabinet);
// True when a program file of FileSize bytes (-1: unknown) holds the whole cabinet: a download
// cut anywhere in it is shorter.
bool EmbeddedCabinetComplete(const TEmbeddedCabinet& Cabinet, std::int64_t FileSize);
// How many of Count bytes may be read at Position of a file whose window ends at End.
unsigned WindowReadCount(std::uint32_t End, std::uint32_t Position, unsigned Count);

}  // namespace setup
