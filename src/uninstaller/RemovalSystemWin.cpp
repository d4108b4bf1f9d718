#include "RemovalSystemWin.h"

#include <windows.h>
#include <shlobj.h>

#include "system/Paths.h"
#include "system/ProcessWin.h"
#include "system/SafeFilesWin.h"
#include "system/SystemLibraryWin.h"
#include "system/SystemWin.h"
#include "system/WideWin.h"
#include "UninstallerRun.h"

namespace setup {
namespace {

// A server or a removal command that never ends must not hold the uninstaller forever.
constexpr DWORD cServerWaitMs = 120000;

bool RunAndWait(const std::wstring& Application, std::wstring CommandLine, const std::wstring& Directory,
                int ShowCommand) {
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  Startup.dwFlags = STARTF_USESHOWWINDOW;
  Startup.wShowWindow = static_cast<WORD>(ShowCommand);
  PROCESS_INFORMATION Process{};
  if (!CreateProcessW(Application.empty() ? nullptr : Application.c_str(), CommandLine.data(), nullptr, nullptr,
                      FALSE, NORMAL_PRIORITY_CLASS, nullptr, Directory.empty() ? nullptr : Directory.c_str(),
                      &Startup, &Process))
    return false;
  HandleGuard ProcessHandle(Process.hProcess), ThreadHandle(Process.hThread);
  WaitForSingleObject(Process.hProcess, cServerWaitMs);
  return true;
}

std::string ShellFolder(int Folder) {
  wchar_t Path[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, Folder, nullptr, SHGFP_TYPE_CURRENT, Path) != S_OK) return {};
  return FromWide(Path);
}

}  // namespace

bool RemovalSystemWin::FileExists(const std::string& Path) { return setup::FileExists(Path); }

bool RemovalSystemWin::DirectoryExists(const std::string& Path) { return setup::DirectoryExists(Path); }

bool RemovalSystemWin::IsLink(const std::string& Path) {
  const DWORD Attributes = GetFileAttributesW(ToWide(Path).c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

namespace {

// Deletions go through the folder that holds the item, opened from the drive's root one name
// at a time: a link or junction put in place of a folder on the way after the plan was made
// (whoever may write there can) leads the deletion nowhere. The error of the deletion.
DWORD DeleteThroughParent(const std::string& Path, bool EmptyFolder) {
  const std::string Item = WithoutBackslash(Path);
  const std::size_t Slash = Item.rfind('\\');
  if (Slash == std::string::npos || Slash + 1 == Item.size()) return ERROR_BAD_PATHNAME;
  DWORD Error = ERROR_SUCCESS;
  const HandleGuard Parent = OpenFolderPath(ToWide(Item.substr(0, Slash + 1)), 0, Error);
  if (!Parent) return Error;
  // Installed files often carry the read-only attribute of the cabinet they came from: it goes
  // with them, and stays on what stays.
  return DeleteInFolder(Parent.Get(), ToWide(Item.substr(Slash + 1)), EmptyFolder);
}

}  // namespace

IRemovalSystem::DeleteOutcome RemovalSystemWin::RemoveFile(const std::string& Path) {
  switch (DeleteThroughParent(Path, false)) {
    case ERROR_SUCCESS: return DeleteOutcome::Deleted;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return DeleteOutcome::Missing;
    // A running program refuses deletion with "access denied", an open file with a sharing
    // violation: both go at the next restart.
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_ACCESS_DENIED: return DeleteOutcome::Busy;
    default: return DeleteOutcome::Failed;
  }
}

bool RemovalSystemWin::RemoveEmptyFolder(const std::string& Path) {
  return DeleteThroughParent(Path, true) == ERROR_SUCCESS;
}

bool RemovalSystemWin::ScheduleDeleteAtRestart(const std::string& Path) {
  return MoveFileExW(ToWide(Path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

std::vector<IRemovalSystem::Entry> RemovalSystemWin::ListDirectory(const std::string& Dir) {
  std::vector<Entry> Entries;
  WIN32_FIND_DATAW Found;
  const TScopedFind Search(FindFirstFileW(ToWide(WithBackslash(Dir) + "*").c_str(), &Found));
  if (!Search) return Entries;
  do {
    const std::wstring Name = Found.cFileName;
    if (Name == L"." || Name == L"..") continue;
    Entries.push_back({FromWide(Name), (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       (Found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  } while (FindNextFileW(Search.Get(), &Found));
  return Entries;
}

bool RemovalSystemWin::RunCommand(const std::string& CommandLine) {
  try {
    RunProgram(CommandLine, "", true, ShowCommand);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void RemovalSystemWin::UnregisterServer(const std::string& Path, bool IsProgram) {
  if (IsProgram) {
    // The server sees its path unquoted, as servers expect; the application name keeps the
    // system from guessing at a path with blanks.
    RunAndWait(ToWide(Path), ToWide(Path + " /UnregServer"), ToWide(ExtractFilePath(Path)), ShowCommand);
  } else if (!UnregisterHelper.empty()) {
    RunAndWait(ToWide(UnregisterHelper),
               ToWide("\"" + UnregisterHelper + "\" \"" + std::string(cUnregisterLibrarySwitch) + Path + "\""), L"",
               SW_HIDE);
  } else {
    UnregisterLibraryHere(Path);
  }
}

std::string RemovalSystemWin::LongPath(const std::string& Path) {
  // GetLongPathNameW answers only for a path that exists: the longest part that does is made
  // long, the rest (which names nothing yet) is kept as it is.
  std::size_t End = Path.size();
  while (End != std::string::npos && End > 2) {  // a drive letter has no short name
    const std::wstring Head = ToWide(Path.substr(0, End));
    const DWORD Size = GetLongPathNameW(Head.c_str(), nullptr, 0);
    if (Size != 0) {
      std::wstring Long(Size, L'\0');
      const DWORD Length = GetLongPathNameW(Head.c_str(), Long.data(), Size);
      if (Length != 0 && Length < Size) {
        Long.resize(Length);
        return FromWide(Long) + Path.substr(End);
      }
    }
    End = Path.find_last_of('\\', End - 1);
  }
  return Path;
}

std::vector<std::string> SystemFolderPaths() {
  std::vector<std::string> Folders{WithoutBackslash(GetTempDir())};
  for (int Folder : {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAMS,
                     CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU, CSIDL_DESKTOPDIRECTORY,
                     CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_PROFILE, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA,
                     CSIDL_COMMON_APPDATA, CSIDL_STARTUP, CSIDL_COMMON_STARTUP})
    if (std::string Path = ShellFolder(Folder); !Path.empty()) Folders.push_back(std::move(Path));
  return Folders;
}

std::vector<std::string> SystemTreePaths() {
  std::vector<std::string> Folders;
  if (std::string Windows = ShellFolder(CSIDL_WINDOWS); !Windows.empty()) Folders.push_back(std::move(Windows));
  return Folders;
}

std::vector<std::string> ProgramsFolderPaths() {
  std::vector<std::string> Folders;
  for (int Folder : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS})
    if (std::string Path = ShellFolder(Folder); !Path.empty()) Folders.push_back(std::move(Path));
  return Folders;
}

void UnregisterLibraryHere(const std::string& Path) {
  // A server finds the libraries installed beside it, none from the current folder.
  const TScopedLibrary Library(LoadLibraryExW(ToWide(Path).c_str(), nullptr, ServerLibraryFlags()));
  if (!Library) return;
  using UnregisterFunction = HRESULT(STDAPICALLTYPE*)();
  const auto Unregister = reinterpret_cast<UnregisterFunction>(
      reinterpret_cast<void*>(GetProcAddress(Library.Get(), "DllUnregisterServer")));
  if (Unregister) Unregister();  // the result says nothing the removal could act on
}

}  // namespace setup
