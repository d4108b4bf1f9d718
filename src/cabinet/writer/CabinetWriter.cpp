#include "cabinet/writer/CabinetWriter.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>

#include "cabinet/writer/LzxCompressor.h"
#include "system/Encoding.h"
#include "system/Errors.h"

namespace setup {

namespace {

constexpr std::uint32_t cBlockSize = 32768;
// cCFData of a folder within one cabinet is 16-bit: a folder never needs more blocks than
// that, even with the extra block part a cabinet boundary adds.
constexpr std::uint64_t cMaxFolderSize = std::uint64_t(65534) * cBlockSize;
constexpr std::size_t cMaxEntries = 65535;
// Readers take cabinet offsets as signed 32-bit numbers (ours and the system's alike): a cabinet
// beyond that would be written fine and then refused on the user's machine.
constexpr std::uint64_t cMaxCabinetBytes = 0x7FFFFFFF;
constexpr const char* cTooLargeText =
    "The cabinet would be larger than 2 GB (2147483647 bytes), which cabinet readers refuse; split it into a set";
constexpr std::size_t cMaxNameBytes = 255;

constexpr std::uint16_t cFolderContinuedFromPrev = 0xFFFD;
constexpr std::uint16_t cFolderContinuedToNext = 0xFFFE;
constexpr std::uint16_t cFolderContinuedPrevAndNext = 0xFFFF;
constexpr std::uint16_t cFlagPrevCabinet = 0x0001;
constexpr std::uint16_t cFlagNextCabinet = 0x0002;
constexpr std::uint16_t cCompressNone = 0;
constexpr std::uint16_t cCompressMszip = 1;
constexpr std::uint16_t cCompressLzx = 3;  // the window size in bits goes in bits 8..12

constexpr std::size_t cHeaderFixedSize = 36;
constexpr std::size_t cFolderRecordSize = 8;
constexpr std::size_t cFileRecordFixedSize = 16;
constexpr std::size_t cDataRecordFixedSize = 8;
// The smallest part of a data block worth leaving at the end of a cabinet.
constexpr std::size_t cMinBlockPart = cDataRecordFixedSize + 1;

}  // namespace

std::uint32_t CabinetChecksum(const std::uint8_t* Data, std::size_t Size, std::uint32_t Seed) {
  std::uint32_t Sum = Seed;
  std::size_t Words = Size / 4;
  for (std::size_t i = 0; i < Words; ++i, Data += 4)
    Sum ^= std::uint32_t(Data[0]) | std::uint32_t(Data[1]) << 8 | std::uint32_t(Data[2]) << 16 |
           std::uint32_t(Data[3]) << 24;
  std::uint32_t Tail = 0;
  switch (Size % 4) {
    case 3: Tail |= std::uint32_t(*Data++) << 16; [[fallthrough]];
    case 2: Tail |= std::uint32_t(*Data++) << 8; [[fallthrough]];
    case 1: Tail |= std::uint32_t(*Data++); break;
    default: break;
  }
  return Sum ^ Tail;
}

namespace {

void Put16(std::string& Out, std::uint16_t Value) {
  Out.push_back(char(Value & 0xFF));
  Out.push_back(char(Value >> 8));
}

void Put32(std::string& Out, std::uint32_t Value) {
  Put16(Out, std::uint16_t(Value & 0xFFFF));
  Put16(Out, std::uint16_t(Value >> 16));
}

void PutText(std::string& Out, const std::string& Text) {
  Out += Text;
  Out.push_back('\0');
}

// Replaces "%d" with Number and "%%" with "%"; any other "%" is refused so that a typing
// error in a pattern is not silently carried into every cabinet name.
std::string ExpandNumber(const std::string& Pattern, int Number) {
  std::string Result;
  for (std::size_t i = 0; i < Pattern.size(); ++i) {
    if (Pattern[i] != '%') {
      Result.push_back(Pattern[i]);
      continue;
    }
    char Next = i + 1 < Pattern.size() ? Pattern[i + 1] : '\0';
    if (Next == 'd')
      Result += std::to_string(Number);
    else if (Next == '%')
      Result.push_back('%');
    else
      throw Exception(FormatMessage1("Invalid name pattern '%s': only %d and %% may follow %", Pattern));
    ++i;
  }
  return Result;
}

bool HasNumber(const std::string& Pattern) {
  for (std::size_t i = 0; i + 1 < Pattern.size(); ++i) {
    if (Pattern[i] != '%') continue;
    if (Pattern[i + 1] == 'd') return true;
    ++i;
  }
  return false;
}

std::size_t LastSeparator(const std::string& Path) {
  return Path.find_last_of("/\\");
}

struct TCabFolder {
  std::uint16_t Compression = cCompressNone;
  std::uint64_t DataOffset = 0;  // of its first block in this cabinet's data area
  std::uint32_t BlockCount = 0;
  bool FromPrev = false;
};

struct TCabFile {
  std::string StoredName;
  std::uint16_t Attributes = 0;
  std::uint16_t Date = 0;
  std::uint16_t Time = 0;
  std::uint32_t Size = 0;
  std::uint32_t Offset = 0;  // in the folder's uncompressed data, counted across cabinets
  std::size_t Folder = 0;    // index into this cabinet's folders
  bool FromPrev = false;
  bool ToNext = false;
  std::uint64_t End() const { return std::uint64_t(Offset) + Size; }
};

std::string Utf8FromPath(const std::filesystem::path& Path) {
  std::u8string Text = Path.u8string();
  return std::string(Text.begin(), Text.end());
}

[[noreturn]] void ThrowWriteError(const std::filesystem::path& Path) {
  throw Exception(FormatMessage1("Unable to write '%s'", Utf8FromPath(Path)));
}

}  // namespace

void DosDateTimeOfFile(const std::filesystem::path& Path, std::uint16_t& Date, std::uint16_t& Time) {
  auto Modified = std::filesystem::last_write_time(Path);
  auto System = std::chrono::file_clock::to_sys(Modified);
  std::time_t Seconds = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(System));
  std::tm Local{};
  const std::tm* Converted = std::localtime(&Seconds);
  if (Converted) Local = *Converted;
  int Year = Local.tm_year + 1900;
  if (!Converted || Year < 1980) {
    Date = 0x21;  // the DOS epoch
    Time = 0;
    return;
  }
  if (Year > 2107) {
    Date = std::uint16_t((127 << 9) | (12 << 5) | 31);
    Time = std::uint16_t((23 << 11) | (59 << 5) | 29);
    return;
  }
  Date = std::uint16_t(((Year - 1980) << 9) | ((Local.tm_mon + 1) << 5) | Local.tm_mday);
  Time = std::uint16_t((Local.tm_hour << 11) | (Local.tm_min << 5) | (Local.tm_sec / 2));
}

struct TCabinetWriter::TImpl {
  TCabinetWriterOptions Options;
  bool Spanning = false;
  std::string DirectoryPart;  // with its trailing separator, or empty
  std::string NamePart;

  // The cabinet being filled.
  int Number = 1;
  std::vector<TCabFolder> Folders;
  std::vector<TCabFile> Files;
  std::filesystem::path SpoolPath;
  std::ofstream Spool;
  std::uint64_t DataSize = 0;
  bool CabinetOpen = false;

  std::vector<std::string> Written;
  bool Finished = false;

  // The folder being filled: its uncompressed size so far, the block not yet compressed and
  // the previous block, which MSZIP uses as the preset dictionary.
  bool FolderOpen = false;
  std::uint64_t FolderSize = 0;
  std::uint32_t PendingStart = 0;
  std::vector<std::uint8_t> Pending;
  std::vector<std::uint8_t> History;
  std::vector<std::uint8_t> Packed;
  bool CloseFolderAfterFile = false;

  z_stream Deflater{};
  bool DeflaterReady = false;
  std::unique_ptr<TLzxCompressor> Lzx;

  ~TImpl() {
    if (DeflaterReady) deflateEnd(&Deflater);
  }

  std::string CabinetName(int N) const {
    std::string Name = ExpandNumber(NamePart, N);
    if (Name.empty() || Name.size() > cMaxNameBytes)
      throw Exception(FormatMessage1("Invalid cabinet name '%s'", Name));
    return Name;
  }

  std::string DiskName(int N) const {
    std::string Name = ExpandNumber(Options.DiskNamePattern, N);
    if (Name.size() > cMaxNameBytes) throw Exception(FormatMessage1("Disk name too long: '%s'", Name));
    return Name;
  }

  std::string CabinetPath(int N) const {
    std::string Path = DirectoryPart;
    if (Options.DiskFolders) Path += "DISK" + std::to_string(N) + "/";
    return Path + CabinetName(N);
  }

  std::uint16_t CompressionCode() const {
    if (Options.Compression == ccLzx) return std::uint16_t(cCompressLzx | Options.LzxWindowBits << 8);
    return Options.Compression == ccMszip ? cCompressMszip : cCompressNone;
  }

  static std::size_t FileRecordSize(const TCabFile& File) {
    return cFileRecordFixedSize + File.StoredName.size() + 1;
  }

  // The header of cabinet N up to its data, assuming it has a successor whenever the set may
  // span (the last cabinet comes out smaller than counted, never larger).
  std::uint64_t HeaderSizeFor(int N, std::size_t FolderCount, std::uint64_t FileRecords) const {
    std::uint64_t Size = cHeaderFixedSize + FolderCount * cFolderRecordSize + FileRecords;
    if (N > 1) Size += CabinetName(N - 1).size() + 1 + DiskName(N - 1).size() + 1;
    if (Spanning) Size += CabinetName(N + 1).size() + 1 + DiskName(N + 1).size() + 1;
    return Size;
  }

  std::uint64_t UsedSize() const {
    std::uint64_t Records = 0;
    for (const auto& File : Files) Records += FileRecordSize(File);
    return HeaderSizeFor(Number, Folders.size(), Records) + DataSize;
  }

  // The room of the cabinet being filled.
  std::uint64_t MaxSize() const {
    return Options.MaxCabinetSize - (Number == 1 ? Options.FirstCabinetReserve : 0);
  }

  [[noreturn]] void ThrowTooSmall() const {
    throw Exception(FormatMessage1("The maximum cabinet size %s is too small for this data",
                                   std::to_string(Options.MaxCabinetSize)));
  }

  void OpenCabinet() {
    std::filesystem::path Target = PathFromUtf8(CabinetPath(Number));
    if (Target.has_parent_path()) std::filesystem::create_directories(Target.parent_path());
    SpoolPath = Target;
    SpoolPath += ".part";
    Spool.open(SpoolPath, std::ios::binary | std::ios::trunc);
    if (!Spool) ThrowWriteError(SpoolPath);
    DataSize = 0;
    CabinetOpen = true;
  }

  void WriteData(const std::uint8_t* Data, std::size_t Size, std::uint16_t UncompressedSize) {
    std::uint8_t Record[cDataRecordFixedSize];
    Record[4] = std::uint8_t(Size & 0xFF);
    Record[5] = std::uint8_t(Size >> 8);
    Record[6] = std::uint8_t(UncompressedSize & 0xFF);
    Record[7] = std::uint8_t(UncompressedSize >> 8);
    std::uint32_t Sum = CabinetChecksum(Record + 4, 4, CabinetChecksum(Data, Size, 0));
    for (int i = 0; i < 4; ++i) Record[i] = std::uint8_t(Sum >> (8 * i));
    // Stops before gigabytes more are spooled into a cabinet that can only be refused.
    if (DataSize + sizeof Record + Size > cMaxCabinetBytes) throw Exception(cTooLargeText);
    Spool.write(reinterpret_cast<const char*>(Record), sizeof Record);
    Spool.write(reinterpret_cast<const char*>(Data), std::streamsize(Size));
    if (!Spool) ThrowWriteError(SpoolPath);
    DataSize += sizeof Record + Size;
    ++Folders.back().BlockCount;
  }

  void CloseCabinet(bool Last) {
    Spool.close();
    if (!Spool) ThrowWriteError(SpoolPath);
    CabinetOpen = false;

    bool HasNext = Spanning && !Last;
    std::string Names;
    std::uint16_t Flags = 0;
    if (Number > 1) {
      Flags |= cFlagPrevCabinet;
      PutText(Names, CabinetName(Number - 1));
      PutText(Names, DiskName(Number - 1));
    }
    if (HasNext) {
      Flags |= cFlagNextCabinet;
      PutText(Names, CabinetName(Number + 1));
      PutText(Names, DiskName(Number + 1));
    }
    std::uint64_t FilesOffset = cHeaderFixedSize + Names.size() + Folders.size() * cFolderRecordSize;
    std::uint64_t DataOffset = FilesOffset;
    for (const auto& File : Files) DataOffset += FileRecordSize(File);
    std::uint64_t Total = DataOffset + DataSize;
    if (Total > cMaxCabinetBytes) throw Exception(cTooLargeText);

    std::string Header;
    Header.reserve(std::size_t(DataOffset));
    Header += "MSCF";
    Put32(Header, 0);
    Put32(Header, std::uint32_t(Total));
    Put32(Header, 0);
    Put32(Header, std::uint32_t(FilesOffset));
    Put32(Header, 0);
    Header.push_back(3);  // format version 1.3
    Header.push_back(1);
    Put16(Header, std::uint16_t(Folders.size()));
    Put16(Header, std::uint16_t(Files.size()));
    Put16(Header, Flags);
    Put16(Header, Options.SetId);
    Put16(Header, std::uint16_t(Number - 1));
    Header += Names;
    for (const auto& Folder : Folders) {
      Put32(Header, std::uint32_t(DataOffset + Folder.DataOffset));
      Put16(Header, std::uint16_t(Folder.BlockCount));
      Put16(Header, Folder.Compression);
    }
    for (const auto& File : Files) {
      std::uint16_t FolderIndex = std::uint16_t(File.Folder);
      if (File.FromPrev && File.ToNext)
        FolderIndex = cFolderContinuedPrevAndNext;
      else if (File.FromPrev)
        FolderIndex = cFolderContinuedFromPrev;
      else if (File.ToNext)
        FolderIndex = cFolderContinuedToNext;
      Put32(Header, File.Size);
      Put32(Header, File.Offset);
      Put16(Header, FolderIndex);
      Put16(Header, File.Date);
      Put16(Header, File.Time);
      Put16(Header, File.Attributes);
      PutText(Header, File.StoredName);
    }

    std::filesystem::path Target = PathFromUtf8(CabinetPath(Number));
    {
      std::ofstream Out(Target, std::ios::binary | std::ios::trunc);
      if (!Out) ThrowWriteError(Target);
      Written.push_back(CabinetPath(Number));
      Out.write(Header.data(), std::streamsize(Header.size()));
      std::ifstream In(SpoolPath, std::ios::binary);
      std::vector<char> Buffer(1 << 16);
      while (In) {
        In.read(Buffer.data(), std::streamsize(Buffer.size()));
        if (In.gcount() > 0) Out.write(Buffer.data(), In.gcount());
      }
      if (!In.eof()) ThrowWriteError(SpoolPath);
      Out.close();
      if (!Out) ThrowWriteError(Target);
    }
    std::error_code Ignored;
    std::filesystem::remove(SpoolPath, Ignored);
    Folders.clear();
    Files.clear();
    DataSize = 0;
  }

  void StartNextCabinet() {
    ++Number;
    if (Number > 65536) throw Exception("Too many cabinets in one set");
    OpenCabinet();
  }

  // The open folder has no data in this cabinet yet: rather than continue it, it moves whole
  // into the next cabinet with its files.
  void MoveFolderToNextCabinet() {
    std::size_t Index = Folders.size() - 1;
    TCabFolder Folder = Folders.back();
    std::vector<TCabFile> Moved;
    std::vector<TCabFile> Kept;
    for (auto& File : Files) (File.Folder == Index ? Moved : Kept).push_back(std::move(File));
    Folders.pop_back();
    Files = std::move(Kept);
    CloseCabinet(false);
    StartNextCabinet();
    Folder.DataOffset = 0;
    Folder.BlockCount = 0;
    Folders.push_back(Folder);
    for (auto& File : Moved) File.Folder = 0;
    Files = std::move(Moved);
  }

  void PlaceBlock(const std::vector<std::uint8_t>& Data, std::uint16_t UncompressedSize,
                  std::uint32_t BlockStart) {
    const std::uint64_t Record = cDataRecordFixedSize + Data.size();
    if (!Spanning) {
      WriteData(Data.data(), Data.size(), UncompressedSize);
      return;
    }
    const std::uint64_t Max = MaxSize();
    const std::uint64_t NextMax = Options.MaxCabinetSize;
    const std::uint64_t Used = UsedSize();
    if (Used + Record <= Max) {
      WriteData(Data.data(), Data.size(), UncompressedSize);
      return;
    }
    const std::size_t FolderIndex = Folders.size() - 1;
    // A folder without data here moves whole to the next cabinet, unless it is the cabinet's
    // only one (a first cabinet beside a large setup program): then its first block is split.
    if (Folders.back().BlockCount == 0 && !Folders.back().FromPrev && Folders.size() > 1) {
      MoveFolderToNextCabinet();
      if (UsedSize() + Record > NextMax) ThrowTooSmall();
      WriteData(Data.data(), Data.size(), UncompressedSize);
      return;
    }

    // The folder runs on into the next cabinet. Every file that needs this block is
    // continued, so the cabinet where it begins can deliver it in one pass.
    std::vector<std::size_t> Continued;
    std::uint64_t ContinuedRecords = 0;
    for (std::size_t i = 0; i < Files.size(); ++i) {
      const TCabFile& File = Files[i];
      if (File.Folder != FolderIndex) continue;
      if (File.End() > BlockStart || (File.Size == 0 && File.Offset >= BlockStart)) {
        Continued.push_back(i);
        ContinuedRecords += FileRecordSize(File);
      }
    }
    const std::uint64_t NextHeader = HeaderSizeFor(Number + 1, 1, ContinuedRecords);
    // The first part takes what is left here; the rest must still fit the next cabinet.
    std::uint64_t FirstPart = 0;
    if (Used + cMinBlockPart <= Max) {
      std::uint64_t Room = Max - Used - cDataRecordFixedSize;
      std::uint64_t Least = NextHeader + Record > NextMax ? NextHeader + Record - NextMax : 1;
      if (Room >= Least && Room < Data.size()) FirstPart = Room;
    }
    if (FirstPart == 0 && (NextHeader + Record > NextMax || Folders.back().BlockCount == 0)) ThrowTooSmall();
    if (FirstPart > 0) WriteData(Data.data(), std::size_t(FirstPart), 0);

    std::vector<TCabFile> Carried;
    for (std::size_t i : Continued) {
      Files[i].ToNext = true;
      TCabFile Copy = Files[i];
      Copy.FromPrev = true;
      Copy.ToNext = false;
      Copy.Folder = 0;
      Carried.push_back(std::move(Copy));
    }
    TCabFolder Folder;
    Folder.Compression = Folders.back().Compression;
    Folder.FromPrev = true;
    CloseCabinet(false);
    StartNextCabinet();
    Folders.push_back(Folder);
    Files = std::move(Carried);
    WriteData(Data.data() + FirstPart, std::size_t(Data.size() - FirstPart), UncompressedSize);
    CloseFolderAfterFile = true;
  }

  void FlushBlock() {
    if (Pending.empty()) return;
    const auto Size = std::uint16_t(Pending.size());
    if (Options.Compression == ccMszip) {
      if (deflateReset(&Deflater) != Z_OK) throw Exception("Compression failed");
      if (!History.empty() &&
          deflateSetDictionary(&Deflater, History.data(), uInt(History.size())) != Z_OK)
        throw Exception("Compression failed");
      Packed.resize(2 + deflateBound(&Deflater, Pending.size()));
      Packed[0] = 'C';
      Packed[1] = 'K';
      Deflater.next_in = Pending.data();
      Deflater.avail_in = uInt(Pending.size());
      Deflater.next_out = Packed.data() + 2;
      Deflater.avail_out = uInt(Packed.size() - 2);
      // Z_FINISH closes the block's deflate stream on a byte boundary, as every MSZIP block
      // must be decodable with only the previous block as history.
      if (deflate(&Deflater, Z_FINISH) != Z_STREAM_END) throw Exception("Compression failed");
      Packed.resize(Packed.size() - Deflater.avail_out);
    } else if (Options.Compression == ccLzx) {
      Lzx->CompressFrame(Pending.data(), std::uint32_t(Pending.size()), Packed);
    } else {
      Packed = Pending;
    }
    PlaceBlock(Packed, Size, PendingStart);
    PendingStart += Size;
    History.swap(Pending);
    Pending.clear();
  }

  void OpenFolder() {
    TCabFolder Folder;
    Folder.Compression = CompressionCode();
    Folder.DataOffset = DataSize;
    Folders.push_back(Folder);
    FolderOpen = true;
    FolderSize = 0;
    PendingStart = 0;
    if (Lzx) Lzx->Reset();
    Pending.clear();
    History.clear();
  }

  void CloseFolder() {
    if (!FolderOpen) return;
    FlushBlock();
    FolderOpen = false;
    CloseFolderAfterFile = false;
    History.clear();
  }

  std::pair<std::string, std::uint16_t> StoredName(const TCabinetEntry& Entry) const {
    const std::string& Name = Entry.Name;
    if (Name.empty() || Name.find('\0') != std::string::npos)
      throw Exception(FormatMessage1("Invalid entry name '%s'", Name));
    std::uint16_t Attributes = Entry.Attributes & std::uint16_t(~cabAttrNameIsUtf);
    std::string Stored = Name;
    bool Ascii = std::all_of(Name.begin(), Name.end(), [](char C) { return (unsigned char)C < 0x80; });
    if (!Ascii) {
      if (Options.NameEncoding == cneCp1251) {
        Stored = Utf8ToCp1251(Name);
        if (Cp1251ToUtf8(Stored) != Name)
          throw Exception(FormatMessage1("The name '%s' cannot be written in code page 1251", Name));
      } else {
        if (Utf16ToUtf8(Utf8ToUtf16(Name)) != Name)
          throw Exception(FormatMessage1("The name '%s' is not valid UTF-8", Name));
        Attributes |= cabAttrNameIsUtf;
      }
    }
    if (Stored.size() > cMaxNameBytes) throw Exception(FormatMessage1("Entry name too long: '%s'", Name));
    return {Stored, Attributes};
  }

  bool EntryFits(std::uint64_t Extra) const {
    if (Files.size() >= cMaxEntries) return false;
    return !Spanning || UsedSize() + Extra + cMinBlockPart <= MaxSize();
  }

  void AddFile(const TCabinetEntry& Entry, std::istream& Source, std::uint64_t Size) {
    if (Finished) throw Exception("The cabinet set is already finished");
    auto [Stored, Attributes] = StoredName(Entry);
    if (Size > cMaxFolderSize) throw Exception(FormatMessage1("File too large for a cabinet: '%s'", Entry.Name));
    if (FolderOpen && FolderSize + Size > cMaxFolderSize) CloseFolder();

    std::uint64_t Record = cFileRecordFixedSize + Stored.size() + 1;
    if (!EntryFits(Record + (FolderOpen ? 0 : cFolderRecordSize))) {
      if (!Spanning) throw Exception("Too many files for one cabinet");
      CloseFolder();
      if (!EntryFits(Record + cFolderRecordSize)) {
        CloseCabinet(false);
        StartNextCabinet();
        if (!EntryFits(Record + cFolderRecordSize)) ThrowTooSmall();
      }
    }
    if (!Spanning && Options.Compression == ccNone) {
      // Stored data has a known size: refuse the file before any of it is written.
      const std::uint64_t Blocks = (Pending.size() + Size + cBlockSize - 1) / cBlockSize;
      if (UsedSize() + Record + cFolderRecordSize + Size + Blocks * cDataRecordFixedSize > cMaxCabinetBytes)
        throw Exception(cTooLargeText);
    }
    if (!FolderOpen) OpenFolder();

    TCabFile File;
    File.StoredName = std::move(Stored);
    File.Attributes = Attributes;
    File.Date = Entry.Date;
    File.Time = Entry.Time;
    File.Size = std::uint32_t(Size);
    File.Offset = std::uint32_t(FolderSize);
    File.Folder = Folders.size() - 1;
    Files.push_back(std::move(File));
    FolderSize += Size;

    std::uint64_t Left = Size;
    while (Left > 0) {
      std::size_t Have = Pending.size();
      std::size_t Take = std::size_t(std::min<std::uint64_t>(Left, cBlockSize - Have));
      Pending.resize(Have + Take);
      Source.read(reinterpret_cast<char*>(Pending.data() + Have), std::streamsize(Take));
      if (std::size_t(Source.gcount()) != Take)
        throw Exception(FormatMessage1("The data of '%s' ended early", Entry.Name));
      Left -= Take;
      if (Pending.size() == cBlockSize) FlushBlock();
    }
    if (CloseFolderAfterFile) CloseFolder();
  }
};

TCabinetWriter::TCabinetWriter(TCabinetWriterOptions Options) : FImpl(std::make_unique<TImpl>()) {
  TImpl& I = *FImpl;
  I.Options = std::move(Options);
  I.Spanning = I.Options.MaxCabinetSize != 0;
  std::size_t Separator = LastSeparator(I.Options.OutputPattern);
  I.DirectoryPart = Separator == std::string::npos ? std::string() : I.Options.OutputPattern.substr(0, Separator + 1);
  I.NamePart = Separator == std::string::npos ? I.Options.OutputPattern : I.Options.OutputPattern.substr(Separator + 1);
  if (I.NamePart.empty()) throw Exception("No cabinet file name given");
  if (I.DirectoryPart.find('%') != std::string::npos)
    throw Exception(FormatMessage1("The cabinet number belongs in the file name: '%s'", I.Options.OutputPattern));
  if (I.Spanning && !HasNumber(I.NamePart))
    throw Exception(FormatMessage1("A cabinet set needs %d in its name pattern: '%s'", I.Options.OutputPattern));
  if (I.Spanning && I.Options.MaxCabinetSize > cMaxCabinetBytes)
    throw Exception("The maximum cabinet size must not exceed 2 GB (2147483647 bytes), which cabinet readers refuse");
  if (I.Spanning && I.Options.FirstCabinetReserve >= I.Options.MaxCabinetSize)
    throw Exception("The first disk has no room left for a cabinet");
  if (I.Options.CompressionLevel < 1 || I.Options.CompressionLevel > 9)
    throw Exception("The compression level must be 1 to 9");
  I.CabinetName(1);
  I.DiskName(1);
  if (I.Options.Compression == ccMszip) {
    // Raw deflate with the full 32K window: MSZIP blocks carry no zlib header.
    if (deflateInit2(&I.Deflater, I.Options.CompressionLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw Exception("Compression failed");
    I.DeflaterReady = true;
  }
  if (I.Options.Compression == ccLzx) I.Lzx = std::make_unique<TLzxCompressor>(I.Options.LzxWindowBits, I.Options.CompressionLevel);
  I.Pending.reserve(cBlockSize);
  I.OpenCabinet();
}

TCabinetWriter::~TCabinetWriter() {
  TImpl& I = *FImpl;
  if (I.Finished) return;
  std::error_code Ignored;
  if (I.CabinetOpen) {
    I.Spool.close();
    std::filesystem::remove(I.SpoolPath, Ignored);
  }
  for (const auto& Path : I.Written) std::filesystem::remove(PathFromUtf8(Path), Ignored);
}

void TCabinetWriter::AddFile(const TCabinetEntry& Entry, std::istream& Source, std::uint64_t Size) {
  FImpl->AddFile(Entry, Source, Size);
}

void TCabinetWriter::AddFileFromPath(const TCabinetEntry& Entry, const std::string& Path) {
  std::filesystem::path Source = PathFromUtf8(Path);
  std::error_code Error;
  std::uint64_t Size = std::filesystem::file_size(Source, Error);
  std::ifstream In(Source, std::ios::binary);
  if (Error || !In) throw Exception(FormatMessage1("Unable to read '%s'", Path));
  FImpl->AddFile(Entry, In, Size);
}

void TCabinetWriter::NewFolder() {
  FImpl->CloseFolder();
}

std::vector<std::string> TCabinetWriter::Finish() {
  TImpl& I = *FImpl;
  if (I.Finished) return I.Written;
  I.CloseFolder();
  I.CloseCabinet(true);
  I.Finished = true;
  return I.Written;
}

std::string TCabinetWriter::CabinetPath(int Number) const { return FImpl->CabinetPath(Number); }
std::string TCabinetWriter::CabinetName(int Number) const { return FImpl->CabinetName(Number); }
std::string TCabinetWriter::DiskName(int Number) const { return FImpl->DiskName(Number); }

}  // namespace setup
