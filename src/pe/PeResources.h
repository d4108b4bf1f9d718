#pragma once
// A portable reader and writer of the resources of a Windows executable (PE32 or PE32+), so
// that a prebuilt setup program can be given its script, bitmaps and programs on any system.
//
// Reading never trusts the file: every offset, size and count is checked against the bytes
// that are there, the resource tree has its fixed depth of three, and the amount of data it
// may name is bounded, so that a damaged or hostile file ends in EPeError and nothing else.
//
// Writing builds a new resource section and puts it where the program stays loadable:
// - the resource section is rewritten where it is when it is the last section, when the new
//   one still fits below the next section's address, or when every section after it is
//   discardable and unreferenced by relocations (the linker's ".reloc"), which then moves up;
// - otherwise the new section is appended after the last one and the old one is left unused.
// Section table, SizeOfImage, SizeOfInitializedData, the resource and moved data directories,
// the debug directory's file offsets and the symbol table offset follow; the header checksum
// is computed anew. An Authenticode signature cannot survive a change and is removed.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "system/Errors.h"

namespace setup::pe {

class EPeError : public Exception {
 public:
  using Exception::Exception;
};

// Resource type numbers used here.
constexpr std::uint16_t rtIcon = 3;
constexpr std::uint16_t rtBitmap = 2;
constexpr std::uint16_t rtRcData = 10;
constexpr std::uint16_t rtGroupIcon = 14;
constexpr std::uint16_t rtVersion = 16;
constexpr std::uint16_t rtManifest = 24;

// A resource type or name: a number, or a text stored as UTF-16.
struct TResourceName {
  bool IsId = true;
  std::uint16_t Id = 0;
  std::u16string Text;

  static TResourceName FromId(std::uint16_t Id);
  // Names are found by the system in upper case, so they are stored that way.
  static TResourceName FromText(std::string_view Utf8);
  std::string Display() const;  // "#24" or the text in UTF-8

  // The order of a resource directory: texts first, by UTF-16 code units, then numbers.
  friend bool operator<(const TResourceName& A, const TResourceName& B);
  friend bool operator==(const TResourceName& A, const TResourceName& B);
};

struct TResource {
  TResourceName Type;
  TResourceName Name;
  std::uint16_t Language = 0;
  std::uint32_t CodePage = 0;
  std::string Data;
};

class TResourceTable {
 public:
  std::vector<TResource> Items;

  // The first resource of that type and name, whatever its language; null when none.
  const TResource* Find(const TResourceName& Type, const TResourceName& Name) const;
  // Replaces every language of Type/Name by one resource with Data, in the language of the
  // first one replaced (neutral when it is new).
  void Set(TResourceName Type, TResourceName Name, std::string Data);
  // Removes every language of Type/Name; false when there was none.
  bool Remove(const TResourceName& Type, const TResourceName& Name);
};

// File characteristics of the COFF header: the system copies a program so marked into its
// swap file when it starts it from removable media or from the network, so that the program
// keeps running when the disk is changed or the share goes away.
constexpr std::uint16_t cFileRemovableRunFromSwap = 0x0400;
constexpr std::uint16_t cFileNetRunFromSwap = 0x0800;

struct TPeSection {
  std::string Name;
  std::uint32_t VirtualSize = 0;
  std::uint32_t VirtualAddress = 0;
  std::uint32_t SizeOfRawData = 0;
  std::uint32_t PointerToRawData = 0;
  std::uint32_t Characteristics = 0;
};

class TPeImage {
 public:
  // Checks the headers and the section table; EPeError names what is wrong.
  explicit TPeImage(std::string Bytes);

  const std::string& Bytes() const { return FBytes; }
  bool Is64() const { return FIs64; }
  const std::vector<TPeSection>& Sections() const { return FSections; }
  std::uint32_t StoredChecksum() const;
  std::uint32_t ResourceDirectoryRva() const;

  std::uint16_t FileCharacteristics() const;
  // The whole file again with Flags added to its file characteristics and the header checksum
  // computed anew; the same bytes when they are all set already.
  std::string WithFileCharacteristics(std::uint16_t Flags) const;

  // The resources; an image without any gives an empty table.
  TResourceTable ReadResources() const;
  // The whole file again with Table as its resources.
  std::string WithResources(const TResourceTable& Table) const;

  // The header checksum of a file: 16-bit one's-complement sum of the file without its
  // checksum field, plus the file's length.
  static std::uint32_t ComputeChecksum(std::string_view File, std::size_t ChecksumOffset);
  std::size_t ChecksumOffset() const { return FOptionalOffset + 64; }

 private:
  struct TDirectory {
    std::uint32_t Rva = 0;
    std::uint32_t Size = 0;
  };
  // Where the new resource section goes: the section table as it will be, the section's
  // bytes, and how the rest of the file moves (bytes from FileCut on by FileShift, sections
  // from RvaFrom on by RvaShift).
  struct TPlacement {
    std::vector<TPeSection> Sections;
    std::string Section;
    std::size_t Target = 0;  // index of the section that receives the resources
    std::uint64_t FileCut = 0;
    std::int64_t FileShift = 0;
    std::uint32_t RvaFrom = 0;
    std::int64_t RvaShift = 0;
    std::uint64_t OldRawSize = 0;  // of the section replaced; 0 for a new one
    bool Appended = false;
    std::uint64_t RawEnd = 0;  // end of the last section's bytes: the overlay starts here
  };
  TPlacement Place(const TResourceTable& Table) const;
  std::string Assemble(const TPlacement& Placement) const;
  TDirectory Directory(std::uint32_t Index) const;
  std::size_t DirectoryOffset(std::uint32_t Index) const;
  // The file offset of an RVA that has Size bytes of raw data behind it in one section.
  bool RvaToOffset(std::uint32_t Rva, std::uint32_t Size, std::size_t& Offset) const;
  int ResourceSectionIndex() const;
  bool CanMoveSectionsAfter(std::size_t Index) const;

  std::string FBytes;
  bool FIs64 = false;
  std::size_t FCoffOffset = 0;
  std::size_t FOptionalOffset = 0;
  std::size_t FSectionTableOffset = 0;
  std::uint32_t FDirectoryCount = 0;
  std::uint32_t FFileAlignment = 0;
  std::uint32_t FSectionAlignment = 0;
  std::uint32_t FSizeOfHeaders = 0;
  std::vector<TPeSection> FSections;
};

// Checks a .bmp file and returns the bitmap resource made of it (the file without its
// 14-byte file header). EPeError says what is wrong with it.
std::string BitmapResourceFromFile(std::string_view File);

}  // namespace setup::pe
