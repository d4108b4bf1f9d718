#include "StreamFileHandlerWin.h"

#include <utility>

#include "system/WideWin.h"

namespace setup {
namespace {
constexpr int cWriteOnly = 0x0001;  // _O_WRONLY
constexpr int cCreate = 0x0100;     // _O_CREAT
constexpr int cExclusive = 0x0400;  // _O_EXCL

// The handles of the carried cabinet are the program file's with this bit set: system handles
// are multiples of four.
constexpr std::intptr_t cWindowMark = 1;
std::string CarriedProgram, CarriedPath;  // the program, and it with the cabinet's name; empty: none
std::uint32_t CarriedBegin = 0, CarriedEnd = 0;
}  // namespace

void CarryCabinet(const std::string& Program, const TEmbeddedCabinet& Cabinet) {
  CarriedProgram = Program;
  CarriedPath = Program + "\\" + cEmbeddedCabinetName;
  CarriedBegin = Cabinet.Offset;
  CarriedEnd = Cabinet.Offset + Cabinet.Size;
}

// The worker names the cabinet as it was given: the program's path and "setup1.cab".
bool IsCarriedCabinet(const std::string& Path) { return !CarriedPath.empty() && Path == CarriedPath; }

TStreamCabinetFileHandler::~TStreamCabinetFileHandler() = default;

bool TStreamCabinetFileHandler::FindStream(std::intptr_t Handle, std::size_t& Index) const {
  for (Index = 0; Index < Streams.size(); ++Index)
    if (reinterpret_cast<std::intptr_t>(Streams[Index].Get()) == (Handle & ~std::intptr_t(cWindowMark))) return true;
  return false;
}

std::intptr_t TStreamCabinetFileHandler::Open(const std::string& FileName, int OFlag, int, int& Err, void*) {
  DWORD Access, Share, Disposition;
  if (OFlag & cCreate) {
    Access = GENERIC_READ | GENERIC_WRITE;
    Share = 0;
    // With _O_EXCL only a new file will do, so that nothing already there is overwritten.
    Disposition = (OFlag & cExclusive) ? CREATE_NEW : CREATE_ALWAYS;
  } else {
    // Read-write requests are served read-only: the library only reads cabinets.
    Access = (OFlag & cWriteOnly) ? GENERIC_WRITE : GENERIC_READ;
    Share = (OFlag & cExclusive)         ? 0
            : (OFlag & cHoldForReading) ? FILE_SHARE_READ
                                        : (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    Disposition = OPEN_EXISTING;
  }
  const bool Window = IsCarriedCabinet(FileName);
  // Read in place, and nobody may write the program's file meanwhile.
  if (Window) Share = FILE_SHARE_READ;
  HandleGuard File(CreateFileW(ToWidePath(Window ? CarriedProgram : FileName).c_str(),
                               Access, Share, nullptr, Disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                               nullptr));
  if (!File) {
    Err = static_cast<int>(GetLastError());
    return -1;
  }
  const HANDLE Opened = File.Get();
  // Kept by the list from here on; a list that cannot grow closes it again.
  Streams.push_back(std::move(File));
  Err = 0;
  if (!Window) return reinterpret_cast<std::intptr_t>(Opened);
  LARGE_INTEGER Start;
  Start.QuadPart = CarriedBegin;
  SetFilePointerEx(Opened, Start, nullptr, FILE_BEGIN);
  return reinterpret_cast<std::intptr_t>(Opened) | cWindowMark;
}

unsigned TStreamCabinetFileHandler::Read(std::intptr_t Handle, void* Buffer, unsigned Count, int& Err) {
  std::size_t Index;
  if (!FindStream(Handle, Index)) {
    Err = -1;
    return 0;
  }
  if (Handle & cWindowMark) {
    LARGE_INTEGER Zero{}, At{};
    SetFilePointerEx(Streams[Index].Get(), Zero, &At, FILE_CURRENT);
    Count = WindowReadCount(CarriedEnd, static_cast<std::uint32_t>(At.QuadPart), Count);
  }
  DWORD Done = 0;
  const BOOL Ok = ReadFile(Streams[Index].Get(), Buffer, Count, &Done, nullptr);
  Err = (Ok && Done == Count) ? 0 : static_cast<int>(GetLastError());
  return Done;
}

unsigned TStreamCabinetFileHandler::Write(std::intptr_t Handle, const void* Buffer, unsigned Count, int& Err) {
  std::size_t Index;
  if (!FindStream(Handle, Index)) {
    Err = -1;
    return 0;
  }
  DWORD Done = 0;
  const BOOL Ok = WriteFile(Streams[Index].Get(), Buffer, Count, &Done, nullptr);
  Err = (Ok && Done == Count) ? 0 : static_cast<int>(GetLastError());
  // A short write without an error code means the disk ran out of room.
  if (Err == 0 && Done != Count) Err = ERROR_HANDLE_DISK_FULL;
  if (Err != 0 && FailedWrites.size() < Streams.size()) FailedWrites.emplace_back(Handle, Err);
  return Done;
}

int TStreamCabinetFileHandler::Close(std::intptr_t Handle, int& Err) {
  std::size_t Index;
  if (FindStream(Handle, Index)) {
    Streams.erase(Streams.begin() + static_cast<std::ptrdiff_t>(Index));
  }
  Err = 0;
  for (auto It = FailedWrites.begin(); It != FailedWrites.end(); ++It)
    if (It->first == Handle) {
      Err = It->second;
      FailedWrites.erase(It);
      return -1;
    }
  return 0;
}

long TStreamCabinetFileHandler::Seek(std::intptr_t Handle, long Distance, int SeekType, int& Err) {
  std::size_t Index;
  if (!FindStream(Handle, Index)) {
    Err = -1;
    return 0;
  }
  const DWORD Method = SeekType == 1 ? FILE_CURRENT : SeekType == 2 ? FILE_END : FILE_BEGIN;
  LARGE_INTEGER Move, NewPosition{};
  Move.QuadPart = Distance;
  // Positions in the carried cabinet count from its start. (The library seeks from the start
  // and asks for the current position, never from the end.)
  const LONGLONG Begin = (Handle & cWindowMark) ? CarriedBegin : 0;
  if (Method == FILE_BEGIN) Move.QuadPart += Begin;
  SetFilePointerEx(Streams[Index].Get(), Move, &NewPosition, Method);
  Err = 0;
  return static_cast<long>(NewPosition.QuadPart - Begin);
}

int TStreamCabinetFileHandler::Delete(const std::string& FileName, int& Err) {
  Err = DeleteFileW(ToWidePath(FileName).c_str()) ? 0 : static_cast<int>(GetLastError());
  return 0;
}

}  // namespace setup
