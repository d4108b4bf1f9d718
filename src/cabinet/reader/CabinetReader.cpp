#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "Cabinet.h"
#include "system/Errors.h"
#include "system/Messages.h"
#include "system/Paths.h"

namespace setup {

TCabinetReader* CurrentReader = nullptr;

namespace {

// The library's callbacks. Exceptions never cross the library's C frames: each callback
// catches, keeps the exception for ExtractFiles and answers with failure.
void* FDIDIAMONDAPI Alloc(ULONG Size) { return std::malloc(Size ? Size : 1); }
void FDIDIAMONDAPI Free(void* Memory) { std::free(Memory); }

TCabinetFileHandler* Handler() { return CurrentReader ? CurrentReader->FileHandler : nullptr; }

INT_PTR FDIDIAMONDAPI Open(char* FileName, int OFlag, int PMode) {
  try {
    int Err = 0;
    auto* H = Handler();
    return H ? H->Open(CurrentReader->RealPath(FileName), OFlag, PMode, Err, nullptr) : -1;
  } catch (...) {
    CurrentReader->KeepException(std::current_exception());
    return -1;
  }
}

UINT FDIDIAMONDAPI Read(INT_PTR Handle, void* Buffer, UINT Count) {
  try {
    int Err = 0;
    auto* H = Handler();
    return H ? H->Read(Handle, Buffer, Count, Err) : static_cast<UINT>(-1);
  } catch (...) {
    CurrentReader->KeepException(std::current_exception());
    return static_cast<UINT>(-1);
  }
}

UINT FDIDIAMONDAPI Write(INT_PTR Handle, void* Buffer, UINT Count) {
  try {
    int Err = 0;
    auto* H = Handler();
    return H ? H->Write(Handle, Buffer, Count, Err) : static_cast<UINT>(-1);
  } catch (...) {
    CurrentReader->KeepException(std::current_exception());
    return static_cast<UINT>(-1);
  }
}

int FDIDIAMONDAPI Close(INT_PTR Handle) {
  try {
    int Err = 0;
    auto* H = Handler();
    return H ? H->Close(Handle, Err) : -1;
  } catch (...) {
    CurrentReader->KeepException(std::current_exception());
    return -1;
  }
}

long FDIDIAMONDAPI Seek(INT_PTR Handle, long Distance, int SeekType) {
  try {
    int Err = 0;
    auto* H = Handler();
    return H ? H->Seek(Handle, Distance, SeekType, Err) : -1;
  } catch (...) {
    CurrentReader->KeepException(std::current_exception());
    return -1;
  }
}

INT_PTR FDIDIAMONDAPI NotifyCallback(FDINOTIFICATIONTYPE Type, PFDINOTIFICATION Info) {
  auto* Reader = static_cast<TCabinetReader*>(Info->pv);
  if (!Reader) return 0;
  try {
    return Reader->Notify(Type, Info);
  } catch (...) {
    Reader->KeepException(std::current_exception());
    return -1;
  }
}

std::string Text(const char* S) { return S ? std::string(S) : std::string(); }

}  // namespace

TCabinetReader::TCabinetReader(const TCabinetLibraryFunctions& Library) : FLibrary(Library) {}

TCabinetReader::~TCabinetReader() {
  try {
    DestroyContext();
  } catch (...) {
    // A destructor cannot report; the context is gone either way.
  }
  if (CurrentReader == this) CurrentReader = nullptr;
}

void TCabinetReader::KeepException(std::exception_ptr Error) {
  if (!FPendingError) FPendingError = Error;
}

void TCabinetReader::RethrowKept() {
  if (FPendingError) {
    auto Error = FPendingError;
    FPendingError = nullptr;
    std::rethrow_exception(Error);
  }
}

void TCabinetReader::CheckResult(bool Ok) {
  RethrowKept();
  if (!Ok && ErrorInfo.fError) RaiseCabinetError(ErrorInfo.erfOper, ErrorInfo.erfType);
}

void TCabinetReader::CreateContext() {
  if (Context) return;
  CurrentReader = this;
  Context = FLibrary.FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, static_cast<int>(CpuType) - 1, &ErrorInfo);
  CheckResult(Context != nullptr);
}

void TCabinetReader::DestroyContext() {
  if (!Context) return;
  CurrentReader = this;
  const BOOL Ok = FLibrary.FDIDestroy(Context);
  Context = nullptr;
  CheckResult(Ok != 0);
}

void TCabinetReader::ExtractFiles(const std::string& CabinetFile, int Flags) {
  CreateContext();
  CurrentReader = this;
  std::string Name = ExtractFileName(CabinetFile);
  std::string Path = FolderAlias(ExtractFilePath(CabinetFile));
  FPendingError = nullptr;
  const BOOL Ok = FLibrary.FDICopy(Context, Name.data(), Path.data(), Flags, NotifyCallback, nullptr, this);
  CheckResult(Ok != 0);
}

std::intptr_t TCabinetReader::Notify(FDINOTIFICATIONTYPE Type, PFDINOTIFICATION Info) {
  bool Abort = false;
  switch (Type) {
    case fdintCABINET_INFO:
      DoCabinetInfo(Text(Info->psz1), Text(Info->psz2), RealPath(Text(Info->psz3)), Info->setID, Info->iCabinet,
                    Abort);
      return Abort ? -1 : 0;
    case fdintPARTIAL_FILE:
      DoPartialFile(Text(Info->psz1), Text(Info->psz2), Text(Info->psz3), Abort);
      return Abort ? -1 : 0;
    case fdintCOPY_FILE: {
      TFileCopyAction Action = fcaCopy;
      std::intptr_t Handle = 0;
      DoCopyFile(Text(Info->psz1), static_cast<std::int32_t>(Info->cb), Info->date, Info->time, Info->attribs, Action,
                 Handle);
      switch (Action) {
        case fcaCopy: return Handle;
        case fcaSkip: return 0;
        default: return -1;
      }
    }
    case fdintCLOSE_FILE_INFO:
      DoCloseCopiedFile(Text(Info->psz1), Info->hf, Info->date, Info->time, Info->attribs, Info->iFolder, Info->cb == 1,
                        Abort);
      return Abort ? -1 : 1;
    case fdintNEXT_CABINET: {
      std::string CabinetPath = RealPath(Text(Info->psz3));
      DoNextCabinet(Text(Info->psz1), Text(Info->psz2), CabinetPath, static_cast<int>(Info->fdie), Abort);
      // The library's buffer holds 256 bytes; the folder's alias always fits.
      const std::string Alias = FolderAlias(CabinetPath);
      if (Alias.size() > 255) throw Exception(FormatMessage1(Msg::CabinetPathTooLong, CabinetPath));
      std::memcpy(Info->psz3, Alias.data(), Alias.size());
      Info->psz3[Alias.size()] = '\0';
      return Abort ? -1 : 0;
    }
    default:
      return 0;
  }
}

std::string TCabinetReader::FolderAlias(const std::string& Folder) {
  if (Folder.empty()) return Folder;
  auto It = std::find(FFolders.begin(), FFolders.end(), Folder);
  if (It == FFolders.end()) It = FFolders.insert(FFolders.end(), Folder);
  return cAliasMark + std::to_string(It - FFolders.begin()) + "\\";
}

std::string TCabinetReader::RealPath(const std::string& LibraryPath) const {
  if (LibraryPath.empty() || LibraryPath[0] != cAliasMark) return LibraryPath;
  const auto Slash = LibraryPath.find('\\');
  std::size_t Index = 0;
  for (std::size_t I = 1; I < Slash && I < LibraryPath.size(); ++I) {
    if (LibraryPath[I] < '0' || LibraryPath[I] > '9') return LibraryPath;
    Index = Index * 10 + static_cast<std::size_t>(LibraryPath[I] - '0');
  }
  if (Slash == std::string::npos || Index >= FFolders.size()) return LibraryPath;
  return FFolders[Index] + LibraryPath.substr(Slash + 1);
}

void TCabinetReader::DoCabinetInfo(const std::string& CabinetName, const std::string& CabinetDisk,
                                   const std::string& CabinetPath, int SetId, int CabinetNumber, bool& Abort) {
  if (OnCabinetInfo) OnCabinetInfo(*this, CabinetName, CabinetDisk, CabinetPath, SetId, CabinetNumber, Abort);
}

void TCabinetReader::DoPartialFile(const std::string& FileName, const std::string& FirstCabinetName,
                                   const std::string& FirstCabinetDisk, bool& Abort) {
  if (OnPartialFile) OnPartialFile(*this, FileName, FirstCabinetName, FirstCabinetDisk, Abort);
}

void TCabinetReader::DoCopyFile(const std::string& FileName, std::int32_t UncompressedSize, std::uint16_t Date,
                                std::uint16_t Time, std::uint16_t Attribs, TFileCopyAction& Action,
                                std::intptr_t& DestFileHandle) {
  Action = fcaCopy;
  DestFileHandle = 0;
  if (OnCopyFile) OnCopyFile(*this, FileName, UncompressedSize, Date, Time, Attribs, Action, DestFileHandle);
}

void TCabinetReader::DoCloseCopiedFile(const std::string& FileName, std::intptr_t FileHandle, std::uint16_t Date,
                                       std::uint16_t Time, std::uint16_t Attribs, int FolderIndex, bool Execute,
                                       bool& Abort) {
  if (OnCloseCopiedFile) OnCloseCopiedFile(*this, FileName, FileHandle, Date, Time, Attribs, FolderIndex, Execute, Abort);
}

void TCabinetReader::DoNextCabinet(const std::string& NextCabinetName, const std::string& NextCabinetDisk,
                                   std::string& CabinetPath, int ErrorIndication, bool& Abort) {
  if (OnNextCabinet) OnNextCabinet(*this, NextCabinetName, NextCabinetDisk, CabinetPath, ErrorIndication, Abort);
}

bool NextDiskDir(std::string& Folder) {
  if (Folder.size() < 4) return false;
  const std::string Copy = WithoutBackslash(Folder);
  const auto Slash = Copy.rfind('\\');
  if (Slash == std::string::npos) return false;
  const std::string Component = Copy.substr(Slash + 1);
  if (Component.size() < 5) return false;
  std::string Prefix = Component.substr(0, 4);
  for (auto& C : Prefix)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  if (Prefix != "DISK") return false;
  std::size_t End = 4;
  while (End < Component.size() && Component[End] >= '0' && Component[End] <= '9') ++End;
  if (End == 4) return false;
  // Count in decimal text, so that any number of digits works: "09" + 1 = "10", "99" + 1 = "100".
  std::string Digits = Component.substr(4, End - 4);
  std::size_t I = Digits.size();
  while (I > 0 && Digits[I - 1] == '9') Digits[--I] = '0';
  if (I == 0)
    Digits.insert(Digits.begin(), '1');
  else
    ++Digits[I - 1];
  const auto FirstNonZero = Digits.find_first_not_of('0');
  Digits = FirstNonZero == std::string::npos ? "0" : Digits.substr(FirstNonZero);
  Folder = Copy.substr(0, Slash + 1) + Component.substr(0, 4) + Digits + Component.substr(End);
  return true;
}

}  // namespace setup
