#include "system/RunFolderWin.h"

#include <sddl.h>

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <initializer_list>
#include <vector>

#include "system/LogWin.h"
#include "system/Messages.h"
#include "system/ResourceWin.h"
#include "system/SafeFilesWin.h"

namespace setup {

std::string FormatTexts(const std::string& Pattern, std::initializer_list<std::string> Arguments) {
  std::string Result;
  std::size_t From = 0;
  for (const std::string& Argument : Arguments) {
    const std::size_t At = Pattern.find("%s", From);
    if (At == std::string::npos) break;
    Result.append(Pattern, From, At - From).append(Argument);
    From = At + 2;
  }
  return Result.append(Pattern, From, std::string::npos);
}

namespace {

// A name no run has taken before, most likely; making the folder tells for sure.
std::wstring NewFolderName(unsigned Attempt) {
  LARGE_INTEGER Counter;
  QueryPerformanceCounter(&Counter);
  FILETIME Now;
  GetSystemTimeAsFileTime(&Now);
  unsigned long long Mixed = static_cast<unsigned long long>(Counter.QuadPart) * 0x9E3779B97F4A7C15ull ^
                             (static_cast<unsigned long long>(Now.dwHighDateTime) << 32 | Now.dwLowDateTime) ^
                             (static_cast<unsigned long long>(GetCurrentProcessId()) << 40) ^ Attempt;
  Mixed ^= Mixed >> 29;
  wchar_t Name[40];
  wsprintfW(Name, L"setup-%lx-%08lx", GetCurrentProcessId(), static_cast<unsigned long>(Mixed ^ (Mixed >> 32)));
  return Name;
}

bool SameBytes(HANDLE File, const void* Bytes, unsigned long Size) {
  std::vector<char> Read(Size);
  DWORD Got = 0, Extra = 0;
  char Probe = 0;
  return ReadFile(File, Read.data(), Size, &Got, nullptr) && Got == Size &&
         ReadFile(File, &Probe, 1, &Extra, nullptr) && Extra == 0 && std::memcmp(Read.data(), Bytes, Size) == 0;
}

// The process number in a run folder's name ("setup-<process>-<8 digits>", hexadecimal), or 0
// when the name is not one this program gives.
DWORD RunFolderProcess(const wchar_t* Name) {
  if (std::wcsncmp(Name, L"setup-", 6) != 0) return 0;
  auto Hex = [](const wchar_t*& At, int Most) {
    unsigned long Value = 0;
    int Count = 0;
    for (; Count < Most && std::iswxdigit(*At); ++Count, ++At)
      Value = Value * 16 + static_cast<unsigned long>(*At <= L'9' ? *At - L'0' : (*At | 0x20) - L'a' + 10);
    return Count == 0 ? -1L : static_cast<long long>(Value);
  };
  const wchar_t* At = Name + 6;
  const long long Process = Hex(At, 8);
  if (Process <= 0 || *At++ != L'-') return 0;
  const wchar_t* Tail = At;
  if (Hex(At, 8) < 0 || At - Tail != 8 || *At != L'\0') return 0;
  return static_cast<DWORD>(Process);
}

// False only when the process is surely gone: one that cannot be asked about (another user's)
// counts as running.
bool ProcessRunning(DWORD Process) {
  const HandleGuard Handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, Process));
  if (!Handle) return GetLastError() != ERROR_INVALID_PARAMETER;
  DWORD Code = 0;
  return !GetExitCodeProcess(Handle.Get(), &Code) || Code == STILL_ACTIVE;
}

// The temporary folder itself, to list and to make folders in. Its own path is the user's
// to choose and is followed as it is.
HandleGuard OpenTemp(const std::string& Temp, ACCESS_MASK Access) {
  return HandleGuard(CreateFileW(ToWide(Temp).c_str(), Access | FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace

std::wstring RunFolderRules(bool Elevated) {
  // Elevated, the owner's own implicit rights are cut to reading the rules ("OW"): where the
  // system makes the user, not the administrators, the owner of what an elevated program
  // makes, the user's unelevated programs could otherwise rewrite them.
  if (Elevated) return L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;RC;;;OW)";
  const std::wstring User = CurrentUserSid();
  if (User.empty()) return {};
  return L"D:P(A;OICI;FA;;;" + User + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
}

void RemoveAbandonedRunFolders(const std::string& Temp,
                               const std::function<void(HANDLE Folder, const std::string& Path)>& Recover) {
  const HandleGuard Parent = OpenTemp(Temp, 0);
  if (!Parent) return;
  std::vector<TFolderEntry> Entries;
  ListFolder(Parent.Get(), Entries);  // what could be read
  for (const TFolderEntry& Entry : Entries) {
    // A link or junction is not looked into; the folder's own handle tells for sure below.
    if (!(Entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) || (Entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    const DWORD Process = RunFolderProcess(Entry.Name.c_str());
    // This program's own number may be a killed run's, given out again; a folder that this
    // program holds itself is refused below as one that another run holds.
    if (Process == 0 || (Process != GetCurrentProcessId() && ProcessRunning(Process))) continue;
    const HandleGuard Abandoned = OpenOwnedFolder(Parent.Get(), Entry.Name);
    if (Abandoned && Recover) Recover(Abandoned.Get(), Temp + FromWide(Entry.Name) + "\\");
    if (Abandoned && DeleteHeldFolder(Abandoned.Get()) == ERROR_SUCCESS)
      LogLine("removed the folder of an earlier run: " + Temp + FromWide(Entry.Name) + "\\");
  }
}

void TRunFolder::Create(const std::string& Temp,
                        const std::function<void(HANDLE Folder, const std::string& Path)>& Recover) {
  Remove();
  TScopedLocal Descriptor;
  const std::wstring Rules = RunFolderRules(ProcessElevated());
  if (!Rules.empty() && !ConvertStringSecurityDescriptorToSecurityDescriptorW(Rules.c_str(), SDDL_REVISION_1,
                                                                              Descriptor.Receive(), nullptr))
    Descriptor.Reset();
  const HandleGuard Parent = OpenTemp(Temp, FILE_ADD_SUBDIRECTORY);
  DWORD Error = Parent ? ERROR_ALREADY_EXISTS : GetLastError();
  for (unsigned Attempt = 0; Attempt < 100 && Error == ERROR_ALREADY_EXISTS; ++Attempt) {
    const std::wstring Name = NewFolderName(Attempt);
    // Made and opened in one step, so that nothing can take its place in between; held
    // without delete sharing until Remove, so that nothing can take it later either.
    HandleGuard Folder = OpenInFolder(
        Parent.Get(), Name, DELETE | FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE, FILE_DIRECTORY_FILE, Error, Descriptor.Get());
    if (Folder) {
      FFolder = std::move(Folder);
      FPath = Temp + FromWide(Name) + "\\";
      // Held already, this folder is not taken for one left behind.
      RemoveAbandonedRunFolders(Temp, Recover);
      return;
    }
  }
  throw ERunFolder(FormatTexts(Msg::TempFolderNotCreated, {Temp, SystemErrorMessage(Error)}), Error);
}

std::string TRunFolder::WriteResource(const std::string& ResourceName, const std::string& Name) {
  const void* Bytes = nullptr;
  unsigned long Size = 0;
  if (!FindProgramResource(ResourceName, Bytes, Size)) throw EAbort();
  return WriteBytes(Name, Bytes, Size);
}

std::string TRunFolder::WriteBytes(const std::string& Name, const void* Bytes, unsigned long Size, bool DeleteOnClose) {
  const std::string FileName = FPath + Name;
  auto Fail = [&](DWORD Error) {
    throw ERunFolder(FormatTexts(Msg::TempFileNotWritten, {FileName, SystemErrorMessage(Error)}), Error);
  };
  if (!FFolder) Fail(ERROR_PATH_NOT_FOUND);
  Discard(Name);
  const std::wstring Wide = ToWide(Name);
  DWORD Error = ERROR_SUCCESS;
  {
    // A new file: a name that is already there, whatever it is, is never written through.
    const HandleGuard File =
        OpenInFolder(FFolder.Get(), Wide, GENERIC_WRITE | DELETE, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, Error);
    if (!File) Fail(Error);
    DWORD Written = 0;
    if (!WriteFile(File.Get(), Bytes, Size, &Written, nullptr) || Written != Size) {
      // A short write without an error code means the disk ran out of room.
      Error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_HANDLE_DISK_FULL;
      FILE_DISPOSITION_INFO Disposition{TRUE};
      SetFileInformationByHandle(File.Get(), FileDispositionInfo, &Disposition, sizeof Disposition);
      Fail(Error);
    }
  }
  // From here on the file can be read (and so loaded or run) but neither changed nor deleted;
  // what was written is checked only now, so nothing changed in between goes unnoticed.
  HandleGuard Held =
      OpenInFolder(FFolder.Get(), Wide, GENERIC_READ | (DeleteOnClose ? DELETE : 0), FILE_SHARE_READ, FILE_OPEN,
                   FILE_NON_DIRECTORY_FILE | (DeleteOnClose ? FILE_DELETE_ON_CLOSE : 0), Error);
  if (!Held) {
    DeleteInFolder(FFolder.Get(), Wide);
    Fail(Error);
  }
  // The list takes the handle over only once its entry exists: a list that cannot grow leaves
  // it with the guard here, which closes it.
  FFiles.emplace_back(Name, std::move(Held));
  if (!SameBytes(FFiles.back().Handle.Get(), Bytes, Size)) {
    Discard(Name);
    Fail(ERROR_FILE_INVALID);
  }
  return FileName;
}

HANDLE TRunFolder::CreateWritable(const std::string& Name, DWORD& Error) {
  Error = ERROR_PATH_NOT_FOUND;
  if (!FFolder) return nullptr;
  Discard(Name);
  TScopedLocal Descriptor;
  // The folder's rules are inherited; only the owner is set.
  if (ProcessElevated() &&
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BA", SDDL_REVISION_1, Descriptor.Receive(), nullptr))
    Descriptor.Reset();
  HandleGuard File = OpenInFolder(FFolder.Get(), ToWide(Name), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                  FILE_CREATE, FILE_NON_DIRECTORY_FILE, Error, Descriptor.Get());
  if (!File) return nullptr;
  FFiles.emplace_back(Name, std::move(File));
  return FFiles.back().Handle.Get();
}

HANDLE TRunFolder::FileHandle(const std::string& Name) const {
  for (const THeld& File : FFiles)
    if (File.Name == Name) return File.Handle.Get();
  return nullptr;
}

void TRunFolder::Discard(const std::string& Name) {
  for (auto It = FFiles.begin(); It != FFiles.end();) {
    if (It->Name == Name) {
      It = FFiles.erase(It);
      DeleteInFolder(FFolder.Get(), ToWide(Name));
    } else {
      ++It;
    }
  }
}

void TRunFolder::Remove() {
  if (!FFolder) {
    FPath.clear();
    return;
  }
  FFiles.clear();
  // Whatever is in the folder is this run's own: a run-before program may have left files.
  // The folder stays held throughout and goes through its own handle, so its name cannot
  // lead anywhere else meanwhile. A library just unloaded may still be on its way out when
  // the folder goes: a few more tries.
  DWORD Error = ERROR_SUCCESS;
  for (int Attempt = 0; Attempt < 40; ++Attempt) {
    if (Attempt) Sleep(25);
    Error = DeleteHeldFolder(FFolder.Get());
    if (Error != ERROR_DIR_NOT_EMPTY && Error != ERROR_SHARING_VIOLATION && Error != ERROR_ACCESS_DENIED) break;
  }
  FFolder.Reset();
  if (Error != ERROR_SUCCESS)
    LogLine("left in the temporary folder: " + FPath + " (" + SystemErrorMessage(Error) + ")");
  FPath.clear();
}

void TRunFolder::HandOver() {
  FFiles.clear();
  FFolder.Reset();
  FPath.clear();
}

}  // namespace setup
