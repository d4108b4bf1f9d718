#pragma once
// Test data and an independent reader of cabinet headers, shared by the native and the Wine
// tests of the cabinet writer.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cabinet/writer/CabinetWriter.h"
#include "shared/TestFiles.h"

namespace cabtest {

// Deterministic data: Kind 0 is random (incompressible), 1 is text-like, 2 mixes both in
// 5000-byte stretches so that blocks compress unevenly.
inline std::string MakeData(std::uint64_t Seed, std::size_t Size, int Kind) {
  std::uint64_t X = Seed * 0x9E3779B97F4A7C15ull + 1;
  auto Next = [&X] {
    X ^= X << 13;
    X ^= X >> 7;
    X ^= X << 17;
    return X;
  };
  static const char* const Words[] = {"setup ", "cabinet ", "folder ", "disk ", "file\r\n", "1C ", "data "};
  std::string Out;
  Out.reserve(Size);
  while (Out.size() < Size) {
    bool Random = Kind == 0 || (Kind == 2 && (Out.size() / 5000) % 2 == 0);
    if (Random)
      Out.push_back(char(Next() >> 56));
    else
      Out += Words[Next() % 7];
  }
  Out.resize(Size);
  return Out;
}

struct TSourceFile {
  std::string Name;
  std::string Data;
  bool NewFolderBefore = false;
};

inline std::vector<TSourceFile> MixedFiles() {
  std::vector<TSourceFile> Files;
  Files.push_back({"empty.txt", ""});
  for (int i = 0; i < 300; ++i)
    Files.push_back({"small\\" + std::to_string(i), MakeData(i, (i * 37) % 2000, i % 3)});
  Files.push_back({"big.bin", MakeData(1000, 100000, 2), true});
  Files.push_back({"Документ.txt", MakeData(1001, 5000, 1)});
  Files.push_back({"exactly32k", MakeData(1002, 32768, 0), true});
  return Files;
}

// A set whose cabinet size lets one random file cross two boundaries and puts several
// files around each boundary.
inline std::vector<TSourceFile> SpanningFiles() {
  std::vector<TSourceFile> Files;
  for (int i = 0; i < 12; ++i) Files.push_back({std::to_string(i + 1), MakeData(i, 3000 + i * 900, 0)});
  Files.push_back({"100", MakeData(100, 150000, 0)});
  Files.push_back({"101", ""});
  Files.push_back({"102", MakeData(102, 20000, 2)});
  for (int i = 0; i < 20; ++i) Files.push_back({std::to_string(200 + i), MakeData(200 + i, 4000, 2)});
  Files.push_back({"300", MakeData(300, 70000, 0), true});
  return Files;
}

inline std::vector<std::string> WriteCabinets(const setup::TCabinetWriterOptions& Options,
                                              const std::vector<TSourceFile>& Files) {
  setup::TCabinetWriter Writer(Options);
  for (const auto& File : Files) {
    if (File.NewFolderBefore) Writer.NewFolder();
    std::istringstream In(File.Data);
    setup::TCabinetEntry Entry;
    Entry.Name = File.Name;
    Entry.Date = 0x5A21;  // 2025-01-01
    Entry.Time = 0x6000;  // 12:00:00
    Writer.AddFile(Entry, In, File.Data.size());
  }
  return Writer.Finish();
}

struct TCabFileRecord {
  std::uint32_t Size, Offset;
  std::uint16_t Folder, Date, Time, Attributes;
  std::string Name;
};

struct TCabDataRecord {
  std::uint16_t Packed, Unpacked;
};

struct TCabFolderRecord {
  std::uint32_t Start;
  std::uint16_t BlockCount, Compression;
  std::vector<TCabDataRecord> Blocks;
};

struct TCabHeader {
  std::uint32_t Size = 0;
  std::uint16_t Flags = 0, SetId = 0, Index = 0;
  std::string PrevCabinet, PrevDisk, NextCabinet, NextDisk;
  std::vector<TCabFolderRecord> Folders;
  std::vector<TCabFileRecord> Files;
  std::uint64_t FileSize = 0;
};

inline TCabHeader ReadHeader(const std::filesystem::path& Path) {
  std::string B = test::ReadFile(Path);
  std::size_t P = 0;
  auto Need = [&](std::size_t N) {
    if (P + N > B.size()) throw std::runtime_error("cabinet truncated: " + Path.string());
  };
  auto U8 = [&] { Need(1); return std::uint8_t(B[P++]); };
  auto U16 = [&] { std::uint16_t L = U8(); return std::uint16_t(L | U8() << 8); };
  auto U32 = [&] { std::uint32_t L = U16(); return L | std::uint32_t(U16()) << 16; };
  auto Text = [&] {
    std::size_t End = B.find('\0', P);
    if (End == std::string::npos) throw std::runtime_error("unterminated name");
    std::string S = B.substr(P, End - P);
    P = End + 1;
    return S;
  };
  TCabHeader H;
  H.FileSize = B.size();
  if (B.compare(0, 4, "MSCF") != 0) throw std::runtime_error("not a cabinet: " + Path.string());
  P = 8;
  H.Size = U32();
  P = 16;
  std::uint32_t FilesOffset = U32();
  P = 26;
  std::uint16_t FolderCount = U16(), FileCount = U16();
  H.Flags = U16();
  H.SetId = U16();
  H.Index = U16();
  if (H.Flags & 1) { H.PrevCabinet = Text(); H.PrevDisk = Text(); }
  if (H.Flags & 2) { H.NextCabinet = Text(); H.NextDisk = Text(); }
  for (int i = 0; i < FolderCount; ++i) {
    TCabFolderRecord F;
    F.Start = U32();
    F.BlockCount = U16();
    F.Compression = U16();
    H.Folders.push_back(F);
  }
  if (P != FilesOffset) throw std::runtime_error("coffFiles does not point at the file records");
  for (int i = 0; i < FileCount; ++i) {
    TCabFileRecord F;
    F.Size = U32();
    F.Offset = U32();
    F.Folder = U16();
    F.Date = U16();
    F.Time = U16();
    F.Attributes = U16();
    F.Name = Text();
    H.Files.push_back(F);
  }
  for (auto& F : H.Folders) {
    P = F.Start;
    for (int i = 0; i < F.BlockCount; ++i) {
      P += 4;
      TCabDataRecord D;
      D.Packed = U16();
      D.Unpacked = U16();
      Need(D.Packed);
      P += D.Packed;
      F.Blocks.push_back(D);
    }
  }
  return H;
}

}  // namespace cabtest
