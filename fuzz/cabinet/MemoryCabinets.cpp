#include "cabinet/MemoryCabinets.h"

#include <cstdlib>
#include <cstring>

#include "cabinet/Fdi.h"

namespace fuzzcab {
namespace {

struct THandle {
  bool Open = false;
  bool Output = false;
  const TMemoryCabinet* Cabinet = nullptr;
  std::size_t Position = 0;
  long Announced = 0;      // the size COPY_FILE announced
  std::uint64_t Written = 0;
};

struct TRun {
  const std::vector<TMemoryCabinet>* Cabinets = nullptr;
  std::size_t First = 0;
  bool ServeAnyName = false;
  std::vector<THandle> Handles;
  int NextCabinetRequests = 0;
};
TRun Run;

THandle& HandleOf(INT_PTR H) {
  if (H <= 0 || static_cast<std::size_t>(H) >= Run.Handles.size() || !Run.Handles[H].Open) std::abort();
  return Run.Handles[H];
}

void* FDIDIAMONDAPI Alloc(ULONG Bytes) {
  // The largest window (LZX and Quantum, 2 MB) is the largest block any cabinet justifies.
  if (Bytes > 3 * 1024 * 1024) std::abort();
  return std::malloc(Bytes ? Bytes : 1);
}
void FDIDIAMONDAPI Free(void* Block) { std::free(Block); }

INT_PTR FDIDIAMONDAPI Open(char* Name, int, int) {
  if (!Name || std::strlen(Name) > 2 * 256) std::abort();
  const TMemoryCabinet* Found = nullptr;
  if (Run.ServeAnyName) {
    Found = &(*Run.Cabinets)[Run.First];
  } else {
    for (const auto& Cabinet : *Run.Cabinets)
      if (Cabinet.Name == Name) Found = &Cabinet;
  }
  if (!Found) return -1;
  THandle Handle;
  Handle.Open = true;
  Handle.Cabinet = Found;
  Run.Handles.push_back(Handle);
  return static_cast<INT_PTR>(Run.Handles.size() - 1);
}

UINT FDIDIAMONDAPI Read(INT_PTR H, void* Buffer, UINT Count) {
  THandle& Handle = HandleOf(H);
  if (Handle.Output) std::abort();
  const TMemoryCabinet& Cabinet = *Handle.Cabinet;
  std::size_t Left = Handle.Position < Cabinet.Size ? Cabinet.Size - Handle.Position : 0;
  std::size_t Got = Count < Left ? Count : Left;
  if (Got) std::memcpy(Buffer, Cabinet.Data + Handle.Position, Got);
  Handle.Position += Got;
  return static_cast<UINT>(Got);
}

UINT FDIDIAMONDAPI Write(INT_PTR H, void* Buffer, UINT Count) {
  THandle& Handle = HandleOf(H);
  if (!Handle.Output) std::abort();
  // The bytes handed over must all be readable.
  std::uint8_t Sum = 0;
  for (UINT I = 0; I < Count; I += 4096) Sum ^= static_cast<std::uint8_t*>(Buffer)[I];
  if (Count) Sum ^= static_cast<std::uint8_t*>(Buffer)[Count - 1];
  volatile std::uint8_t Touch = Sum;
  (void)Touch;
  Handle.Written += Count;
  return Count;
}

int FDIDIAMONDAPI Close(INT_PTR H) {
  HandleOf(H).Open = false;
  return 0;
}

long FDIDIAMONDAPI Seek(INT_PTR H, long Distance, int Type) {
  THandle& Handle = HandleOf(H);
  if (Handle.Output || Type < 0 || Type > 2) std::abort();
  long Base = Type == 0 ? 0 : Type == 1 ? static_cast<long>(Handle.Position) : static_cast<long>(Handle.Cabinet->Size);
  long Target = Base + Distance;
  if (Target < 0) return -1;
  Handle.Position = static_cast<std::size_t>(Target);
  return Target;
}

INT_PTR FDIDIAMONDAPI Notify(FDINOTIFICATIONTYPE Type, PFDINOTIFICATION N) {
  switch (Type) {
    case fdintCOPY_FILE: {
      if (!N->psz1 || std::strlen(N->psz1) > 255 || N->cb < 0) std::abort();
      THandle Handle;
      Handle.Open = true;
      Handle.Output = true;
      Handle.Announced = N->cb;
      Run.Handles.push_back(Handle);
      return static_cast<INT_PTR>(Run.Handles.size() - 1);
    }
    case fdintCLOSE_FILE_INFO: {
      THandle& Handle = HandleOf(N->hf);
      if (!Handle.Output || Handle.Written != static_cast<std::uint64_t>(Handle.Announced)) std::abort();
      Close(N->hf);
      return 1;
    }
    case fdintPARTIAL_FILE:
    case fdintCABINET_INFO:
      if (!N->psz1 || !N->psz2 || !N->psz3) std::abort();
      if (std::strlen(N->psz1) > 255 || std::strlen(N->psz2) > 255 || std::strlen(N->psz3) > 255) std::abort();
      return 0;
    case fdintNEXT_CABINET:
      if (!N->psz1 || !N->psz3 || std::strlen(N->psz1) > 255 || std::strlen(N->psz3) > 255) std::abort();
      // The path stays as it is: the set lies in one folder. A library that keeps asking for
      // a cabinet it cannot use is told to give up after a few answers.
      return ++Run.NextCabinetRequests < 4 ? 0 : -1;
    default:
      return 0;
  }
}

}  // namespace

void ExtractFromMemory(const std::vector<TMemoryCabinet>& Cabinets, std::size_t First, bool ServeAnyName) {
  Run.Cabinets = &Cabinets;
  Run.First = First;
  Run.ServeAnyName = ServeAnyName;
  Run.Handles.assign(1, THandle{});
  Run.NextCabinetRequests = 0;
  ERF Error{};
  HFDI Context = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &Error);
  if (!Context) std::abort();
  std::string Name = Cabinets[First].Name;
  char Path[] = "";
  BOOL Ok = FDICopy(Context, Name.data(), Path, 0, Notify, nullptr, nullptr);
  if (!Ok && (!Error.fError || Error.erfOper < FDIERROR_CABINET_NOT_FOUND || Error.erfOper > FDIERROR_USER_ABORT))
    std::abort();
  FDICABINETINFO Info;
  INT_PTR Handle = Open(Name.data(), 0, 0);
  if (Handle == -1) std::abort();
  FDIIsCabinet(Context, Handle, &Info);
  Close(Handle);
  if (!FDIDestroy(Context)) std::abort();
  for (const THandle& H : Run.Handles)
    if (H.Open) std::abort();
}

std::vector<TMemoryCabinet> SplitSet(const std::uint8_t* Data, std::size_t Size, std::size_t MaxParts) {
  static const std::uint8_t Signature[8] = {'M', 'S', 'C', 'F', 0, 0, 0, 0};
  std::vector<TMemoryCabinet> Parts;
  std::size_t Start = 0;
  for (std::size_t At = 1; At + sizeof Signature <= Size && Parts.size() + 1 < MaxParts; ++At) {
    if (std::memcmp(Data + At, Signature, sizeof Signature) != 0) continue;
    Parts.push_back({SetCabinetName(Parts.size() + 1), Data + Start, At - Start});
    Start = At;
  }
  Parts.push_back({SetCabinetName(Parts.size() + 1), Data + Start, Size - Start});
  return Parts;
}

std::string SetCabinetName(std::size_t Number) { return "setup" + std::to_string(Number) + ".cab"; }

}  // namespace fuzzcab
