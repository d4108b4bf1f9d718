// Arbitrary bytes as a cabinet: every name the library opens is served the same bytes (so
// that requests for further cabinets are exercised too), outputs are discarded. Any crash,
// hang, leak, out-of-bounds access or misuse of a handle is a finding.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cabinet/Fdi.h"

namespace {

const uint8_t* Data = nullptr;
size_t Size = 0;

struct THandle {
  bool Open = false;
  bool Output = false;
  size_t Position = 0;
};
std::vector<THandle> Handles;
int NextCabinetRequests = 0;

THandle& HandleOf(INT_PTR H) {
  if (H <= 0 || static_cast<size_t>(H) >= Handles.size() || !Handles[H].Open) std::abort();
  return Handles[H];
}

void* FDIDIAMONDAPI Alloc(ULONG Bytes) {
  // A size no cabinet justifies would show up as an unbounded allocation.
  // The largest window (LZX and Quantum, 2 MB) is the largest block any cabinet justifies.
  if (Bytes > 3 * 1024 * 1024) std::abort();
  return std::malloc(Bytes ? Bytes : 1);
}
void FDIDIAMONDAPI Free(void* Block) { std::free(Block); }
INT_PTR FDIDIAMONDAPI Open(char*, int, int) {
  Handles.push_back(THandle{true, false, 0});
  return static_cast<INT_PTR>(Handles.size() - 1);
}
UINT FDIDIAMONDAPI Read(INT_PTR H, void* Buffer, UINT Count) {
  THandle& Handle = HandleOf(H);
  if (Handle.Output) std::abort();
  size_t Left = Handle.Position < Size ? Size - Handle.Position : 0;
  size_t Got = Count < Left ? Count : Left;
  if (Got) std::memcpy(Buffer, Data + Handle.Position, Got);
  Handle.Position += Got;
  return static_cast<UINT>(Got);
}
UINT FDIDIAMONDAPI Write(INT_PTR H, void* Buffer, UINT Count) {
  THandle& Handle = HandleOf(H);
  if (!Handle.Output) std::abort();
  volatile uint8_t Touch = Count ? static_cast<uint8_t*>(Buffer)[Count - 1] : 0;  // the bytes must be readable
  (void)Touch;
  return Count;
}
int FDIDIAMONDAPI Close(INT_PTR H) {
  HandleOf(H).Open = false;
  return 0;
}
long FDIDIAMONDAPI Seek(INT_PTR H, long Distance, int Type) {
  THandle& Handle = HandleOf(H);
  long Base = Type == 0 ? 0 : Type == 1 ? static_cast<long>(Handle.Position) : static_cast<long>(Size);
  long Target = Base + Distance;
  if (Target < 0) return -1;
  Handle.Position = static_cast<size_t>(Target);
  return Target;
}

INT_PTR FDIDIAMONDAPI Notify(FDINOTIFICATIONTYPE Type, PFDINOTIFICATION N) {
  switch (Type) {
    case fdintCOPY_FILE:
      if (std::strlen(N->psz1) > 255) std::abort();
      Handles.push_back(THandle{true, true, 0});
      return static_cast<INT_PTR>(Handles.size() - 1);
    case fdintCLOSE_FILE_INFO:
      Close(N->hf);
      return 1;
    case fdintNEXT_CABINET:
      if (std::strlen(N->psz3) > 255) std::abort();
      return ++NextCabinetRequests < 4 ? 0 : -1;
    default:
      return 0;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Input, size_t InputSize) {
  Data = Input;
  Size = InputSize;
  Handles.assign(1, THandle{});
  NextCabinetRequests = 0;
  ERF Error{};
  HFDI Context = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &Error);
  if (!Context) std::abort();
  char Name[] = "fuzz.cab", Path[] = "";
  BOOL Ok = FDICopy(Context, Name, Path, 0, Notify, nullptr, nullptr);
  if (!Ok && (!Error.fError || Error.erfOper < FDIERROR_CABINET_NOT_FOUND || Error.erfOper > FDIERROR_USER_ABORT))
    std::abort();
  FDICABINETINFO Info;
  INT_PTR Handle = Open(Name, 0, 0);
  FDIIsCabinet(Context, Handle, &Info);
  Close(Handle);
  FDIDestroy(Context);
  for (const THandle& H : Handles)
    if (H.Open) std::abort();
  return 0;
}
