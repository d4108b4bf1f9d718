#include "FdiHarness.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace fdi_test {

namespace {

struct THandle {
  int Fd = -1;              // a cabinet
  std::string Name;         // an output file
  std::string* Output = nullptr;
  bool Open = false;
};

struct TState {
  const TClient* Client = nullptr;
  TExtraction* Result = nullptr;
  std::vector<THandle> Handles{THandle{}};  // handle 0 is never given out
  std::map<void*, std::size_t> Blocks;
  std::size_t Allocated = 0;
  std::size_t Written = 0;
  std::map<std::string, std::string> Pending;  // files being written
};
TState* State = nullptr;

void* FDIDIAMONDAPI Alloc(ULONG Size) {
  if (State->Allocated + Size > State->Client->AllocationLimit) return nullptr;
  void* Block = std::malloc(Size ? Size : 1);
  State->Blocks[Block] = Size;
  State->Allocated += Size;
  if (State->Allocated > State->Result->PeakMemory) State->Result->PeakMemory = State->Allocated;
  return Block;
}
void FDIDIAMONDAPI Free(void* Block) {
  if (!Block) return;
  State->Allocated -= State->Blocks.at(Block);
  State->Blocks.erase(Block);
  std::free(Block);
}
INT_PTR FDIDIAMONDAPI Open(char* Name, int, int) {
  int Fd = ::open(Name, O_RDONLY);
  if (Fd < 0) return -1;
  State->Handles.push_back(THandle{Fd, Name, nullptr, true});
  return static_cast<INT_PTR>(State->Handles.size() - 1);
}
// A handle the library should not be using is recorded and answered like a dead file.
THandle& HandleOf(INT_PTR H) {
  static THandle Dead;
  if (H <= 0 || static_cast<std::size_t>(H) >= State->Handles.size() || !State->Handles[H].Open) {
    State->Result->Misuse = true;
    Dead = THandle{};
    return Dead;
  }
  return State->Handles[H];
}
UINT FDIDIAMONDAPI Read(INT_PTR H, void* Buffer, UINT Count) {
  THandle& Handle = HandleOf(H);
  ssize_t Got = ::read(Handle.Fd, Buffer, Count);
  return Got < 0 ? static_cast<UINT>(-1) : static_cast<UINT>(Got);
}
UINT FDIDIAMONDAPI Write(INT_PTR H, void* Buffer, UINT Count) {
  THandle& Handle = HandleOf(H);
  if (!Handle.Output) return static_cast<UINT>(-1);
  if (State->Written + Count > State->Client->FailWritesAfter) return 0;
  State->Written += Count;
  Handle.Output->append(static_cast<const char*>(Buffer), Count);
  return Count;
}
int FDIDIAMONDAPI Close(INT_PTR H) {
  THandle& Handle = HandleOf(H);
  if (Handle.Fd >= 0) ::close(Handle.Fd);
  Handle.Open = false;
  return Handle.Output || Handle.Fd >= 0 ? 0 : -1;
}
long FDIDIAMONDAPI Seek(INT_PTR H, long Distance, int Type) {
  THandle& Handle = HandleOf(H);
  if (Handle.Fd < 0) return -1;
  return static_cast<long>(::lseek(Handle.Fd, Distance, Type == 0 ? SEEK_SET : Type == 1 ? SEEK_CUR : SEEK_END));
}

std::string Text(const char* S) { return S ? S : "(null)"; }
std::string Slashes(std::string Name) {
  for (char& C : Name)
    if (C == '\\') C = '/';
  return Name;
}

INT_PTR FDIDIAMONDAPI Notify(FDINOTIFICATIONTYPE Type, PFDINOTIFICATION N) {
  TExtraction& R = *State->Result;
  std::ostringstream Line;
  switch (Type) {
    case fdintCABINET_INFO:
      Line << "CABINET_INFO next=" << Text(N->psz1) << " disk=" << Text(N->psz2) << " set=" << N->setID
           << " index=" << N->iCabinet;
      R.Log.push_back(Line.str());
      return 0;
    case fdintPARTIAL_FILE:
      Line << "PARTIAL_FILE " << Text(N->psz1) << " first=" << Text(N->psz2) << " disk=" << Text(N->psz3);
      R.Log.push_back(Line.str());
      return 0;
    case fdintCOPY_FILE: {
      Line << "COPY_FILE " << Text(N->psz1) << " size=" << N->cb << " date=" << N->date << " time=" << N->time
           << " attribs=" << N->attribs;
      R.Log.push_back(Line.str());
      int Answer = State->Client->OnCopyFile ? State->Client->OnCopyFile(*N) : 1;
      if (Answer != 1) return Answer;
      std::string& Output = State->Pending[Slashes(N->psz1)];
      Output.clear();
      State->Handles.push_back(THandle{-1, Slashes(N->psz1), &Output, true});
      return static_cast<INT_PTR>(State->Handles.size() - 1);
    }
    case fdintCLOSE_FILE_INFO: {
      Line << "CLOSE_FILE_INFO " << Text(N->psz1) << " date=" << N->date << " time=" << N->time
           << " attribs=" << N->attribs << " execute=" << N->cb;
      R.Log.push_back(Line.str());
      THandle& Handle = HandleOf(N->hf);
      R.Files[Handle.Name] = *Handle.Output;
      Close(N->hf);
      return State->Client->OnCloseFile ? State->Client->OnCloseFile(*N) : 1;
    }
    case fdintNEXT_CABINET:
      Line << "NEXT_CABINET " << Text(N->psz1) << " disk=" << Text(N->psz2) << " error=" << N->fdie;
      R.Log.push_back(Line.str());
      return State->Client->OnNextCabinet ? State->Client->OnNextCabinet(*N) : 0;
    default:
      Line << "NOTIFICATION " << Type;
      R.Log.push_back(Line.str());
      return 0;
  }
}

}  // namespace

TExtraction Extract(const std::string& Folder, const std::string& Name, const TClient& Client) {
  TExtraction Result;
  TState Local;
  Local.Client = &Client;
  Local.Result = &Result;
  State = &Local;
  HFDI Context = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &Result.Error);
  if (Context) {
    std::string CabName = Name, CabPath = Folder;
    Result.Ok = FDICopy(Context, CabName.data(), CabPath.data(), 0, Notify, nullptr, nullptr);
    FDIDestroy(Context);
  }
  for (const THandle& Handle : Local.Handles) Result.OpenHandles += Handle.Open ? 1 : 0;
  Result.Leak = Local.Allocated != 0;
  State = nullptr;
  return Result;
}

bool IsCabinet(const std::string& Path, long Start, FDICABINETINFO& Info, ERF& Error) {
  TExtraction Result;
  TClient Client;
  TState Local;
  Local.Client = &Client;
  Local.Result = &Result;
  State = &Local;
  bool Answer = false;
  HFDI Context = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &Error);
  std::string Name = Path;
  INT_PTR Handle = Open(Name.data(), 0, 0);
  if (Context && Handle != -1) {
    Seek(Handle, Start, 0);
    Answer = FDIIsCabinet(Context, Handle, &Info);
  }
  if (Handle != -1) Close(Handle);
  if (Context) FDIDestroy(Context);
  State = nullptr;
  return Answer;
}


int RunCommand(const std::string& Command) {
  int Status = std::system(Command.c_str());
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

std::map<std::string, std::string> CabextractFiles(const std::filesystem::path& Cabinet) {
  TTempDir Out;
  RunCommand("cabextract -q -d '" + Out.Path().string() + "' '" + Cabinet.string() + "' >/dev/null 2>&1");
  std::map<std::string, std::string> Files;
  for (const auto& Entry : std::filesystem::recursive_directory_iterator(Out.Path()))
    if (Entry.is_regular_file())
      Files[std::filesystem::relative(Entry.path(), Out.Path()).generic_string()] = ReadFile(Entry.path());
  return Files;
}

}  // namespace fdi_test
