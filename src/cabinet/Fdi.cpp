// The cabinet decompression library: FDICreate, FDIIsCabinet, FDICopy, FDIDestroy.
//
// Every byte goes through the caller's callbacks; the memory in use is the context, one
// input block and the decoder's window, whatever the size of the cabinets. Directory
// entries are read one at a time where they are needed, never collected.
#include <string.h>

#include <new>

#include "cabinet/CabinetFormat.h"
#include "cabinet/Fdi.h"
#include "cabinet/FdiDecoders.h"

namespace setup::fdi {
namespace {

using namespace cabfmt;

constexpr uint32_t cContextMagic = 0x49444643;  // "CFDI"
constexpr uint32_t cNameSize = cMaxNameBytes + 1;
constexpr int cSeekSet = 0;
constexpr int cSeekCur = 1;
constexpr int cOpenReadOnlyBinary = 0x8000;  // _O_BINARY | _O_RDONLY
constexpr int cOpenModeReadWrite = 0x0180;   // _S_IREAD | _S_IWRITE

// One open cabinet file and what its header says.
struct TCabinet {
  bool Open = false;
  INT_PTR Handle = 0;
  long Base = 0;  // where the cabinet starts in the file
  long Position = -1;  // of the handle, when known: reads that follow on need no seek
  uint32_t FilesOffset = 0;
  uint32_t FoldersOffset = 0;
  uint32_t Size = 0;
  uint16_t Folders = 0, Files = 0, Flags = 0, SetId = 0, Index = 0;
  uint16_t HeaderReserve = 0;
  uint8_t FolderReserve = 0, DataReserve = 0;
  char PrevName[cNameSize], PrevDisk[cNameSize], NextName[cNameSize], NextDisk[cNameSize];
  char Path[cNameSize];  // the folder it was opened from, as the caller spelt it
};

struct TFileEntry {
  uint32_t Size, Offset;
  uint16_t Folder, Date, Time, Attribs;
  char Name[cNameSize];
};

// The folder being decoded: where its next block is, and the output of the current one.
struct TFolderState {
  bool Active = false;
  uint16_t Index = 0;  // in the listed cabinet
  unsigned Type = 0;
  TCabinet* DataCabinet = nullptr;  // the listed cabinet or a continuation
  uint16_t DataFolder = 0;          // the folder's index in DataCabinet
  uint32_t NextBlock = 0;           // cabinet offset of the next data block
  uint32_t BlocksLeft = 0;          // in DataCabinet
  uint64_t OutputStart = 0;         // folder offset of Output[0]
  uint32_t OutputSize = 0;
  const uint8_t* Output = nullptr;
  // The next block's header, read with the data of the one before: valid when AheadCabinet
  // is DataCabinet and AheadAt is NextBlock.
  TCabinet* AheadCabinet = nullptr;
  uint32_t AheadAt = 0;
  uint8_t Ahead[data::cSize + 255];
};

struct TContext {
  uint32_t Magic = cContextMagic;
  TMemory Memory;
  PFNOPEN Open;
  PFNREAD Read;
  PFNWRITE Write;
  PFNCLOSE Close;
  PFNSEEK Seek;
  PERF Erf;
  // State of one FDICopy call.
  PFNFDINOTIFY Notify = nullptr;
  void* User = nullptr;
  TCabinet Listed;         // the cabinet FDICopy was given: its files are the ones handled
  TCabinet Continuations[2];  // the continuation being read and the next one being tried
  TFolderState Folder;
  uint8_t* Input = nullptr;  // one data block, split parts joined
  TDecoder* Decoders[16] = {};
};

// Size bytes at Offset, or fewer when Got takes their count. The handle is moved only when
// it is not there already.
bool ReadAt(TContext& C, TCabinet& Cab, uint32_t Offset, void* Buffer, uint32_t Size, uint32_t* Got = nullptr) {
  long Position = Cab.Base + static_cast<long>(Offset);
  if (Offset > 0x7FFFFFFFu - static_cast<uint32_t>(Cab.Base)) return false;
  if (Cab.Position != Position) {
    Cab.Position = -1;
    if (C.Seek(Cab.Handle, Position, cSeekSet) != Position) return false;
  }
  UINT Count = C.Read(Cab.Handle, Buffer, Size);
  Cab.Position = Count > Size ? -1 : Position + static_cast<long>(Count);
  if (Count > Size) return false;
  if (Got) {
    *Got = Count;
    return true;
  }
  return Count == Size;
}

// A zero-terminated name of at most 255 characters at Offset; false when it is cut off.
bool ReadName(TContext& C, TCabinet& Cab, uint32_t& Offset, char* Name) {
  uint32_t Got = 0;
  if (!ReadAt(C, Cab, Offset, Name, cNameSize, &Got)) return false;
  const void* End = memchr(Name, 0, Got);
  if (!End) return false;
  Offset += static_cast<uint32_t>(static_cast<const char*>(End) - Name) + 1;
  return true;
}

void CloseCabinet(TContext& C, TCabinet& Cab) {
  if (Cab.Open) C.Close(Cab.Handle);
  Cab.Open = false;
}

// Reads and checks the header of the cabinet open in Cab (at Cab.Base).
FDIERROR ReadHeader(TContext& C, TCabinet& Cab) {
  uint8_t H[header::cSize];
  uint32_t Got = 0;
  if (!ReadAt(C, Cab, 0, H, header::cSize, &Got) || Got < header::cSize ||
      memcmp(H + header::cSignature, cSignatureBytes, sizeof cSignatureBytes) != 0)
    return FDIERROR_NOT_A_CABINET;
  if (H[header::cVersionMajor] != cVersionMajor) return FDIERROR_UNKNOWN_CABINET_VERSION;
  Cab.Size = Get32(H + header::cCabinetSize);
  Cab.FilesOffset = Get32(H + header::cFilesOffset);
  Cab.Folders = Get16(H + header::cFolderCount);
  Cab.Files = Get16(H + header::cFileCount);
  Cab.Flags = Get16(H + header::cFlags);
  Cab.SetId = Get16(H + header::cSetId);
  Cab.Index = Get16(H + header::cCabinetIndex);
  Cab.HeaderReserve = 0;
  Cab.FolderReserve = Cab.DataReserve = 0;
  uint32_t Offset = header::cSize;
  if (Cab.Flags & cFlagReservePresent) {
    if (!ReadAt(C, Cab, Offset, H, reserve::cSize)) return FDIERROR_CORRUPT_CABINET;
    Cab.HeaderReserve = Get16(H + reserve::cHeaderReserve);
    Cab.FolderReserve = H[reserve::cFolderReserve];
    Cab.DataReserve = H[reserve::cDataReserve];
    if (Cab.HeaderReserve > cMaxHeaderReserve) return FDIERROR_CORRUPT_CABINET;
    Offset += reserve::cSize + Cab.HeaderReserve;
  }
  Cab.PrevName[0] = Cab.PrevDisk[0] = Cab.NextName[0] = Cab.NextDisk[0] = 0;
  if (Cab.Flags & cFlagPrevCabinet) {
    if (!ReadName(C, Cab, Offset, Cab.PrevName) || !ReadName(C, Cab, Offset, Cab.PrevDisk))
      return FDIERROR_CORRUPT_CABINET;
  }
  if (Cab.Flags & cFlagNextCabinet) {
    if (!ReadName(C, Cab, Offset, Cab.NextName) || !ReadName(C, Cab, Offset, Cab.NextDisk))
      return FDIERROR_CORRUPT_CABINET;
  }
  Cab.FoldersOffset = Offset;
  return FDIERROR_NONE;
}

// Opens Path + Name and reads its header. CABINET_NOT_FOUND when the file cannot be opened.
FDIERROR OpenCabinet(TContext& C, TCabinet& Cab, const char* Path, const char* Name) {
  char FullName[2 * cNameSize + 2];
  size_t PathLength = strnlen(Path, cNameSize), NameLength = strnlen(Name, cNameSize);
  // A longer folder or name than the interface allows is refused, never cut to another file's name.
  if (PathLength >= cNameSize || NameLength >= cNameSize) return FDIERROR_CABINET_NOT_FOUND;
  memcpy(FullName, Path, PathLength);
  memcpy(FullName + PathLength, Name, NameLength);
  FullName[PathLength + NameLength] = 0;
  memcpy(Cab.Path, Path, PathLength);
  Cab.Path[PathLength] = 0;
  INT_PTR Handle = C.Open(FullName, cOpenReadOnlyBinary, cOpenModeReadWrite);
  if (Handle == -1) return FDIERROR_CABINET_NOT_FOUND;
  Cab.Open = true;
  Cab.Handle = Handle;
  Cab.Base = 0;
  Cab.Position = -1;
  FDIERROR Error = ReadHeader(C, Cab);
  if (Error) CloseCabinet(C, Cab);
  return Error;
}

FDIERROR ReadFolderEntry(TContext& C, TCabinet& Cab, uint16_t Index, uint32_t& FirstBlock, uint16_t& Blocks,
                         uint16_t& Type) {
  if (Index >= Cab.Folders) return FDIERROR_CORRUPT_CABINET;
  uint8_t F[folder::cSize];
  uint32_t Offset = Cab.FoldersOffset + static_cast<uint32_t>(Index) * (folder::cSize + Cab.FolderReserve);
  if (!ReadAt(C, Cab, Offset, F, folder::cSize)) return FDIERROR_CORRUPT_CABINET;
  FirstBlock = Get32(F + folder::cFirstBlock);
  Blocks = Get16(F + folder::cBlockCount);
  Type = Get16(F + folder::cCompression);
  return FDIERROR_NONE;
}

FDIERROR ReadFileEntry(TContext& C, TCabinet& Cab, uint32_t& Offset, TFileEntry& File) {
  uint8_t F[file::cSize];
  if (!ReadAt(C, Cab, Offset, F, file::cSize)) return FDIERROR_CORRUPT_CABINET;
  File.Size = Get32(F + file::cUncompressedSize);
  File.Offset = Get32(F + file::cFolderOffset);
  File.Folder = Get16(F + file::cFolder);
  File.Date = Get16(F + file::cDate);
  File.Time = Get16(F + file::cTime);
  File.Attribs = Get16(F + file::cAttributes);
  Offset += file::cSize;
  if (!ReadName(C, Cab, Offset, File.Name)) return FDIERROR_CORRUPT_CABINET;
  return FDIERROR_NONE;
}

INT_PTR Notify(TContext& C, FDINOTIFICATIONTYPE Type, FDINOTIFICATION& N) {
  N.pv = C.User;
  return C.Notify(Type, &N);
}

FDIERROR NotifyCabinetInfo(TContext& C, TCabinet& Cab) {
  FDINOTIFICATION N;
  memset(&N, 0, sizeof N);
  N.psz1 = Cab.NextName;
  N.psz2 = Cab.NextDisk;
  N.psz3 = Cab.Path;
  N.setID = Cab.SetId;
  N.iCabinet = Cab.Index;
  return Notify(C, fdintCABINET_INFO, N) == -1 ? FDIERROR_USER_ABORT : FDIERROR_NONE;
}

// Asks the caller for the cabinet that follows From and opens it into Into. Each failure to
// find the right cabinet is reported back with the same notification until the caller either
// points to the right one or gives up.
FDIERROR OpenNextCabinet(TContext& C, TCabinet& From, TCabinet& Into) {
  char Path[CB_MAX_CAB_PATH];
  strcpy(Path, From.Path);
  FDIERROR Indication = FDIERROR_NONE;
  for (;;) {
    FDINOTIFICATION N;
    memset(&N, 0, sizeof N);
    N.psz1 = From.NextName;
    N.psz2 = From.NextDisk;
    N.psz3 = Path;
    N.setID = From.SetId;
    N.iCabinet = From.Index;
    N.fdie = Indication;
    if (Notify(C, fdintNEXT_CABINET, N) == -1) return FDIERROR_USER_ABORT;
    Path[CB_MAX_CAB_PATH - 1] = 0;
    Indication = OpenCabinet(C, Into, Path, From.NextName);
    if (Indication) continue;
    if (Into.SetId != From.SetId || Into.Index != From.Index + 1)
      Indication = FDIERROR_WRONG_CABINET;
    else if (Into.FolderReserve != From.FolderReserve || Into.DataReserve != From.DataReserve)
      Indication = FDIERROR_RESERVE_MISMATCH;
    else if (Into.Folders == 0)
      Indication = FDIERROR_CORRUPT_CABINET;
    if (!Indication) return FDIERROR_NONE;
    CloseCabinet(C, Into);
  }
}

void CloseContinuations(TContext& C) {
  CloseCabinet(C, C.Continuations[0]);
  CloseCabinet(C, C.Continuations[1]);
}

FDIERROR StartFolder(TContext& C, uint16_t Index) {
  TFolderState& F = C.Folder;
  F.Active = false;
  CloseContinuations(C);
  uint32_t FirstBlock;
  uint16_t Blocks, Type;
  if (FDIERROR Error = ReadFolderEntry(C, C.Listed, Index, FirstBlock, Blocks, Type)) return Error;
  unsigned Method = CompressionTypeFromTCOMP(Type);
  if (!C.Decoders[Method]) {
    if (FDIERROR Error = CreateDecoder(Method, C.Memory, C.Decoders[Method])) return Error;
  }
  if (FDIERROR Error = C.Decoders[Method]->Reset(Type)) return Error;
  F.Index = Index;
  F.Type = Method;
  F.DataCabinet = &C.Listed;
  F.DataFolder = Index;
  F.NextBlock = FirstBlock;
  F.BlocksLeft = Blocks;
  F.OutputStart = 0;
  F.OutputSize = 0;
  F.Output = nullptr;
  F.AheadCabinet = nullptr;
  F.Active = true;
  return FDIERROR_NONE;
}

// Moves to the folder's continuation in the next cabinet of the set.
FDIERROR ContinueFolder(TContext& C) {
  TFolderState& F = C.Folder;
  TCabinet& From = *F.DataCabinet;
  // Only the last folder of a cabinet that has a successor goes on there.
  if (!(From.Flags & cFlagNextCabinet) || F.DataFolder + 1 != From.Folders) return FDIERROR_CORRUPT_CABINET;
  TCabinet& Into = (&From == &C.Continuations[0]) ? C.Continuations[1] : C.Continuations[0];
  if (FDIERROR Error = OpenNextCabinet(C, From, Into)) return Error;
  if (&From != &C.Listed) CloseCabinet(C, From);
  F.DataCabinet = &Into;
  F.DataFolder = 0;
  F.AheadCabinet = nullptr;
  if (FDIERROR Error = NotifyCabinetInfo(C, Into)) return Error;
  uint32_t FirstBlock;
  uint16_t Blocks, Type;
  if (FDIERROR Error = ReadFolderEntry(C, Into, 0, FirstBlock, Blocks, Type)) return Error;
  F.NextBlock = FirstBlock;
  F.BlocksLeft = Blocks;
  return FDIERROR_NONE;
}

// A function of its own, so that its loop keeps its pointer in a register: inlined into the
// block reader it ran several times slower.
__attribute__((noinline)) uint32_t BlockChecksum(const uint8_t* Header, const uint8_t* Data, uint32_t Size) {
  return DataBlockChecksum(Header, Data, Size);
}

// Reads the folder's next data block (joining the parts of a block split across cabinets)
// and decodes it.
FDIERROR NextBlock(TContext& C) {
  TFolderState& F = C.Folder;
  F.OutputStart += F.OutputSize;
  F.OutputSize = 0;
  uint32_t InputSize = 0;
  for (;;) {
    if (F.BlocksLeft == 0) {
      if (FDIERROR Error = ContinueFolder(C)) return Error;
      continue;
    }
    TCabinet& Cab = *F.DataCabinet;
    uint32_t HeaderLength = data::cSize + Cab.DataReserve;
    if (F.AheadCabinet != &Cab || F.AheadAt != F.NextBlock) {
      if (!ReadAt(C, Cab, F.NextBlock, F.Ahead, HeaderLength)) return FDIERROR_CORRUPT_CABINET;
    }
    F.AheadCabinet = nullptr;
    uint8_t Header[data::cSize];
    memcpy(Header, F.Ahead, data::cSize);
    uint32_t Sum = Get32(Header + data::cChecksum);
    uint32_t Size = Get16(Header + data::cCompressedSize);
    uint32_t OutputSize = Get16(Header + data::cUncompressedSize);
    if (Size > cMaxBlockInput - InputSize) return FDIERROR_CORRUPT_CABINET;
    uint8_t* Data = C.Input + InputSize;
    // The data follows the header directly, and the next block's header follows the data:
    // one read takes both.
    uint32_t Want = Size + (F.BlocksLeft > 1 ? HeaderLength : 0), Count = 0;
    if (Want && !ReadAt(C, Cab, F.NextBlock + HeaderLength, Data, Want, &Count)) return FDIERROR_CORRUPT_CABINET;
    if (Count < Size) return FDIERROR_CORRUPT_CABINET;
    if (Count > Size && Count == Want) {
      memcpy(F.Ahead, Data + Size, HeaderLength);
      F.AheadCabinet = &Cab;
      F.AheadAt = F.NextBlock + HeaderLength + Size;
    }
    if (Sum != 0 && BlockChecksum(Header, Data, Size) != Sum) return FDIERROR_CORRUPT_CABINET;
    F.NextBlock += HeaderLength + Size;
    F.BlocksLeft--;
    InputSize += Size;
    if (OutputSize != 0) {
      if (OutputSize > cMaxBlockOutput && F.Type != tcompTYPE_NONE) return FDIERROR_CORRUPT_CABINET;
      FDIERROR Error = C.Decoders[F.Type]->Decode(C.Input, InputSize, OutputSize, F.Output);
      if (Error) return Error;
      F.OutputSize = OutputSize;
      return FDIERROR_NONE;
    }
    // A block without output size is the first part of a block that goes on in the next
    // cabinet; it can only be the last block here.
    if (F.BlocksLeft != 0) return FDIERROR_CORRUPT_CABINET;
  }
}

// Writes the file's bytes from its folder to Handle, a block at a time.
FDIERROR ExtractFile(TContext& C, uint16_t FolderIndex, const TFileEntry& File, INT_PTR Handle) {
  TFolderState& F = C.Folder;
  uint64_t Position = File.Offset;
  uint64_t Left = File.Size;
  if (!F.Active || F.Index != FolderIndex || Position < F.OutputStart) {
    if (FDIERROR Error = StartFolder(C, FolderIndex)) return Error;
  }
  while (Left > 0) {
    uint64_t End = F.OutputStart + F.OutputSize;
    if (Position >= End) {
      FDIERROR Error = NextBlock(C);
      if (Error) {
        F.Active = false;
        return Error;
      }
      continue;
    }
    uint32_t Count = static_cast<uint32_t>(End - Position < Left ? End - Position : Left);
    void* Bytes = const_cast<uint8_t*>(F.Output + (Position - F.OutputStart));
    if (C.Write(Handle, Bytes, Count) != Count) return FDIERROR_TARGET_FILE;
    Position += Count;
    Left -= Count;
  }
  return FDIERROR_NONE;
}

// Checks the whole directory before anything is written: a damaged or contradictory one
// stops the copy before the first file rather than half way.
FDIERROR CheckDirectory(TContext& C, TCabinet& Cab) {
  // The file entries follow the folder entries. A cabinet saying otherwise shows different
  // files to readers that walk the entries and readers that follow the offset.
  if (Cab.FilesOffset != Cab.FoldersOffset + static_cast<uint32_t>(Cab.Folders) * (folder::cSize + Cab.FolderReserve))
    return FDIERROR_CORRUPT_CABINET;
  for (uint16_t I = 0; I < Cab.Folders; I++) {
    uint32_t FirstBlock;
    uint16_t Blocks, Type;
    if (FDIERROR Error = ReadFolderEntry(C, Cab, I, FirstBlock, Blocks, Type)) return Error;
    // A folder that cannot be decoded would fail in the middle of its first file, after the
    // caller has prepared a target for it: say so before any file is handed out.
    unsigned Method = CompressionTypeFromTCOMP(Type);
    if (!C.Decoders[Method]) {
      if (FDIERROR Error = CreateDecoder(Method, C.Memory, C.Decoders[Method])) return Error;
    }
  }
  uint32_t Offset = Cab.FilesOffset;
  for (uint32_t I = 0; I < Cab.Files; I++) {
    TFileEntry File;
    if (FDIERROR Error = ReadFileEntry(C, Cab, Offset, File)) return Error;
    if (File.Name[0] == 0) return FDIERROR_CORRUPT_CABINET;
    bool FromPrev = File.Folder == cFolderContinuedFromPrev || File.Folder == cFolderContinuedPrevAndNext;
    bool ToNext = File.Folder == cFolderContinuedToNext || File.Folder == cFolderContinuedPrevAndNext;
    if (Cab.Folders == 0 || (FromPrev && !(Cab.Flags & cFlagPrevCabinet)) || (ToNext && !(Cab.Flags & cFlagNextCabinet)))
      return FDIERROR_CORRUPT_CABINET;
    if (!FromPrev && !ToNext && File.Folder >= Cab.Folders) return FDIERROR_CORRUPT_CABINET;
  }
  return FDIERROR_NONE;
}

FDIERROR CopyFiles(TContext& C) {
  TCabinet& Cab = C.Listed;
  uint32_t Offset = Cab.FilesOffset;
  for (uint32_t I = 0; I < Cab.Files; I++) {
    TFileEntry File;
    if (FDIERROR Error = ReadFileEntry(C, Cab, Offset, File)) return Error;
    FDINOTIFICATION N;
    memset(&N, 0, sizeof N);
    N.psz1 = File.Name;
    N.setID = Cab.SetId;
    N.iCabinet = Cab.Index;
    N.iFolder = File.Folder;
    if (File.Folder == cFolderContinuedFromPrev || File.Folder == cFolderContinuedPrevAndNext) {
      // Written by the call that began with the cabinet where the file starts.
      N.psz2 = Cab.PrevName;
      N.psz3 = Cab.PrevDisk;
      if (Notify(C, fdintPARTIAL_FILE, N) == -1) return FDIERROR_USER_ABORT;
      continue;
    }
    uint16_t FolderIndex = File.Folder == cFolderContinuedToNext ? static_cast<uint16_t>(Cab.Folders - 1) : File.Folder;
    if (Cab.Folders == 0 || FolderIndex >= Cab.Folders) return FDIERROR_CORRUPT_CABINET;
    N.cb = static_cast<long>(File.Size);
    N.date = File.Date;
    N.time = File.Time;
    N.attribs = File.Attribs;
    INT_PTR Handle = Notify(C, fdintCOPY_FILE, N);
    if (Handle == -1) return FDIERROR_USER_ABORT;
    if (Handle == 0) continue;
    if (FDIERROR Error = ExtractFile(C, FolderIndex, File, Handle)) {
      C.Close(Handle);
      return Error;
    }
    memset(&N, 0, sizeof N);
    N.psz1 = File.Name;
    N.hf = Handle;
    N.date = File.Date;
    N.time = File.Time;
    N.attribs = static_cast<USHORT>(File.Attribs & ~_A_EXEC);
    N.cb = (File.Attribs & _A_EXEC) ? 1 : 0;
    N.setID = Cab.SetId;
    N.iCabinet = Cab.Index;
    N.iFolder = File.Folder;
    INT_PTR Answer = Notify(C, fdintCLOSE_FILE_INFO, N);
    if (Answer == 0 || Answer == -1) return FDIERROR_USER_ABORT;
  }
  return FDIERROR_NONE;
}

void SetError(PERF Erf, FDIERROR Error) {
  if (!Erf) return;
  Erf->erfOper = Error;
  Erf->erfType = 0;
  Erf->fError = Error != FDIERROR_NONE;
}

TContext* ContextOf(HFDI Handle) {
  auto* C = static_cast<TContext*>(Handle);
  return C && C->Magic == cContextMagic ? C : nullptr;
}

}  // namespace
}  // namespace setup::fdi

using namespace setup::fdi;

extern "C" {

HFDI DIAMONDAPI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread, PFNWRITE pfnwrite,
                          PFNCLOSE pfnclose, PFNSEEK pfnseek, int /*cpuType*/, PERF perf) {
  if (!pfnalloc || !pfnfree || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek) {
    SetError(perf, FDIERROR_ALLOC_FAIL);
    return nullptr;
  }
  void* Place = pfnalloc(sizeof(TContext));
  if (!Place) {
    SetError(perf, FDIERROR_ALLOC_FAIL);
    return nullptr;
  }
  TContext* C = new (Place) TContext;
  C->Memory.Alloc = pfnalloc;
  C->Memory.Free = pfnfree;
  C->Open = pfnopen;
  C->Read = pfnread;
  C->Write = pfnwrite;
  C->Close = pfnclose;
  C->Seek = pfnseek;
  C->Erf = perf;
  // Room for the next block's header behind the data.
  C->Input = static_cast<uint8_t*>(pfnalloc(cMaxBlockInput + data::cSize + 255));
  if (!C->Input) {
    C->~TContext();
    pfnfree(Place);
    SetError(perf, FDIERROR_ALLOC_FAIL);
    return nullptr;
  }
  return C;
}

BOOL DIAMONDAPI FDIDestroy(HFDI hfdi) {
  TContext* C = ContextOf(hfdi);
  if (!C) return 0;
  for (TDecoder*& Decoder : C->Decoders) {
    C->Memory.Delete(Decoder);
    Decoder = nullptr;
  }
  PFNFREE Free = C->Memory.Free;
  Free(C->Input);
  C->Magic = 0;
  C->~TContext();
  Free(C);
  return 1;
}

BOOL DIAMONDAPI FDIIsCabinet(HFDI hfdi, INT_PTR hf, PFDICABINETINFO pfdici) {
  TContext* C = ContextOf(hfdi);
  if (!C) return 0;
  TCabinet Cab;
  Cab.Open = true;
  Cab.Handle = hf;
  Cab.Base = C->Seek(hf, 0, cSeekCur);
  if (Cab.Base < 0) {
    SetError(C->Erf, FDIERROR_NOT_A_CABINET);
    return 0;
  }
  FDIERROR Error = ReadHeader(*C, Cab);
  if (Error) {
    SetError(C->Erf, Error);
    return 0;
  }
  if (pfdici) {
    pfdici->cbCabinet = static_cast<long>(Cab.Size);
    pfdici->cFolders = Cab.Folders;
    pfdici->cFiles = Cab.Files;
    pfdici->setID = Cab.SetId;
    pfdici->iCabinet = Cab.Index;
    pfdici->fReserve = (Cab.Flags & cFlagReservePresent) != 0;
    pfdici->hasprev = (Cab.Flags & cFlagPrevCabinet) != 0;
    pfdici->hasnext = (Cab.Flags & cFlagNextCabinet) != 0;
  }
  return 1;
}

BOOL DIAMONDAPI FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int /*flags*/, PFNFDINOTIFY pfnfdin,
                        PFNFDIDECRYPT /*pfnfdid*/, void* pvUser) {
  TContext* C = ContextOf(hfdi);
  if (!C) return 0;
  if (!pfnfdin || !pszCabinet) {
    SetError(C->Erf, FDIERROR_CABINET_NOT_FOUND);
    return 0;
  }
  C->Notify = pfnfdin;
  C->User = pvUser;
  C->Folder = TFolderState{};
  FDIERROR Error = OpenCabinet(*C, C->Listed, pszCabPath ? pszCabPath : "", pszCabinet);
  if (!Error) {
    Error = NotifyCabinetInfo(*C, C->Listed);
    if (!Error) Error = CheckDirectory(*C, C->Listed);
    if (!Error) Error = CopyFiles(*C);
  }
  CloseContinuations(*C);
  CloseCabinet(*C, C->Listed);
  C->Folder = TFolderState{};
  if (Error) {
    SetError(C->Erf, Error);
    return 0;
  }
  return 1;
}

}  // extern "C"
