#pragma once
// Writes Microsoft cabinet files, alone or as a numbered set that spans several cabinets
// ("setup1.cab", "setup2.cab", ...), with stored, MSZIP- or LZX-compressed data.
//
// Memory stays bounded whatever the size of the input: data is compressed block by block
// from the caller's stream and spooled to a temporary file beside the cabinet until the
// cabinet is complete; only the file and folder records of the open cabinet are kept.
//
// Layout choices the reader side relies on:
// - Every data block of a folder holds 32768 uncompressed bytes except the folder's last.
// - A folder that runs over a cabinet boundary ends with the files it carried over: the
//   next file starts a new folder. Each cabinet of a set can therefore be extracted on its
//   own, skipping only the files continued from the previous one, which is how the setup
//   program walks a set (even though MSZIP blocks depend on the previous block's data).
// - Every file whose data reaches the data block that crosses the boundary is announced as
//   continued in both cabinets, so that the cabinet where it begins delivers it whole.
#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "system/Files.h"  // PathFromUtf8

namespace setup {

enum TCabinetCompression { ccNone, ccMszip, ccLzx };

// How entry names are stored. The default keeps UTF-8 and marks non-ASCII names with the
// cabinet's "name is UTF" attribute; the other stores code page 1251 bytes without the mark,
// which is what older extractors show correctly on Russian systems.
enum TCabinetNameEncoding { cneUtf8, cneCp1251 };

struct TCabinetWriterOptions {
  // Path of the cabinet, or of every cabinet of a set: "%d" in the file-name part stands for
  // the cabinet's number, from 1 ("out/setup%d.cab"). "%%" is a literal percent sign.
  std::string OutputPattern;
  TCabinetCompression Compression = ccMszip;
  int CompressionLevel = 6;  // 1..9, zlib's levels and the LZX matcher's effort
  unsigned LzxWindowBits = 21;  // LZX window of 2^15..2^21 bytes
  // 0: one cabinet without a size limit. Otherwise no cabinet of the set is larger.
  std::uint64_t MaxCabinetSize = 0;
  // Bytes of the first disk taken by other files (the setup program beside setup1.cab): the
  // first cabinet of a spanned set is that much smaller than MaxCabinetSize.
  std::uint64_t FirstCabinetReserve = 0;
  // Cabinet n is written into the folder "DISKn" beside the pattern's folder.
  bool DiskFolders = false;
  // The disk name recorded for cabinet n ("%d" as in OutputPattern).
  std::string DiskNamePattern = "DISK%d";
  std::uint16_t SetId = 0;
  TCabinetNameEncoding NameEncoding = cneUtf8;
};

// The cabinet checksum: XOR of little-endian 32-bit words, the tail bytes folded in the
// order the format defines (first tail byte highest). A data block's checksum is that of its
// data, then of its two size fields with the first result as the seed.
std::uint32_t CabinetChecksum(const std::uint8_t* Data, std::size_t Size, std::uint32_t Seed);

// Attribute bits of a cabinet entry.
constexpr std::uint16_t cabAttrReadOnly = 0x01;
constexpr std::uint16_t cabAttrHidden = 0x02;
constexpr std::uint16_t cabAttrSystem = 0x04;
constexpr std::uint16_t cabAttrArchive = 0x20;
constexpr std::uint16_t cabAttrExecute = 0x40;
constexpr std::uint16_t cabAttrNameIsUtf = 0x80;

struct TCabinetEntry {
  std::string Name;  // UTF-8, as the extractor should name the file ("bin\\a.dll", "12")
  std::uint16_t Date = 0x21;  // DOS date: 1980-01-01
  std::uint16_t Time = 0;     // DOS time
  std::uint16_t Attributes = cabAttrArchive;
};

// The DOS date and time of a file's last modification, in local time as FAT keeps it.
void DosDateTimeOfFile(const std::filesystem::path& Path, std::uint16_t& Date, std::uint16_t& Time);

class TCabinetWriter {
 public:
  explicit TCabinetWriter(TCabinetWriterOptions Options);
  // Without a successful Finish the cabinets written so far are deleted: a half-written set
  // must not look complete.
  ~TCabinetWriter();
  TCabinetWriter(const TCabinetWriter&) = delete;
  TCabinetWriter& operator=(const TCabinetWriter&) = delete;

  // Appends one entry whose content is the next Size bytes of Source. A source that ends
  // early raises an error.
  void AddFile(const TCabinetEntry& Entry, std::istream& Source, std::uint64_t Size);
  // Appends a file from disk; the entry keeps the caller's name and attributes.
  void AddFileFromPath(const TCabinetEntry& Entry, const std::string& Path);
  // The next entry starts a new folder (a new compression history).
  void NewFolder();
  // Writes the last cabinet; returns the paths of all cabinets written, in order.
  std::vector<std::string> Finish();

  // Path, file name and disk name of cabinet Number (from 1).
  std::string CabinetPath(int Number) const;
  std::string CabinetName(int Number) const;
  std::string DiskName(int Number) const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace setup
