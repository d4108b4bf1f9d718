#pragma once
// Small PE32 images laid out the way a linker does, for the tests of the resource writer: the
// sections given, file alignment 0x200, section alignment 0x1000, headers with room for more
// sections. A section may be the resource section (its data then starts with an empty resource
// directory) or the base relocations (a block that patches the first section).
#include <cstdint>
#include <string>
#include <vector>

namespace petest {

constexpr std::uint32_t cCode = 0x60000020;         // code, execute, read
constexpr std::uint32_t cData = 0xC0000040;         // initialised data, read, write
constexpr std::uint32_t cResources = 0x40000040;    // initialised data, read
constexpr std::uint32_t cRelocations = 0x42000040;  // initialised data, discardable, read

struct TSection {
  std::string Name;
  std::string Data;
  std::uint32_t Characteristics = cData;
  bool IsResources = false;
  bool IsRelocations = false;
};

inline void Set16(std::string& B, std::size_t At, std::uint32_t V) {
  B[At] = char(V & 0xFF);
  B[At + 1] = char((V >> 8) & 0xFF);
}
inline void Set32(std::string& B, std::size_t At, std::uint32_t V) {
  Set16(B, At, V & 0xFFFF);
  Set16(B, At + 2, V >> 16);
}
inline std::uint32_t Get32(const std::string& B, std::size_t At) {
  return std::uint32_t(std::uint8_t(B[At])) | std::uint32_t(std::uint8_t(B[At + 1])) << 8 |
         std::uint32_t(std::uint8_t(B[At + 2])) << 16 | std::uint32_t(std::uint8_t(B[At + 3])) << 24;
}

constexpr std::size_t cPeOffset = 0x80;
constexpr std::size_t cOptional = cPeOffset + 24;
constexpr std::size_t cDirectories = cOptional + 96;
constexpr std::size_t cSectionTable = cOptional + 224;
// The same offsets in a 64-bit image (PE32+), whose optional header is 16 bytes longer.
constexpr std::size_t cDirectories64 = cOptional + 112;
constexpr std::size_t cSectionTable64 = cOptional + 240;

inline std::string BuildImage(std::vector<TSection> Sections, const std::string& Overlay = {}, bool Pe64 = false) {
  const std::size_t Directories = Pe64 ? cDirectories64 : cDirectories;
  const std::size_t SectionTable = Pe64 ? cSectionTable64 : cSectionTable;
  const std::uint32_t FileAlign = 0x200, SectionAlign = 0x1000, Headers = 0x400;
  std::string B(Headers, '\0');
  B[0] = 'M';
  B[1] = 'Z';
  Set32(B, 0x3C, cPeOffset);
  B.replace(cPeOffset, 4, std::string("PE\0\0", 4));
  Set16(B, cPeOffset + 4, Pe64 ? 0x8664 : 0x14C);  // x64 or i386
  Set16(B, cPeOffset + 6, std::uint32_t(Sections.size()));
  Set16(B, cPeOffset + 20, Pe64 ? 240 : 224);
  Set16(B, cPeOffset + 22, Pe64 ? 0x0022 : 0x0102);  // executable, large-address-aware or 32-bit
  Set16(B, cOptional, Pe64 ? 0x20B : 0x10B);
  Set32(B, cOptional + 16, 0x1000);  // entry point
  if (Pe64) {  // the image base is 8 bytes wide at 24: 0x140000000
    Set32(B, cOptional + 24, 0x40000000);
    Set32(B, cOptional + 28, 0x1);
  } else {
    Set32(B, cOptional + 28, 0x400000);
  }
  Set32(B, cOptional + 32, SectionAlign);
  Set32(B, cOptional + 36, FileAlign);
  Set16(B, cOptional + 40, 4);
  Set16(B, cOptional + 48, 4);
  Set32(B, cOptional + 60, Headers);
  Set16(B, cOptional + 68, 2);  // GUI
  Set32(B, Directories - 4, 16);
  std::uint32_t Rva = 0x1000;
  for (std::size_t i = 0; i < Sections.size(); ++i) {
    auto& S = Sections[i];
    if (S.IsResources && S.Data.size() < 16) S.Data.resize(16, '\0');  // an empty root directory
    if (S.IsRelocations) {
      // One block patching two words of the first section, as a linker writes it.
      S.Data.assign(12, '\0');
      Set32(S.Data, 0, 0x1000);
      Set32(S.Data, 4, 12);
      Set16(S.Data, 8, 0x3000 | 0x10);
      Set16(S.Data, 10, 0x3000 | 0x20);
    }
    const std::uint32_t Raw = std::uint32_t((S.Data.size() + FileAlign - 1) / FileAlign * FileAlign);
    const std::size_t At = SectionTable + 40 * i;
    B.replace(At, S.Name.size(), S.Name);
    Set32(B, At + 8, std::uint32_t(S.Data.size()));
    Set32(B, At + 12, Rva);
    Set32(B, At + 16, Raw);
    Set32(B, At + 20, std::uint32_t(B.size()));
    Set32(B, At + 36, S.Characteristics);
    if (S.IsResources) Set32(B, Directories + 16, Rva), Set32(B, Directories + 20, std::uint32_t(S.Data.size()));
    if (S.IsRelocations) Set32(B, Directories + 40, Rva), Set32(B, Directories + 44, std::uint32_t(S.Data.size()));
    std::string Padded = S.Data;
    Padded.resize(Raw, '\0');
    B += Padded;
    Rva += std::uint32_t((S.Data.size() + SectionAlign - 1) / SectionAlign * SectionAlign);
  }
  Set32(B, cOptional + 56, Rva);
  return B + Overlay;
}

}  // namespace petest
