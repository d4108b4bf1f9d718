#include "cabinet/CabinetModel.h"

#include <cstring>

#include "cabinet/CabinetFormat.h"

namespace fuzzcab {
namespace {

namespace fmt = setup::cabfmt;
constexpr std::size_t HeaderSize = fmt::header::cSize, FolderSize = fmt::folder::cSize, FileSize = fmt::file::cSize,
                      DataHeaderSize = fmt::data::cSize;

class TBytes {
 public:
  TBytes(const std::uint8_t* Data, std::size_t Size) : FData(Data), FSize(Size) {}
  bool Has(std::size_t At, std::size_t Count) const { return At <= FSize && Count <= FSize - At; }
  std::uint16_t U16(std::size_t At) const { return static_cast<std::uint16_t>(FData[At] | FData[At + 1] << 8); }
  std::uint32_t U32(std::size_t At) const { return U16(At) | static_cast<std::uint32_t>(U16(At + 2)) << 16; }
  std::string Text(std::size_t At, std::size_t Count) const {
    return std::string(reinterpret_cast<const char*>(FData + At), Count);
  }
  // A zero-terminated name at At; At moves past it.
  bool Name(std::size_t& At, std::string& Out) const {
    for (std::size_t I = At; I < FSize && I - At <= 255; ++I)
      if (FData[I] == 0) {
        Out = Text(At, I - At);
        At = I + 1;
        return true;
      }
    return false;
  }

 private:
  const std::uint8_t* FData;
  std::size_t FSize;
};

void Put8(std::string& Out, std::uint8_t V) { Out.push_back(static_cast<char>(V)); }
void Put16(std::string& Out, std::uint16_t V) {
  Put8(Out, V & 0xFF);
  Put8(Out, V >> 8);
}
void Put32(std::string& Out, std::uint32_t V) {
  Put16(Out, V & 0xFFFF);
  Put16(Out, V >> 16);
}
void Set32(std::string& Out, std::size_t At, std::uint32_t V) {
  for (int I = 0; I < 4; ++I) Out[At + I] = static_cast<char>(V >> (8 * I));
}
void PutName(std::string& Out, const std::string& Name) {
  Out += Name.substr(0, std::min<std::size_t>(Name.find('\0'), 255));
  Put8(Out, 0);
}

}  // namespace

bool ParseCabinet(const std::uint8_t* Data, std::size_t Size, TCabinetModel& C) {
  const TBytes B(Data, Size);
  if (!B.Has(0, HeaderSize) || std::memcmp(Data, "MSCF", 4) != 0) return false;
  C = TCabinetModel{};
  C.Reserved1 = B.U32(4);
  C.Reserved2 = B.U32(12);
  C.Reserved3 = B.U32(20);
  C.Minor = Data[24];
  C.Major = Data[25];
  const std::size_t FolderCount = B.U16(26), FileCount = B.U16(28);
  C.Flags = B.U16(30);
  C.SetId = B.U16(32);
  C.Index = B.U16(34);
  std::size_t At = HeaderSize;
  if (C.Flags & FlagReserve) {
    if (!B.Has(At, 4)) return false;
    const std::size_t HeaderReserve = B.U16(At);
    C.FolderReserveSize = Data[At + 2];
    C.DataReserveSize = Data[At + 3];
    At += 4;
    if (!B.Has(At, HeaderReserve)) return false;
    C.HeaderReserve = B.Text(At, HeaderReserve);
    At += HeaderReserve;
  }
  if ((C.Flags & FlagPrev) && (!B.Name(At, C.PrevName) || !B.Name(At, C.PrevDisk))) return false;
  if ((C.Flags & FlagNext) && (!B.Name(At, C.NextName) || !B.Name(At, C.NextDisk))) return false;
  for (std::size_t I = 0; I < FolderCount; ++I) {
    if (!B.Has(At, FolderSize + C.FolderReserveSize)) return false;
    TFolder F;
    std::size_t Block = B.U32(At);
    const std::size_t Blocks = B.U16(At + 4);
    F.Type = B.U16(At + 6);
    F.Reserve = B.Text(At + FolderSize, C.FolderReserveSize);
    At += FolderSize + C.FolderReserveSize;
    for (std::size_t K = 0; K < Blocks; ++K) {
      if (!B.Has(Block, DataHeaderSize + C.DataReserveSize)) return false;
      TDataBlock D;
      const std::size_t Compressed = B.U16(Block + 4);
      D.Uncompressed = B.U16(Block + 6);
      D.Reserve = B.Text(Block + DataHeaderSize, C.DataReserveSize);
      Block += DataHeaderSize + C.DataReserveSize;
      if (!B.Has(Block, Compressed)) return false;
      D.Data = B.Text(Block, Compressed);
      Block += Compressed;
      F.Blocks.push_back(std::move(D));
    }
    C.Folders.push_back(std::move(F));
  }
  At = B.U32(16);
  for (std::size_t I = 0; I < FileCount; ++I) {
    if (!B.Has(At, FileSize)) return false;
    TFile F;
    F.Size = B.U32(At);
    F.Offset = B.U32(At + 4);
    F.Folder = B.U16(At + 8);
    F.Date = B.U16(At + 10);
    F.Time = B.U16(At + 12);
    F.Attribs = B.U16(At + 14);
    At += FileSize;
    if (!B.Name(At, F.Name)) return false;
    C.Files.push_back(std::move(F));
  }
  return true;
}

std::string WriteCabinet(const TCabinetModel& C) {
  std::string Out;
  Out += "MSCF";
  Put32(Out, C.Reserved1);
  Put32(Out, 0);  // cbCabinet, below
  Put32(Out, C.Reserved2);
  Put32(Out, 0);  // coffFiles, below
  Put32(Out, C.Reserved3);
  Put8(Out, C.Minor);
  Put8(Out, C.Major);
  Put16(Out, static_cast<std::uint16_t>(C.Folders.size()));
  Put16(Out, static_cast<std::uint16_t>(C.Files.size()));
  Put16(Out, C.Flags);
  Put16(Out, C.SetId);
  Put16(Out, C.Index);
  if (C.Flags & FlagReserve) {
    Put16(Out, static_cast<std::uint16_t>(C.HeaderReserve.size()));
    Put8(Out, C.FolderReserveSize);
    Put8(Out, C.DataReserveSize);
    Out += C.HeaderReserve;
  }
  if (C.Flags & FlagPrev) {
    PutName(Out, C.PrevName);
    PutName(Out, C.PrevDisk);
  }
  if (C.Flags & FlagNext) {
    PutName(Out, C.NextName);
    PutName(Out, C.NextDisk);
  }
  const std::size_t FolderFolder = Out.size();
  const std::size_t FolderReserve = (C.Flags & FlagReserve) ? C.FolderReserveSize : 0;
  const std::size_t DataReserve = (C.Flags & FlagReserve) ? C.DataReserveSize : 0;
  for (const TFolder& F : C.Folders) {
    Put32(Out, 0);  // coffCabStart, below
    Put16(Out, static_cast<std::uint16_t>(F.Blocks.size()));
    Put16(Out, F.Type);
    Out += F.Reserve.substr(0, FolderReserve);
    Out.append(FolderReserve - std::min(FolderReserve, F.Reserve.size()), '\0');
  }
  Set32(Out, 16, static_cast<std::uint32_t>(Out.size()));
  for (const TFile& F : C.Files) {
    Put32(Out, F.Size);
    Put32(Out, F.Offset);
    Put16(Out, F.Folder);
    Put16(Out, F.Date);
    Put16(Out, F.Time);
    Put16(Out, F.Attribs);
    PutName(Out, F.Name.empty() ? std::string("x") : F.Name);
  }
  for (std::size_t I = 0; I < C.Folders.size(); ++I) {
    Set32(Out, FolderFolder + I * (FolderSize + FolderReserve), static_cast<std::uint32_t>(Out.size()));
    for (const TDataBlock& D : C.Folders[I].Blocks) {
      const std::size_t Compressed = std::min<std::size_t>(D.Data.size(), 0xFFFF);
      std::string Sizes;
      Put16(Sizes, static_cast<std::uint16_t>(Compressed));
      Put16(Sizes, D.Uncompressed);
      const auto* Bytes = reinterpret_cast<const std::uint8_t*>(D.Data.data());
      const std::uint32_t Sum = fmt::Checksum(reinterpret_cast<const std::uint8_t*>(Sizes.data()), 4,
                                              fmt::Checksum(Bytes, Compressed, 0));
      Put32(Out, Sum);
      Out += Sizes;
      Out += D.Reserve.substr(0, DataReserve);
      Out.append(DataReserve - std::min(DataReserve, D.Reserve.size()), '\0');
      Out.append(D.Data, 0, Compressed);
    }
  }
  Set32(Out, 8, static_cast<std::uint32_t>(Out.size()));
  return Out;
}

}  // namespace fuzzcab
