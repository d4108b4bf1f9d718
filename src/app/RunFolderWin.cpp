#include "app/RunFolderWin.h"

#include <sddl.h>

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <initializer_list>
#include <vector>

#include "system/LogWin.h"
#include "system/Messages.h"
#include "system/ResourceWin.h"

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

// Owns memory from LocalAlloc (security descriptors and SID texts of the system).
// The current user's SID as text ("S-1-5-21-..."), empty when it cannot be read.
std::wstring CurrentUserSid() {
  HandleGuard Token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, Token.Receive())) return {};
  DWORD Size = 0;
  GetTokenInformation(Token.Get(), TokenUser, nullptr, 0, &Size);
  if (Size == 0) return {};
  std::vector<unsigned char> Buffer(Size);
  if (!GetTokenInformation(Token.Get(), TokenUser, Buffer.data(), Size, &Size)) return {};
  TScopedLocal Text;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(Buffer.data())->User.Sid,
                              reinterpret_cast<LPWSTR*>(Text.Receive())))
    return {};
  return static_cast<const wchar_t*>(Text.Get());
}

// A name no run has taken before, most likely; CreateDirectoryW tells for sure.
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

// Deletes the files directly inside Folder (which ends with a backslash), then the folder.
// ERROR_SUCCESS, or why the folder is still there.
DWORD DeleteFolder(const std::wstring& Folder) {
  WIN32_FIND_DATAW Found;
  if (const TScopedFind Search(FindFirstFileW((Folder + L"*").c_str(), &Found)); Search) {
    do {
      if (!(Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const std::wstring File = Folder + Found.cFileName;
        if (Found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(File.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(File.c_str());
      }
    } while (FindNextFileW(Search.Get(), &Found));
  }
  return RemoveDirectoryW(Folder.c_str()) ? ERROR_SUCCESS : GetLastError();
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

}  // namespace

void RemoveAbandonedRunFolders(const std::string& Temp) {
  const std::wstring Folder = ToWide(Temp);
  WIN32_FIND_DATAW Found;
  const TScopedFind Search(FindFirstFileW((Folder + L"setup-*").c_str(), &Found));
  if (!Search) return;
  do {
    if (!(Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    const DWORD Process = RunFolderProcess(Found.cFileName);
    if (Process == 0 || Process == GetCurrentProcessId() || ProcessRunning(Process)) continue;
    const std::wstring Abandoned = Folder + Found.cFileName + L"\\";
    if (DeleteFolder(Abandoned) == ERROR_SUCCESS) LogLine("removed the folder of an earlier run: " + FromWide(Abandoned));
  } while (FindNextFileW(Search.Get(), &Found));
}

void TRunFolder::Create(const std::string& Temp) {
  Remove();
  RemoveAbandonedRunFolders(Temp);
  // Full rights for the user who runs the program, SYSTEM and the administrators; nothing
  // inherited from the temporary folder, whose rights may be wider.
  TScopedLocal Descriptor;
  SECURITY_ATTRIBUTES Security = {sizeof(Security), nullptr, FALSE};
  const std::wstring User = CurrentUserSid();
  if (!User.empty()) {
    const std::wstring Rules = L"D:P(A;OICI;FA;;;" + User + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(Rules.c_str(), SDDL_REVISION_1, Descriptor.Receive(),
                                                             nullptr))
      Security.lpSecurityDescriptor = Descriptor.Get();
  }
  DWORD Error = ERROR_ALREADY_EXISTS;
  for (unsigned Attempt = 0; Attempt < 100 && Error == ERROR_ALREADY_EXISTS; ++Attempt) {
    const std::wstring Name = ToWide(Temp) + NewFolderName(Attempt);
    if (CreateDirectoryW(Name.c_str(), Security.lpSecurityDescriptor ? &Security : nullptr)) {
      FPath = FromWide(Name) + "\\";
      return;
    }
    Error = GetLastError();
  }
  throw ERunFolder(FormatTexts(Msg::TempFolderNotCreated, {Temp, SystemErrorMessage(Error)}), Error);
}

std::string TRunFolder::WriteResource(const std::string& ResourceName, const std::string& Name) {
  const void* Bytes = nullptr;
  unsigned long Size = 0;
  if (!FindProgramResource(ResourceName, Bytes, Size)) throw EAbort();
  const std::string FileName = FPath + Name;
  const std::wstring Wide = ToWide(FileName);
  auto Fail = [&](DWORD Error) {
    throw ERunFolder(FormatTexts(Msg::TempFileNotWritten, {FileName, SystemErrorMessage(Error)}), Error);
  };
  if (FPath.empty()) Fail(ERROR_PATH_NOT_FOUND);
  Discard(Name);
  {
    HandleGuard File(CreateFileW(Wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!File.Valid()) Fail(GetLastError());
    DWORD Written = 0;
    if (!WriteFile(File.Get(), Bytes, Size, &Written, nullptr) || Written != Size) {
      // A short write without an error code means the disk ran out of room.
      const DWORD Error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_HANDLE_DISK_FULL;
      File.Reset();
      DeleteFileW(Wide.c_str());
      Fail(Error);
    }
  }
  // From here on the file can be read (and so loaded or run) but neither changed nor deleted;
  // what was written is checked only now, so nothing changed in between goes unnoticed.
  HandleGuard Held(CreateFileW(Wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!Held) {
    const DWORD Error = GetLastError();
    DeleteFileW(Wide.c_str());
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

void TRunFolder::Discard(const std::string& Name) {
  for (auto It = FFiles.begin(); It != FFiles.end();) {
    if (It->Name == Name) {
      It = FFiles.erase(It);
      DeleteFileW(ToWide(FPath + Name).c_str());
    } else {
      ++It;
    }
  }
}

void TRunFolder::Remove() {
  if (FPath.empty()) return;
  FFiles.clear();
  // Whatever is in the folder is this run's own: a run-before program may have left files.
  // A library just unloaded may still be on its way out when the folder goes: a few more tries.
  const std::wstring Folder = ToWide(FPath);
  DWORD Error = ERROR_SUCCESS;
  for (int Attempt = 0; Attempt < 40; ++Attempt) {
    if (Attempt) Sleep(25);
    Error = DeleteFolder(Folder);
    if (Error != ERROR_DIR_NOT_EMPTY && Error != ERROR_SHARING_VIOLATION && Error != ERROR_ACCESS_DENIED) break;
  }
  if (Error != ERROR_SUCCESS)
    LogLine("left in the temporary folder: " + FPath + " (" + SystemErrorMessage(Error) + ")");
  FPath.clear();
}

std::wstring ProductMutexName(const std::string& ProductName) {
  std::wstring Key = ToWide(ProductName);
  if (!Key.empty()) CharUpperBuffW(Key.data(), static_cast<DWORD>(Key.size()));
  // FNV-1a over the UTF-16 code units: a mutex name may not hold a backslash, and a product
  // name may hold anything.
  unsigned long long Hash = 0xCBF29CE484222325ull;
  for (wchar_t Unit : Key) {
    Hash ^= static_cast<unsigned short>(Unit);
    Hash *= 0x100000001B3ull;
  }
  wchar_t Name[64];
  wsprintfW(Name, L"Global\\SetupEngine.Product.%08lX%08lX", static_cast<unsigned long>(Hash >> 32),
            static_cast<unsigned long>(Hash));
  return Name;
}

bool ClaimProductMutex(const std::string& ProductName, HandleGuard& Held) {
  const std::wstring Name = ProductMutexName(ProductName);
  HANDLE Mutex = CreateMutexW(nullptr, FALSE, Name.c_str());
  const DWORD Error = GetLastError();
  if (!Mutex) {
    // Another user's copy made it: its rights keep us out, and it is running all the same.
    if (Error == ERROR_ACCESS_DENIED) return false;
    // A system without the global name space: the session's own is the next best.
    Mutex = CreateMutexW(nullptr, FALSE, (L"Local\\" + Name.substr(Name.find(L'\\') + 1)).c_str());
    const DWORD LocalError = GetLastError();
    if (!Mutex) return LocalError != ERROR_ACCESS_DENIED;
    Held.Reset(Mutex);
    return LocalError != ERROR_ALREADY_EXISTS;
  }
  Held.Reset(Mutex);
  return Error != ERROR_ALREADY_EXISTS;
}

}  // namespace setup
