// The worker's calls into the system: files, processes, COM and the shell.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "cabinet/reader/StreamFileHandlerWin.h"
#include "system/Paths.h"
#include "system/ProcessWin.h"
#include "system/RunFolderWin.h"
#include "system/SafeFilesWin.h"
#include "system/ScopedWin.h"
#include "system/ServerRegistrationWin.h"
#include "system/ShellLinkWin.h"
#include "system/SystemWin.h"
#include "system/Text.h"
#include "system/VersionWin.h"
#include "system/WideWin.h"
#include "uninstaller/UninstallerRun.h"
#include "untThrd.h"

namespace setup {
namespace {

// The system's list of what to do to files at its next start: pairs of a path and its new
// name, each path written "\??\C:\...", an empty new name for a deletion.
constexpr wchar_t cSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t cPendingRenames[] = L"PendingFileRenameOperations";

std::vector<std::string> CancelPendingDeletes(const std::vector<std::string>& Paths) {
  std::vector<std::string> Cancelled;
  TScopedKey Key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, cSessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, Key.Receive()) !=
      ERROR_SUCCESS)
    return Cancelled;
  DWORD Type = 0, Size = 0;
  if (RegQueryValueExW(Key.Get(), cPendingRenames, nullptr, &Type, nullptr, &Size) != ERROR_SUCCESS ||
      Type != REG_MULTI_SZ || Size == 0)
    return Cancelled;
  std::wstring Data(Size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(Key.Get(), cPendingRenames, nullptr, &Type, reinterpret_cast<BYTE*>(Data.data()), &Size) !=
      ERROR_SUCCESS)
    return Cancelled;
  Data.resize(Size / sizeof(wchar_t));
  // Read string by string: a deletion's new name is an empty string, so an empty string does
  // not end the list here; a last string without its partner is the list's own end.
  std::vector<std::wstring> Strings;
  for (std::size_t At = 0; At < Data.size();) {
    const std::size_t End = std::min(Data.find(L'\0', At), Data.size());
    Strings.push_back(Data.substr(At, End - At));
    At = End + 1;
  }
  std::wstring Kept;
  bool Changed = false;
  for (std::size_t I = 0; I + 1 < Strings.size(); I += 2) {
    const std::wstring& Source = Strings[I];
    const std::wstring Plain = Source.compare(0, 4, L"\\??\\") == 0 ? Source.substr(4) : Source;
    std::string Match;
    if (Strings[I + 1].empty())
      for (const std::string& Path : Paths)
        if (CompareStringOrdinal(Plain.c_str(), -1, ToWide(Path).c_str(), -1, TRUE) == CSTR_EQUAL) Match = Path;
    if (Source.empty() || !Match.empty()) {
      if (!Match.empty()) Cancelled.push_back(Match);
      Changed = true;
      continue;
    }
    Kept.append(Source).append(1, L'\0').append(Strings[I + 1]).append(1, L'\0');
  }
  if (!Changed) return Cancelled;
  if (Kept.empty()) {
    RegDeleteValueW(Key.Get(), cPendingRenames);
  } else {
    Kept.push_back(L'\0');
    RegSetValueExW(Key.Get(), cPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(Kept.data()),
                   static_cast<DWORD>(Kept.size() * sizeof(wchar_t)));
  }
  return Cancelled;
}

class TWindowsInstallSystem : public IInstallSystem {
 public:
  explicit TWindowsInstallSystem(const std::string& RegistrationProgram)
      : FRegistrationProgram(RegistrationProgram.empty() ? ProgramPath() : RegistrationProgram) {}

  TCabinetFileHandler& FileHandler() override { return FStreams; }

  bool FileExists(const std::string& Path) override { return IsCarriedCabinet(Path) || setup::FileExists(Path); }

  std::string FileVersion(const std::string& Path) override { return GetFileVersion(Path); }

  void MakeDirs(const std::string& Dir) override { setup::MakeDirs(Dir); }

  std::string CheckWritable(const std::string& Path) override {
    try {
      setup::MakeDirs(ExtractFilePath(Path));
    } catch (const Exception&) {
      // The open below reports what is wrong with the folder.
    }
    const std::wstring Wide = ToWidePath(Path);
    // An existing list (the earlier installation's, which its uninstaller still reads) is
    // opened without changing it; a new one is created and goes away again on closing.
    HandleGuard File(CreateFileW(Wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (File.Valid()) return {};
    DWORD Error = GetLastError();
    if (Error == ERROR_FILE_NOT_FOUND) {
      File.Reset(CreateFileW(Wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
      if (File.Valid()) return {};
      Error = GetLastError();
    }
    return SystemErrorMessage(Error);
  }

  int ProbeTarget(const std::string& Path) override {
    // Asking for no sharing meets every other open of the file, as writing over it would.
    HandleGuard File(CreateFileW(ToWidePath(Path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (File.Valid()) return 0;
    const DWORD Error = GetLastError();
    return Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND ? 0 : static_cast<int>(Error);
  }

  int ReplaceTarget(const std::string& Part, const std::string& Target) override {
    const std::wstring WideTarget = ToWidePath(Target);
    // A read-only target cannot be replaced; the cabinet's attributes are applied afterwards.
    const DWORD Old = GetFileAttributesW(WideTarget.c_str());
    if (Old != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(WideTarget.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExW(ToWidePath(Part).c_str(), WideTarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return 0;
    const DWORD Error = GetLastError();
    if (Old != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(WideTarget.c_str(), Old);
    return static_cast<int>(Error);
  }

  void StampFile(std::intptr_t File, const std::string&, std::uint16_t Date, std::uint16_t Time) override {
    // The cabinet keeps local time; it is stamped unchanged, as the packager saw it.
    FILETIME Stamp;
    if (DosDateTimeToFileTime(Date, Time, &Stamp))
      SetFileTime(reinterpret_cast<HANDLE>(File), nullptr, nullptr, &Stamp);
  }

  void SetAttributes(const std::string& Path, unsigned Attributes) override {
    SetFileAttributesW(ToWidePath(Path).c_str(), Attributes);
  }

  void RemoveFile(const std::string& Path) override { DeleteFileW(ToWidePath(Path).c_str()); }

  bool CopyFileTo(const std::string& From, const std::string& To) override {
    return CopyFileW(ToWidePath(From).c_str(), ToWidePath(To).c_str(), FALSE) != 0;
  }

  std::string ErrorText(int Code) override { return SystemErrorMessage(static_cast<DWORD>(Code)); }

  std::uint32_t RunProgram(const std::string& CommandLine) override {
    const ProcessHandle Process = setup::RunProgram(CommandLine, "", true, SW_SHOWDEFAULT);
    DWORD Status = 0;
    GetExitCodeProcess(Process.Get(), &Status);
    return Status;
  }

  void OpenDocument(const std::string& Path) override {
    ShellExecuteW(nullptr, L"open", ToWide(Path).c_str(), nullptr, ToWide(ExtractFilePath(Path)).c_str(), SW_SHOW);
  }

  std::uint32_t RegisterDllServer(const std::string& Path) override {
    // The server's code runs in a child run of this program, so that a crash in it cannot end
    // the installation.
    return RegisterDllServerInChild(FRegistrationProgram, Path);
  }

  void RegisterExeServer(const std::string& Path) override { setup::RegisterExeServer(Path); }

  void CreateShellLink(const std::string& Target, const std::string& Arguments, const std::string& LinkFile) override {
    setup::CreateShellLink(Target, Arguments, LinkFile, "");
  }

  std::vector<std::string> CancelDeletesAtRestart(const std::vector<std::string>& Paths) override {
    return CancelPendingDeletes(Paths);
  }

  std::intptr_t HoldFile(const std::string& Path) override {
    // Read sharing only: the cabinet library's own opens still work, writers and deleters
    // (and a rename or replacement of the file) are refused while it is held. A cabinet in the
    // program's own file is held as the library reads it: as a window of the program.
    int Err = 0;
    return FStreams.Open(Path, TStreamCabinetFileHandler::cHoldForReading, 0, Err, nullptr);
  }

  unsigned ReadHeldFile(std::intptr_t File, void* Buffer, unsigned Count) override {
    int Err = 0;
    return FStreams.Read(File, Buffer, Count, Err);
  }

  void ReleaseFile(std::intptr_t File) override {
    int Err = 0;
    FStreams.Close(File, Err);
  }

  bool VolumeSpace(const std::string& Path, std::string& Volume, std::uint64_t& Free) override {
    // Files go to drive paths ("C:\..."); the drive's root names the volume.
    ULARGE_INTEGER Available;
    if (Path.size() < 3 || Path[1] != ':' || Path[2] != '\\' ||
        !GetDiskFreeSpaceExW(ToWide(Path.substr(0, 3)).c_str(), &Available, nullptr, nullptr))
      return false;
    Volume = UpperAscii(Path.substr(0, 3));
    Free = Available.QuadPart;
    return true;
  }

  std::int64_t FileSize(const std::string& Path) override {
    WIN32_FILE_ATTRIBUTE_DATA Data;
    if (!GetFileAttributesExW(ToWidePath(Path).c_str(), GetFileExInfoStandard, &Data) ||
        (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return -1;
    return (static_cast<std::int64_t>(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow;
  }

  bool UninstallerWorksOn(const std::string& ListFile) override {
    // The uninstaller holds this mutex from before its question to its end. The lists asked
    // about are full resolved paths, as setup wrote them into the uninstall entries.
    HandleGuard Mutex(OpenMutexW(SYNCHRONIZE, FALSE, ToWide(CanonicalRemovalMutexName(ListFile)).c_str()));
    return Mutex.Valid() || GetLastError() == ERROR_ACCESS_DENIED;
  }

  bool FolderExists(const std::string& Path) override {
    const DWORD Attributes = GetFileAttributesW(ToWidePath(Path).c_str());
    return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  // A link to a folder goes as a link; its target is not looked into.
  bool RemoveEmptyFolder(const std::string& Path) override {
    return RemoveDirectoryW(ToWidePath(Path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
  }

  int RenameFile(const std::string& From, const std::string& To) override {
    return MoveFileExW(ToWidePath(From).c_str(), ToWidePath(To).c_str(), MOVEFILE_WRITE_THROUGH)
               ? 0
               : static_cast<int>(GetLastError());
  }

  int LinkFile(const std::string& From, const std::string& To) override {
    return CreateHardLinkW(ToWidePath(To).c_str(), ToWidePath(From).c_str(), nullptr) ? 0
                                                                                     : static_cast<int>(GetLastError());
  }

  void UnregisterServer(const std::string& Path, bool Exe) override {
    if (Exe)
      setup::RegisterExeServer(Path, true);
    else
      RegisterDllServerInChild(FRegistrationProgram, Path, true);
  }

 private:
  TStreamCabinetFileHandler FStreams;
  std::string FRegistrationProgram;
};

}  // namespace

std::unique_ptr<IInstallSystem> CreateWindowsInstallSystem(const std::string& RegistrationProgram) {
  return std::make_unique<TWindowsInstallSystem>(RegistrationProgram);
}

std::function<void(const std::string& Bytes, bool Durable)> JournalFileStore(void* File, const std::string& Path) {
  auto Store = [File, Path](const std::string& Bytes, bool Durable) {
    DWORD Written = 0;
    if ((!Bytes.empty() && (!WriteFile(File, Bytes.data(), static_cast<DWORD>(Bytes.size()), &Written, nullptr) ||
                            Written != Bytes.size())) ||
        (Durable && !FlushFileBuffers(File))) {
      const DWORD Error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_HANDLE_DISK_FULL;
      throw Exception(FormatTexts(Msg::TempFileNotWritten, {Path, SystemErrorMessage(Error)}));
    }
  };
  Store(cJournalHeader, false);
  return Store;
}

bool RecoverInterruptedRun(void* Folder, const std::string& Path, TRunFolder& Own, IInstallHost& Host,
                           IRegistry& Registry, std::vector<std::string>& Left) {
  DWORD Error = ERROR_SUCCESS;
  const HandleGuard File = OpenInFolder(Folder, ToWide(cJournalName), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ,
                                        FILE_OPEN, FILE_NON_DIRECTORY_FILE, Error);
  if (!File) return false;
  // Where the system gives an elevated run's files to the Administrators, the user's other
  // programs cannot make one like it; where it gives them to the user, nothing tells them apart.
  const HANDLE Probe = Own.CreateWritable("OWNER", Error);
  const bool Trusted = OwnedByUserOrSystem(File.Get(), true) || (Probe && SameOwner(File.Get(), Probe));
  Own.Discard("OWNER");
  if (!Trusted) {
    Host.Log("journal of an earlier run not followed (anybody could have written it): " + Path + cJournalName);
    return false;
  }
  std::string Bytes;
  char Buffer[16384];
  DWORD Read = 0;
  while (ReadFile(File.Get(), Buffer, sizeof Buffer, &Read, nullptr) && Read != 0) Bytes.append(Buffer, Read);
  bool Committed = false;
  const std::vector<TChange> Changes = ReadJournal(Bytes, Committed);
  if (Changes.empty()) return false;
  const std::unique_ptr<IInstallSystem> System = CreateWindowsInstallSystem();
  Host.Log("an earlier run " + std::string(Committed ? "was kept: its backups deleted" : "was interrupted: undone") +
           " (" + Path + ")");
  if (Committed) {
    CommitChanges(Changes, *System);
    return false;
  }
  const std::vector<std::string> NotBack = UndoChanges(Changes, *System, Registry, Host);
  Left.insert(Left.end(), NotBack.begin(), NotBack.end());
  return true;
}

TExecutor::TExecutor(TInstallInfo& Info, IInstallHost& Host, IRegistry& Registry,
                     const TCabinetLibraryFunctions& Library, const std::string& RegistrationProgram)
    : Info(Info),
      Arguments(ProgramArguments()),
      FHost(Host),
      FRegistry(Registry),
      FOwnedSystem(CreateWindowsInstallSystem(RegistrationProgram)),
      FSystem(*FOwnedSystem),
      FTracked(FSystem, FJournal) {
  Connect(Library);
}

}  // namespace setup
