#pragma once
// A cabinet taken apart into its records, so that a mutator can change one field or one data
// block and write the cabinet back with every size, count, offset and checksum consistent
// again.
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzcab {

struct TDataBlock {
  std::uint16_t Uncompressed = 0;  // 0: the first part of a block that goes on in the next cabinet
  std::string Reserve;
  std::string Data;
};

struct TFolder {
  std::uint16_t Type = 0;
  std::string Reserve;
  std::vector<TDataBlock> Blocks;
};

struct TFile {
  std::uint32_t Size = 0;
  std::uint32_t Offset = 0;  // in the folder's uncompressed data
  std::uint16_t Folder = 0;
  std::uint16_t Date = 0, Time = 0, Attribs = 0;
  std::string Name;
};

struct TCabinetModel {
  std::uint32_t Reserved1 = 0, Reserved2 = 0, Reserved3 = 0;
  std::uint8_t Minor = 3, Major = 1;
  std::uint16_t Flags = 0;  // 1: previous cabinet, 2: next cabinet, 4: reserve fields
  std::uint16_t SetId = 0, Index = 0;
  std::string HeaderReserve;
  std::uint8_t FolderReserveSize = 0, DataReserveSize = 0;
  std::string PrevName, PrevDisk, NextName, NextDisk;
  std::vector<TFolder> Folders;
  std::vector<TFile> Files;
};

constexpr std::uint16_t FlagPrev = 1, FlagNext = 2, FlagReserve = 4;

// False when Data is no cabinet whose records and data blocks all lie within it.
bool ParseCabinet(const std::uint8_t* Data, std::size_t Size, TCabinetModel& Cabinet);
// The cabinet's bytes: cbCabinet, coffFiles, cFolders, cFiles, coffCabStart, cCFData, cbData
// and the data block checksums follow from the records.
std::string WriteCabinet(const TCabinetModel& Cabinet);

}  // namespace fuzzcab
