#include "pe/PeResources.h"

#include <algorithm>
#include <functional>
#include <limits>

#include "system/Encoding.h"

namespace setup::pe {
namespace {

constexpr std::uint32_t cResourceDirectory = 2;
constexpr std::uint32_t cSecurityDirectory = 4;
constexpr std::uint32_t cBaseRelocDirectory = 5;
constexpr std::uint32_t cDebugDirectory = 6;
constexpr std::uint32_t cBoundImportDirectory = 11;
constexpr std::size_t cSectionHeaderSize = 40;
constexpr std::size_t cCoffHeaderSize = 20;
constexpr std::uint32_t cScnInitializedData = 0x00000040;
constexpr std::uint32_t cScnExecute = 0x20000000;
constexpr std::uint32_t cScnDiscardable = 0x02000000;
constexpr std::uint32_t cScnRead = 0x40000000;
// More than any real program carries; a tree that claims more is damaged or hostile.
constexpr std::size_t cMaxResources = 100000;

std::uint16_t Get16(std::string_view B, std::size_t At) {
  return std::uint16_t(std::uint8_t(B[At]) | std::uint8_t(B[At + 1]) << 8);
}
std::uint32_t Get32(std::string_view B, std::size_t At) {
  return std::uint32_t(Get16(B, At)) | std::uint32_t(Get16(B, At + 2)) << 16;
}
void Set16(std::string& B, std::size_t At, std::uint16_t V) {
  B[At] = char(V & 0xFF);
  B[At + 1] = char(V >> 8);
}
void Set32(std::string& B, std::size_t At, std::uint32_t V) {
  Set16(B, At, std::uint16_t(V & 0xFFFF));
  Set16(B, At + 2, std::uint16_t(V >> 16));
}
void Put16(std::string& B, std::uint16_t V) {
  B.push_back(char(V & 0xFF));
  B.push_back(char(V >> 8));
}
void Put32(std::string& B, std::uint32_t V) {
  Put16(B, std::uint16_t(V & 0xFFFF));
  Put16(B, std::uint16_t(V >> 16));
}

// True when [At, At + Size) lies within a buffer of Total bytes, without overflow.
bool Within(std::uint64_t At, std::uint64_t Size, std::uint64_t Total) {
  return At <= Total && Size <= Total - At;
}

bool IsPowerOfTwo(std::uint32_t V) { return V != 0 && (V & (V - 1)) == 0; }

std::uint64_t AlignUp(std::uint64_t V, std::uint32_t Alignment) {
  return (V + Alignment - 1) / Alignment * Alignment;
}

std::uint32_t Narrow(std::uint64_t V, const char* What) {
  if (V > std::numeric_limits<std::uint32_t>::max())
    throw EPeError(std::string("The program would grow too large: ") + What + " exceeds 4 GB");
  return std::uint32_t(V);
}

// The resource tree, one directory level at a time.
class TResourceTreeReader {
 public:
  TResourceTreeReader(std::string_view Section, std::function<std::string(std::uint32_t, std::uint32_t)> ReadData,
                      std::uint64_t DataBudget)
      : FSection(Section), FReadData(std::move(ReadData)), FDataBudget(DataBudget),
        FEntryBudget(Section.size() / 8) {}

  TResourceTable Read() {
    TResourceTable Table;
    TResource Current;
    ReadDirectory(0, 0, Current, Table);
    return Table;
  }

 private:
  void Need(std::uint64_t At, std::uint64_t Size, const char* What) const {
    if (!Within(At, Size, FSection.size()))
      throw EPeError(std::string("The resource section is damaged: ") + What + " lies outside it");
  }

  TResourceName EntryName(std::uint32_t Field) const {
    if (!(Field & 0x80000000u)) {
      if (Field > 0xFFFF) throw EPeError("The resource section is damaged: a resource number is out of range");
      return TResourceName::FromId(std::uint16_t(Field));
    }
    const std::uint32_t At = Field & 0x7FFFFFFFu;
    Need(At, 2, "a resource name");
    const std::uint16_t Length = Get16(FSection, At);
    Need(std::uint64_t(At) + 2, std::uint64_t(Length) * 2, "a resource name");
    TResourceName Name;
    Name.IsId = false;
    for (std::uint16_t i = 0; i < Length; ++i) Name.Text.push_back(char16_t(Get16(FSection, At + 2 + 2u * i)));
    return Name;
  }

  void ReadDirectory(std::uint32_t At, int Level, TResource& Current, TResourceTable& Table) {
    Need(At, 16, "a resource directory");
    const std::uint32_t Count = std::uint32_t(Get16(FSection, At + 12)) + Get16(FSection, At + 14);
    Need(std::uint64_t(At) + 16, std::uint64_t(Count) * 8, "a resource directory's entries");
    // A tree that reaches a directory twice could name billions of entries in a small file;
    // a sound one visits each of its entries once, so their number bounds the walk.
    if (Count > FEntryBudget) throw EPeError("The resource section is damaged: its directories refer to each other");
    FEntryBudget -= Count;
    for (std::uint32_t i = 0; i < Count; ++i) {
      const std::size_t Entry = At + 16 + 8 * std::size_t(i);
      const std::uint32_t NameField = Get32(FSection, Entry);
      const std::uint32_t Target = Get32(FSection, Entry + 4);
      const bool IsDirectory = (Target & 0x80000000u) != 0;
      const TResourceName Name = EntryName(NameField);
      if (Level < 2) {
        if (!IsDirectory) throw EPeError("The resource section is damaged: data where a directory belongs");
        (Level == 0 ? Current.Type : Current.Name) = Name;
        ReadDirectory(Target & 0x7FFFFFFFu, Level + 1, Current, Table);
        continue;
      }
      if (IsDirectory) throw EPeError("The resource section is damaged: it is nested deeper than three levels");
      if (!Name.IsId) throw EPeError("The resource section is damaged: a language is named by a text");
      Need(Target, 16, "a resource's data entry");
      const std::uint32_t DataRva = Get32(FSection, Target);
      const std::uint32_t DataSize = Get32(FSection, Target + 4);
      if (Table.Items.size() >= cMaxResources) throw EPeError("The resource section is damaged: too many resources");
      if (DataSize > FDataBudget) throw EPeError("The resource section is damaged: its data is larger than the file");
      FDataBudget -= DataSize;
      TResource Resource;
      Resource.Type = Current.Type;
      Resource.Name = Current.Name;
      Resource.Language = Name.Id;
      Resource.CodePage = Get32(FSection, Target + 8);
      Resource.Data = FReadData(DataRva, DataSize);
      Table.Items.push_back(std::move(Resource));
    }
  }

  std::string_view FSection;
  std::function<std::string(std::uint32_t, std::uint32_t)> FReadData;
  std::uint64_t FDataBudget;
  std::uint64_t FEntryBudget;
};

// Lays out a resource section for the address Rva: the directories of the three levels,
// their names, the data entries, then the data, each piece aligned as the loader expects.
std::string BuildResourceSection(const TResourceTable& Table, std::uint32_t Rva) {
  std::vector<const TResource*> Sorted;
  for (const auto& R : Table.Items) Sorted.push_back(&R);
  std::stable_sort(Sorted.begin(), Sorted.end(), [](const TResource* A, const TResource* B) {
    if (!(A->Type == B->Type)) return A->Type < B->Type;
    if (!(A->Name == B->Name)) return A->Name < B->Name;
    return A->Language < B->Language;
  });
  for (std::size_t i = 1; i < Sorted.size(); ++i)
    if (Sorted[i]->Type == Sorted[i - 1]->Type && Sorted[i]->Name == Sorted[i - 1]->Name &&
        Sorted[i]->Language == Sorted[i - 1]->Language)
      throw EPeError("Two resources share type " + Sorted[i]->Type.Display() + ", name " + Sorted[i]->Name.Display() +
                     " and language " + std::to_string(Sorted[i]->Language));

  struct TNameGroup {
    const TResourceName* Name;
    std::vector<const TResource*> Languages;
  };
  struct TTypeGroup {
    const TResourceName* Type;
    std::vector<TNameGroup> Names;
  };
  std::vector<TTypeGroup> Types;
  for (const TResource* R : Sorted) {
    if (Types.empty() || !(*Types.back().Type == R->Type)) Types.push_back({&R->Type, {}});
    auto& Names = Types.back().Names;
    if (Names.empty() || !(*Names.back().Name == R->Name)) Names.push_back({&R->Name, {}});
    Names.back().Languages.push_back(R);
  }

  // Offsets of every piece, in the order they are written.
  std::uint64_t Offset = 16 + 8 * std::uint64_t(Types.size());
  std::vector<std::uint64_t> TypeDirs, NameDirs;
  for (const auto& T : Types) {
    TypeDirs.push_back(Offset);
    Offset += 16 + 8 * std::uint64_t(T.Names.size());
  }
  for (const auto& T : Types)
    for (const auto& N : T.Names) {
      NameDirs.push_back(Offset);
      Offset += 16 + 8 * std::uint64_t(N.Languages.size());
    }
  std::vector<std::pair<const TResourceName*, std::uint64_t>> Strings;
  auto AddString = [&](const TResourceName& Name) {
    if (Name.IsId) return;
    for (const auto& S : Strings)
      if (*S.first == Name) return;
    Strings.push_back({&Name, Offset});
    Offset += 2 + 2 * std::uint64_t(Name.Text.size());
  };
  for (const auto& T : Types) {
    AddString(*T.Type);
    for (const auto& N : T.Names) AddString(*N.Name);
  }
  Offset = AlignUp(Offset, 4);
  const std::uint64_t DataEntries = Offset;
  Offset += 16 * std::uint64_t(Sorted.size());
  std::vector<std::uint64_t> DataOffsets;
  for (const TResource* R : Sorted) {
    Offset = AlignUp(Offset, 8);
    DataOffsets.push_back(Offset);
    Offset += R->Data.size();
  }
  const std::uint32_t Total = Narrow(Offset, "the resource section");
  if (std::uint64_t(Rva) + Total > 0xFFFFFFFFu) throw EPeError("The resource section would lie beyond 4 GB");

  std::string Out;
  Out.reserve(Total);
  auto NameField = [&](const TResourceName& Name) -> std::uint32_t {
    if (Name.IsId) return Name.Id;
    for (const auto& S : Strings)
      if (*S.first == Name) return 0x80000000u | std::uint32_t(S.second);
    return 0;
  };
  auto PutDirectory = [&](const auto& Children, auto NameOf) {
    std::uint16_t Named = 0, Numbered = 0;
    for (const auto& C : Children) (NameOf(C).IsId ? Numbered : Named)++;
    Put32(Out, 0);  // characteristics
    Put32(Out, 0);  // time stamp: zero keeps the output reproducible
    Put32(Out, 0);  // version
    Put16(Out, Named);
    Put16(Out, Numbered);
  };
  PutDirectory(Types, [](const TTypeGroup& T) -> const TResourceName& { return *T.Type; });
  for (std::size_t t = 0; t < Types.size(); ++t) {
    Put32(Out, NameField(*Types[t].Type));
    Put32(Out, 0x80000000u | std::uint32_t(TypeDirs[t]));
  }
  std::size_t NameIndex = 0;
  for (const auto& T : Types) {
    PutDirectory(T.Names, [](const TNameGroup& N) -> const TResourceName& { return *N.Name; });
    std::size_t Index = NameIndex;
    for (const auto& N : T.Names) {
      Put32(Out, NameField(*N.Name));
      Put32(Out, 0x80000000u | std::uint32_t(NameDirs[Index++]));
    }
    NameIndex = Index;
  }
  std::size_t DataIndex = 0;
  for (const auto& T : Types)
    for (const auto& N : T.Names) {
      Put32(Out, 0);
      Put32(Out, 0);
      Put32(Out, 0);
      Put16(Out, 0);
      Put16(Out, std::uint16_t(N.Languages.size()));
      for (const TResource* R : N.Languages) {
        Put32(Out, R->Language);
        Put32(Out, std::uint32_t(DataEntries + 16 * DataIndex++));
      }
    }
  for (const auto& S : Strings) {
    Put16(Out, std::uint16_t(S.first->Text.size()));
    for (char16_t C : S.first->Text) Put16(Out, std::uint16_t(C));
  }
  Out.resize(DataEntries, '\0');
  for (std::size_t i = 0; i < Sorted.size(); ++i) {
    Put32(Out, std::uint32_t(Rva + DataOffsets[i]));
    Put32(Out, std::uint32_t(Sorted[i]->Data.size()));
    Put32(Out, Sorted[i]->CodePage);
    Put32(Out, 0);
  }
  for (std::size_t i = 0; i < Sorted.size(); ++i) {
    Out.resize(DataOffsets[i], '\0');
    Out += Sorted[i]->Data;
  }
  return Out;
}

}  // namespace

// ---- names and the table

TResourceName TResourceName::FromId(std::uint16_t Id) {
  TResourceName Name;
  Name.Id = Id;
  return Name;
}

TResourceName TResourceName::FromText(std::string_view Utf8) {
  if (Utf8.empty()) throw EPeError("A resource name must not be empty");
  TResourceName Name;
  Name.IsId = false;
  for (char16_t C : Utf8ToUtf16(Utf8)) Name.Text.push_back(C >= u'a' && C <= u'z' ? char16_t(C - 32) : C);
  if (Name.Text.size() > 0xFFFF) throw EPeError("A resource name is too long");
  return Name;
}

std::string TResourceName::Display() const {
  return IsId ? "#" + std::to_string(Id) : Utf16ToUtf8(Text);
}

bool operator<(const TResourceName& A, const TResourceName& B) {
  if (A.IsId != B.IsId) return !A.IsId;
  return A.IsId ? A.Id < B.Id : A.Text < B.Text;
}

bool operator==(const TResourceName& A, const TResourceName& B) {
  return A.IsId == B.IsId && (A.IsId ? A.Id == B.Id : A.Text == B.Text);
}

const TResource* TResourceTable::Find(const TResourceName& Type, const TResourceName& Name) const {
  for (const auto& R : Items)
    if (R.Type == Type && R.Name == Name) return &R;
  return nullptr;
}

void TResourceTable::Set(TResourceName Type, TResourceName Name, std::string Data) {
  std::uint16_t Language = 0;
  if (const TResource* Old = Find(Type, Name)) Language = Old->Language;
  Remove(Type, Name);
  TResource R;
  R.Type = std::move(Type);
  R.Name = std::move(Name);
  R.Language = Language;
  R.Data = std::move(Data);
  Items.push_back(std::move(R));
}

bool TResourceTable::Remove(const TResourceName& Type, const TResourceName& Name) {
  const auto Before = Items.size();
  Items.erase(std::remove_if(Items.begin(), Items.end(),
                             [&](const TResource& R) { return R.Type == Type && R.Name == Name; }),
              Items.end());
  return Items.size() != Before;
}

// ---- the image

TPeImage::TPeImage(std::string Bytes) : FBytes(std::move(Bytes)) {
  const std::string_view B = FBytes;
  if (B.size() < 64 || B[0] != 'M' || B[1] != 'Z') throw EPeError("Not a Windows program: no MZ header");
  const std::uint32_t PeOffset = Get32(B, 0x3C);
  if (!Within(PeOffset, 4 + cCoffHeaderSize, B.size()) || B.substr(PeOffset, 4) != std::string_view("PE\0\0", 4))
    throw EPeError("Not a Windows program: no PE header (a DOS program or a truncated file)");
  FCoffOffset = PeOffset + 4;
  const std::uint16_t SectionCount = Get16(B, FCoffOffset + 2);
  const std::uint16_t OptionalSize = Get16(B, FCoffOffset + 16);
  FOptionalOffset = FCoffOffset + cCoffHeaderSize;
  if (!Within(FOptionalOffset, OptionalSize, B.size()) || OptionalSize < 2)
    throw EPeError("The program's optional header is truncated");
  const std::uint16_t Magic = Get16(B, FOptionalOffset);
  if (Magic != 0x10B && Magic != 0x20B) throw EPeError("The program's optional header has an unknown format");
  FIs64 = Magic == 0x20B;
  const std::size_t DirectoriesAt = FIs64 ? 112 : 96;
  if (OptionalSize < DirectoriesAt) throw EPeError("The program's optional header is truncated");
  FFileAlignment = Get32(B, FOptionalOffset + 36);
  FSectionAlignment = Get32(B, FOptionalOffset + 32);
  FSizeOfHeaders = Get32(B, FOptionalOffset + 60);
  if (!IsPowerOfTwo(FFileAlignment) || FFileAlignment > 0x10000 || !IsPowerOfTwo(FSectionAlignment) ||
      FSectionAlignment < FFileAlignment)
    throw EPeError("The program's section or file alignment is invalid");
  FDirectoryCount = std::min<std::uint32_t>(Get32(B, FOptionalOffset + DirectoriesAt - 4), 16);
  if (DirectoriesAt + 8 * std::size_t(FDirectoryCount) > OptionalSize)
    throw EPeError("The program's data directories are truncated");
  FSectionTableOffset = FOptionalOffset + OptionalSize;
  if (SectionCount == 0 || !Within(FSectionTableOffset, std::uint64_t(SectionCount) * cSectionHeaderSize, B.size()))
    throw EPeError("The program's section table is missing or truncated");
  if (FSectionTableOffset + std::size_t(SectionCount) * cSectionHeaderSize > FSizeOfHeaders ||
      FSizeOfHeaders > B.size())
    throw EPeError("The program's headers are inconsistent: the section table lies outside them");
  std::uint64_t PreviousEnd = 0;
  for (std::uint16_t i = 0; i < SectionCount; ++i) {
    const std::size_t At = FSectionTableOffset + cSectionHeaderSize * i;
    TPeSection S;
    S.Name = std::string(B.substr(At, 8).substr(0, B.substr(At, 8).find('\0')));
    S.VirtualSize = Get32(B, At + 8);
    S.VirtualAddress = Get32(B, At + 12);
    S.SizeOfRawData = Get32(B, At + 16);
    S.PointerToRawData = Get32(B, At + 20);
    S.Characteristics = Get32(B, At + 36);
    if (S.SizeOfRawData != 0 && !Within(S.PointerToRawData, S.SizeOfRawData, B.size()))
      throw EPeError("Section '" + S.Name + "' extends past the end of the file (a truncated file?)");
    if (S.SizeOfRawData != 0 && S.PointerToRawData < FSizeOfHeaders)
      throw EPeError("Section '" + S.Name + "' overlaps the program's headers");
    const std::uint64_t Extent = std::max(S.VirtualSize, S.SizeOfRawData);
    if (S.VirtualAddress < PreviousEnd || std::uint64_t(S.VirtualAddress) + Extent > 0xFFFFFFFFu)
      throw EPeError("Section '" + S.Name + "' overlaps another or is out of order");
    PreviousEnd = AlignUp(std::uint64_t(S.VirtualAddress) + Extent, FSectionAlignment);
    FSections.push_back(std::move(S));
  }
  // Linkers give each section bytes of its own; a rewrite moves them one section at a time.
  std::vector<const TPeSection*> ByOffset;
  for (const auto& S : FSections)
    if (S.SizeOfRawData) ByOffset.push_back(&S);
  std::sort(ByOffset.begin(), ByOffset.end(),
            [](const TPeSection* A, const TPeSection* B) { return A->PointerToRawData < B->PointerToRawData; });
  for (std::size_t i = 1; i < ByOffset.size(); ++i)
    if (std::uint64_t(ByOffset[i - 1]->PointerToRawData) + ByOffset[i - 1]->SizeOfRawData > ByOffset[i]->PointerToRawData)
      throw EPeError("Sections '" + ByOffset[i - 1]->Name + "' and '" + ByOffset[i]->Name + "' share bytes of the file");
}

std::uint32_t TPeImage::StoredChecksum() const { return Get32(FBytes, ChecksumOffset()); }

std::uint16_t TPeImage::FileCharacteristics() const { return Get16(FBytes, FCoffOffset + 18); }

std::string TPeImage::WithFileCharacteristics(std::uint16_t Flags) const {
  const std::uint16_t Old = FileCharacteristics();
  if ((Old & Flags) == Flags) return FBytes;
  std::string Out = FBytes;
  Set16(Out, FCoffOffset + 18, std::uint16_t(Old | Flags));
  Set32(Out, ChecksumOffset(), ComputeChecksum(Out, ChecksumOffset()));
  return Out;
}

std::size_t TPeImage::DirectoryOffset(std::uint32_t Index) const {
  return FOptionalOffset + (FIs64 ? 112 : 96) + 8 * std::size_t(Index);
}

TPeImage::TDirectory TPeImage::Directory(std::uint32_t Index) const {
  if (Index >= FDirectoryCount) return {};
  return {Get32(FBytes, DirectoryOffset(Index)), Get32(FBytes, DirectoryOffset(Index) + 4)};
}

std::uint32_t TPeImage::ResourceDirectoryRva() const { return Directory(cResourceDirectory).Rva; }

bool TPeImage::RvaToOffset(std::uint32_t Rva, std::uint32_t Size, std::size_t& Offset) const {
  for (const auto& S : FSections) {
    if (Rva < S.VirtualAddress) continue;
    const std::uint64_t Inside = Rva - S.VirtualAddress;
    if (!Within(Inside, Size, S.SizeOfRawData)) continue;
    Offset = S.PointerToRawData + std::size_t(Inside);
    return true;
  }
  return false;
}

TResourceTable TPeImage::ReadResources() const {
  const TDirectory Dir = Directory(cResourceDirectory);
  if (Dir.Rva == 0 && Dir.Size == 0) return {};
  // The tree is read within the section that holds its root, whatever size the directory
  // entry claims: linkers do not agree on whether that size counts the data.
  int Index = -1;
  for (std::size_t i = 0; i < FSections.size(); ++i) {
    const auto& S = FSections[i];
    if (Dir.Rva >= S.VirtualAddress && Dir.Rva - S.VirtualAddress < S.SizeOfRawData) Index = int(i);
  }
  if (Index < 0) throw EPeError("The resource directory lies outside every section");
  const auto& S = FSections[std::size_t(Index)];
  const std::uint32_t Inside = Dir.Rva - S.VirtualAddress;
  const std::string_view Tree = std::string_view(FBytes).substr(S.PointerToRawData + Inside, S.SizeOfRawData - Inside);
  auto ReadData = [this](std::uint32_t Rva, std::uint32_t Size) {
    std::size_t Offset = 0;
    if (Size == 0) return std::string();
    if (!RvaToOffset(Rva, Size, Offset)) throw EPeError("The resource section is damaged: a resource's data lies outside the file");
    return FBytes.substr(Offset, Size);
  };
  return TResourceTreeReader(Tree, ReadData, 2 * std::uint64_t(FBytes.size())).Read();
}

int TPeImage::ResourceSectionIndex() const {
  const std::uint32_t Rva = Directory(cResourceDirectory).Rva;
  if (Rva == 0) return -1;
  for (std::size_t i = 0; i < FSections.size(); ++i) {
    const auto& S = FSections[i];
    // Only a section that starts with the tree and holds no code is ours to rewrite.
    if (S.VirtualAddress == Rva && !(S.Characteristics & cScnExecute) && S.SizeOfRawData != 0) return int(i);
  }
  return -1;
}

// The sections after Index may move to higher addresses only when nothing at run time can
// point into them: they are discarded after loading and no relocation patches them.
bool TPeImage::CanMoveSectionsAfter(std::size_t Index) const {
  if (Index + 1 >= FSections.size()) return true;
  const std::uint32_t From = FSections[Index + 1].VirtualAddress;
  for (std::size_t i = Index + 1; i < FSections.size(); ++i)
    if (!(FSections[i].Characteristics & cScnDiscardable)) return false;
  const TDirectory Relocs = Directory(cBaseRelocDirectory);
  if (Relocs.Size == 0) return true;
  std::size_t Offset = 0;
  if (!RvaToOffset(Relocs.Rva, Relocs.Size, Offset)) return false;
  for (std::size_t At = 0; At + 8 <= Relocs.Size;) {
    const std::uint32_t Page = Get32(FBytes, Offset + At);
    const std::uint32_t BlockSize = Get32(FBytes, Offset + At + 4);
    if (BlockSize < 8) break;
    if (Page + 0x1000ull > From) return false;
    At += BlockSize;
  }
  return true;
}

std::string TPeImage::WithResources(const TResourceTable& Table) const { return Assemble(Place(Table)); }

// Where the new resource section goes and what moves to make room for it.
TPeImage::TPlacement TPeImage::Place(const TResourceTable& Table) const {
  if (FDirectoryCount <= cResourceDirectory)
    throw EPeError("The program has no data directory entry for resources");
  const int Old = ResourceSectionIndex();
  TPlacement P;
  P.Sections = FSections;
  auto& Sections = P.Sections;
  auto& Section = P.Section;
  auto& Target = P.Target;
  auto& FileCut = P.FileCut;
  auto& FileShift = P.FileShift;
  auto& RvaFrom = P.RvaFrom;
  auto& RvaShift = P.RvaShift;
  auto& OldRawSize = P.OldRawSize;
  auto& Appended = P.Appended;
  auto& RawEnd = P.RawEnd;
  RawEnd = FSizeOfHeaders;  // end of the last section's raw data: the overlay starts here
  for (const auto& S : FSections)
    if (S.SizeOfRawData) RawEnd = std::max<std::uint64_t>(RawEnd, std::uint64_t(S.PointerToRawData) + S.SizeOfRawData);

  bool InPlace = false;
  if (Old >= 0) {
    const auto& R = FSections[std::size_t(Old)];
    Section = BuildResourceSection(Table, R.VirtualAddress);
    const bool Last = std::size_t(Old) + 1 == FSections.size();
    const bool FitsBelowNext =
        !Last && AlignUp(std::uint64_t(R.VirtualAddress) + Section.size(), FSectionAlignment) <=
                     FSections[std::size_t(Old) + 1].VirtualAddress;
    InPlace = Last || FitsBelowNext || CanMoveSectionsAfter(std::size_t(Old));
    if (InPlace) {
      Target = std::size_t(Old);
      OldRawSize = R.SizeOfRawData;
      // The old raw data ends where the next section's begins (or the overlay, at the end).
      std::uint64_t OldEnd = std::uint64_t(R.PointerToRawData) + R.SizeOfRawData;
      std::uint64_t NextRaw = RawEnd;
      for (const auto& S : FSections)
        if (S.SizeOfRawData && S.PointerToRawData >= OldEnd) NextRaw = std::min<std::uint64_t>(NextRaw, S.PointerToRawData);
      if (NextRaw == RawEnd) NextRaw = OldEnd;
      FileCut = NextRaw;
      const std::uint64_t NewEnd = R.PointerToRawData + AlignUp(Section.size(), FFileAlignment);
      FileShift = std::int64_t(NewEnd) - std::int64_t(NextRaw);
      if (NextRaw != OldEnd && FileShift % FFileAlignment)  // keep later sections aligned
        FileShift += FFileAlignment - (FileShift % FFileAlignment + FFileAlignment) % FFileAlignment;
      if (!Last && !FitsBelowNext) {
        RvaFrom = FSections[std::size_t(Old) + 1].VirtualAddress;
        RvaShift = std::int64_t(AlignUp(std::uint64_t(R.VirtualAddress) + Section.size(), FSectionAlignment)) -
                   std::int64_t(RvaFrom);
      }
      Sections[Target].VirtualSize = Narrow(Section.size(), "the resource section");
      Sections[Target].SizeOfRawData = Narrow(AlignUp(Section.size(), FFileAlignment), "the resource section");
    }
  }
  if (!InPlace) {
    // A new section after the last one; the table needs room for one more header.
    const std::size_t TableEnd = FSectionTableOffset + cSectionHeaderSize * FSections.size();
    std::uint64_t FirstRaw = FSizeOfHeaders;
    for (const auto& S : FSections)
      if (S.SizeOfRawData) FirstRaw = std::min<std::uint64_t>(FirstRaw, S.PointerToRawData);
    if (TableEnd + cSectionHeaderSize > FirstRaw || Directory(cBoundImportDirectory).Rva != 0)
      throw EPeError("The program's section table has no room for a resource section");
    if (FSections.size() >= 96) throw EPeError("The program has too many sections to add one");
    const auto& LastSection = FSections.back();
    const std::uint64_t Rva = AlignUp(std::uint64_t(LastSection.VirtualAddress) +
                                          std::max(LastSection.VirtualSize, LastSection.SizeOfRawData),
                                      FSectionAlignment);
    Section = BuildResourceSection(Table, Narrow(Rva, "the image"));
    TPeSection S;
    S.Name = Old >= 0 ? ".rsrc2" : ".rsrc";
    S.VirtualAddress = Narrow(Rva, "the image");
    S.VirtualSize = Narrow(Section.size(), "the resource section");
    S.SizeOfRawData = Narrow(AlignUp(Section.size(), FFileAlignment), "the resource section");
    S.PointerToRawData = Narrow(AlignUp(RawEnd, FFileAlignment), "the program");
    S.Characteristics = cScnInitializedData | cScnRead;
    Sections.push_back(S);
    Target = Sections.size() - 1;
    Appended = true;
    FileCut = RawEnd;
    FileShift = std::int64_t(S.PointerToRawData + S.SizeOfRawData) - std::int64_t(RawEnd);
  }
  return P;
}

// The file's bytes with the resource section placed, and every header field that follows.
std::string TPeImage::Assemble(const TPlacement& P) const {
  const auto& PlacedSections = P.Sections;
  const auto& Section = P.Section;
  const auto& Target = P.Target;
  const auto& FileCut = P.FileCut;
  const auto& FileShift = P.FileShift;
  const auto& RvaFrom = P.RvaFrom;
  const auto& RvaShift = P.RvaShift;
  const auto& OldRawSize = P.OldRawSize;
  const auto& Appended = P.Appended;
  const auto& RawEnd = P.RawEnd;
  std::vector<TPeSection> Sections = PlacedSections;
  std::string Out;
  // A signature certifies the old bytes only; it is dropped (signing comes after packaging).
  std::uint64_t Overlay = FBytes.size();
  const TDirectory Certificates = Directory(cSecurityDirectory);
  bool DropCertificates = Certificates.Rva != 0 || Certificates.Size != 0;
  if (DropCertificates && Within(Certificates.Rva, Certificates.Size, FBytes.size()) &&
      std::uint64_t(Certificates.Rva) + Certificates.Size == FBytes.size() && Certificates.Rva >= RawEnd)
    Overlay = Certificates.Rva;

  auto MovedOffset = [&](std::uint64_t Offset) -> std::uint64_t {
    return Offset >= FileCut ? std::uint64_t(std::int64_t(Offset) + FileShift) : Offset;
  };
  auto MovedRva = [&](std::uint32_t Rva) -> std::uint32_t {
    return RvaShift != 0 && Rva >= RvaFrom ? std::uint32_t(std::int64_t(Rva) + RvaShift) : Rva;
  };

  // Bytes: everything before the resource section's place, the new section, then the rest.
  const auto& T = Sections[Target];
  Out.reserve(std::size_t(Overlay + FileShift + Section.size()));
  Out.assign(FBytes, 0, std::min<std::uint64_t>(Appended ? RawEnd : FSections[Target].PointerToRawData, Overlay));
  Out.resize(T.PointerToRawData, '\0');
  Out += Section;
  Out.resize(std::uint64_t(T.PointerToRawData) + T.SizeOfRawData, '\0');
  if (Overlay > FileCut) {
    Out.resize(MovedOffset(FileCut), '\0');
    Out.append(FBytes, FileCut, Overlay - FileCut);
  }

  // Section table.
  for (std::size_t i = 0; i < Sections.size(); ++i) {
    auto& S = Sections[i];
    if (i != Target) {
      if (S.SizeOfRawData) S.PointerToRawData = Narrow(MovedOffset(S.PointerToRawData), "the program");
      S.VirtualAddress = MovedRva(S.VirtualAddress);
    }
    const std::size_t At = FSectionTableOffset + cSectionHeaderSize * i;
    if (i >= FSections.size()) {
      Out.replace(At, cSectionHeaderSize, cSectionHeaderSize, '\0');
      Out.replace(At, S.Name.size(), S.Name);
    }
    Set32(Out, At + 8, S.VirtualSize);
    Set32(Out, At + 12, S.VirtualAddress);
    Set32(Out, At + 16, S.SizeOfRawData);
    Set32(Out, At + 20, S.PointerToRawData);
    Set32(Out, At + 36, S.Characteristics);
  }
  Set16(Out, FCoffOffset + 2, std::uint16_t(Sections.size()));
  const std::uint32_t Symbols = Get32(Out, FCoffOffset + 8);
  if (Symbols != 0) Set32(Out, FCoffOffset + 8, Narrow(MovedOffset(Symbols), "the symbol table"));

  // Optional header sizes.
  std::uint64_t ImageEnd = 0;
  for (const auto& S : Sections)
    ImageEnd = std::max<std::uint64_t>(ImageEnd, std::uint64_t(S.VirtualAddress) + std::max(S.VirtualSize, S.SizeOfRawData));
  Set32(Out, FOptionalOffset + 56, Narrow(AlignUp(ImageEnd, FSectionAlignment), "the image"));
  const std::int64_t DataGrowth = std::int64_t(T.SizeOfRawData) - std::int64_t(OldRawSize);
  const std::uint32_t InitializedData = Get32(Out, FOptionalOffset + 8);
  Set32(Out, FOptionalOffset + 8, std::uint32_t(std::max<std::int64_t>(0, std::int64_t(InitializedData) + DataGrowth)));

  // Data directories: resources, those inside moved sections, the dropped signature.
  for (std::uint32_t i = 0; i < FDirectoryCount; ++i) {
    const std::size_t At = DirectoryOffset(i);
    if (i == cResourceDirectory) {
      Set32(Out, At, T.VirtualAddress);
      Set32(Out, At + 4, T.VirtualSize);
    } else if (i == cSecurityDirectory) {
      if (DropCertificates) Set32(Out, At, 0), Set32(Out, At + 4, 0);
    } else if (Get32(Out, At) != 0) {
      Set32(Out, At, MovedRva(Get32(Out, At)));
    }
  }
  // The debug directory records file offsets of its data as well as addresses.
  const TDirectory Debug = Directory(cDebugDirectory);
  std::size_t DebugAt = 0;
  if (Debug.Size >= 28 && RvaToOffset(Debug.Rva, Debug.Size, DebugAt)) {
    DebugAt = std::size_t(MovedOffset(DebugAt));
    for (std::uint32_t k = 0; k + 28 <= Debug.Size && DebugAt + k + 28 <= Out.size(); k += 28) {
      const std::size_t E = DebugAt + k;
      if (Get32(Out, E + 20)) Set32(Out, E + 20, MovedRva(Get32(Out, E + 20)));
      if (Get32(Out, E + 24)) Set32(Out, E + 24, Narrow(MovedOffset(Get32(Out, E + 24)), "debug data"));
    }
  }
  Set32(Out, ChecksumOffset(), ComputeChecksum(Out, ChecksumOffset()));
  return Out;
}

std::uint32_t TPeImage::ComputeChecksum(std::string_view File, std::size_t ChecksumOffset) {
  std::uint64_t Sum = 0;
  for (std::size_t i = 0; i < File.size(); i += 2) {
    if (i == ChecksumOffset || i == ChecksumOffset + 2) continue;
    std::uint32_t Word = std::uint8_t(File[i]);
    if (i + 1 < File.size()) Word |= std::uint32_t(std::uint8_t(File[i + 1])) << 8;
    Sum += Word;
    Sum = (Sum & 0xFFFF) + (Sum >> 16);
  }
  Sum = (Sum & 0xFFFF) + (Sum >> 16);
  return std::uint32_t(Sum + File.size());
}

// ---- bitmaps

std::string BitmapResourceFromFile(std::string_view File) {
  if (File.size() < 14 + 12 || File[0] != 'B' || File[1] != 'M') throw EPeError("not a BMP file (no BM header)");
  const std::uint32_t PixelsAt = Get32(File, 10);
  const std::uint32_t HeaderSize = Get32(File, 14);
  if (HeaderSize != 12 && HeaderSize != 40 && HeaderSize != 52 && HeaderSize != 56 && HeaderSize != 108 &&
      HeaderSize != 124)
    throw EPeError("not a BMP file that Windows reads (unknown header size " + std::to_string(HeaderSize) + ")");
  if (!Within(14, HeaderSize, File.size())) throw EPeError("the BMP file is truncated");
  std::int64_t Width, Height;
  std::uint16_t Planes, Bits;
  std::uint32_t Compression = 0;
  if (HeaderSize == 12) {
    Width = Get16(File, 18);
    Height = Get16(File, 20);
    Planes = Get16(File, 22);
    Bits = Get16(File, 24);
  } else {
    Width = std::int32_t(Get32(File, 18));
    Height = std::int32_t(Get32(File, 22));
    Planes = Get16(File, 26);
    Bits = Get16(File, 28);
    Compression = Get32(File, 30);
  }
  if (Width <= 0 || Height == 0 || Width > 32767 || Height > 32767 || Height < -32767)
    throw EPeError("the BMP file has an invalid size");
  if (Planes != 1 || (Bits != 1 && Bits != 4 && Bits != 8 && Bits != 16 && Bits != 24 && Bits != 32))
    throw EPeError("the BMP file has an invalid colour depth");
  if (Compression > 3) throw EPeError("the BMP file uses a compression that bitmap resources do not support");
  if (PixelsAt < 14 + HeaderSize || PixelsAt > File.size()) throw EPeError("the BMP file's pixel data is missing");
  if (Compression == 0 || Compression == 3) {
    const std::uint64_t Row = (std::uint64_t(Width) * Bits + 31) / 32 * 4;
    const std::uint64_t Rows = std::uint64_t(Height < 0 ? -Height : Height);
    if (!Within(PixelsAt, Row * Rows, File.size())) throw EPeError("the BMP file is truncated");
  } else if (Compression == 1 || Compression == 2) {
    // Run-length compressed pixels: their size is in the header, which Windows needs.
    const std::uint32_t PixelBytes = HeaderSize >= 40 ? Get32(File, 34) : 0;
    if (PixelBytes == 0 || !Within(PixelsAt, PixelBytes, File.size())) throw EPeError("the BMP file is truncated");
  }
  return std::string(File.substr(14));
}

}  // namespace setup::pe
