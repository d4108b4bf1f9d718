#include <windows.h>
#include <shellapi.h>

#include "cabinet/reader/StreamFileHandlerWin.h"
#include "model/Discovery.h"
#include "system/Bde.h"
#include "system/CommandLine.h"
#include "system/Paths.h"
#include "system/ProcessWin.h"
#include "system/ServerRegistrationWin.h"
#include "system/ShellLinkWin.h"
#include "system/SystemWin.h"
#include "system/Text.h"
#include "system/VersionWin.h"
#include "system/WideWin.h"
#include "untThrd.h"

namespace setup {
namespace {

constexpr int kOpenCreateBinary = 0x8100;  // _O_CREAT | _O_BINARY
constexpr int kSharingViolation = 32;
constexpr int kLockViolation = 33;

// Entry names are the decimal item numbers of FILE records.
bool ParseEntryNumber(const std::string& Name, std::int32_t& Number) {
  if (Name.empty() || Name.size() > 11) return false;
  std::size_t I = Name[0] == '-' ? 1 : 0;
  if (I == Name.size()) return false;
  std::int64_t Value = 0;
  for (; I < Name.size(); ++I) {
    if (Name[I] < '0' || Name[I] > '9') return false;
    Value = Value * 10 + (Name[I] - '0');
  }
  if (Name[0] == '-') Value = -Value;
  if (Value < INT32_MIN || Value > INT32_MAX) return false;
  Number = static_cast<std::int32_t>(Value);
  return true;
}

// Where a file is copied in the 1C installations the user kept selected.
std::vector<std::string> CopyTargets1C(const TInstallInfo& Info, const TFileInfo& File) {
  std::vector<std::string> Targets;
  auto AddFor = [&](const TOwnedList<T1SInfo>& Products) {
    for (const auto& Product : Products)
      if (Product->Selected) Targets.push_back(NormalizeDir(Product->Path) + ExtractFileName(File.FullPath));
  };
  if (File.CopyTo1C75) AddFor(Info.Products75);
  if (File.CopyTo1C77) AddFor(Info.Products77);
  if (File.CopyTo1C8) AddFor(Info.Products8);
  return Targets;
}

}  // namespace

TExecutor::TExecutor(TInstallInfo& Info, IInstallHost& Host, IRegistry& Registry, const TCabinetLibraryFunctions& Library)
    : Info(Info), Arguments(ProgramArguments()), FHost(Host), FRegistry(Registry) {
  StreamHandler = std::make_unique<TStreamCabinetFileHandler>();
  Reader = std::make_unique<TCabinetReader>(Library);
  Reader->FileHandler = StreamHandler.get();
  Reader->OnCopyFile = [this](TCabinetReader&, const std::string& FileName, std::int32_t, std::uint16_t, std::uint16_t,
                              std::uint16_t, TFileCopyAction& Action, std::intptr_t& Handle) {
    HandleCopyFile(FileName, Action, Handle);
  };
  Reader->OnCloseCopiedFile = [this](TCabinetReader&, const std::string& FileName, std::intptr_t Handle,
                                     std::uint16_t Date, std::uint16_t Time, std::uint16_t Attribs, int, bool,
                                     bool& Abort) { HandleCloseCopiedFile(FileName, Handle, Date, Time, Attribs, Abort); };
  Reader->OnNextCabinet = [this](TCabinetReader&, const std::string& Name, const std::string&, std::string& Path,
                                 int ErrorIndication, bool& Abort) { HandleNextCabinet(Name, Path, ErrorIndication, Abort); };
  Reader->OnCabinetInfo = [this](TCabinetReader&, const std::string& Name, const std::string&, const std::string&, int,
                                 int, bool&) { HandleCabinetInfo(Name); };
}

TExecutor::~TExecutor() {
  // The reader releases the library context, which may still close files of the handler.
  Reader.reset();
  StreamHandler.reset();
}

void TExecutor::SetCaption(const std::string& Text) {
  FHost.SetCaption(Text);
  FHost.ProcessMessages();
}

std::string TExecutor::ProgramGroupFolder() const { return Info.Environment.ProgramsDir + Info.ProgramGroup; }

bool TExecutor::Unattended() const { return UpperAscii(GetSwitchValue(Arguments, "/AUTO=", "OFF")) == "ON"; }

void TExecutor::Execute() {
  try {
    Run();
  } catch (const std::exception& Error) {
    Succeeded = false;
    FHost.ShowMessage(Msg::ApplicationTitle, std::string(Msg::ErrorPrefix) + Error.what() + "!",
                      mbOk | mbIconError);
  }
}

void TExecutor::Run() {
  PreparePaths();
  if (!Cancelled) RunExternalPrograms();
  if (Info.UnInstall) {
    SetCaption(Msg::RemovingPrevious);
    UnInstall.RemovePrevious(FRegistry);
  }
  CreateDirectories();
  if (Info.UnInstall) CreateUninstallRecord();
  ExtractAll();
  if (!Cancelled) RegisterServers();
  if (!Cancelled) Register1CConfigurations();
  if (!Cancelled) CreateShortcuts();
  CopyTo1CProducts();
  if (!Cancelled) RunInstalledPrograms();
  if (!Cancelled) DeleteTemporaryFiles();
  WriteBdePaths();
  if (!Cancelled) Succeeded = true;
}

void TExecutor::PreparePaths() {
  UnInstall.ListFileName = Info.ExpandPath(Info.GroupUnInstallPath, Info.UnInstallInfo.ListFileName);
  UnInstall.ProductName = Info.UnInstallInfo.ProductName;
  UnInstall.ProductID = Info.UnInstallInfo.ProductID;
  for (auto& Exe : Info.ExePaths) Exe->CommandLine = Info.ExpandPath(8, Exe->CommandLine);
  const std::string GroupFolder = NormalizeDir(ProgramGroupFolder());
  for (auto& File : Info.Files) {
    File->FullPath = Info.ExpandPath(File->Group ? File->Group->FolderKind : 0, File->Path);
    if (File->MakeShortcut) File->Shortcut = GroupFolder + File->Shortcut;
  }
  for (auto& Dir : Info.Dirs) {
    Dir->FullPath = Info.ExpandPath(Dir->Group ? Dir->Group->FolderKind : 0, Dir->Path);
    if (Dir->MakeShortcut) Dir->Shortcut = GroupFolder + Dir->Shortcut;
  }
}

void TExecutor::RunExternalPrograms() {
  SetCaption(Msg::RunningPrograms);
  for (const auto& Exe : Info.ExePaths) {
    try {
      RunProgram(Exe->CommandLine, "", true, SW_SHOWDEFAULT);
    } catch (const std::exception&) {
      // One program that cannot run must not stop the installation.
    }
    FHost.ProcessMessages();
  }
}

void TExecutor::CreateDirectories() {
  SetCaption(Msg::CreatingDirectories);
  MakeDirs(Info.Environment.BdeDir);
  MakeDirs(Info.InstallDir);
  MakeDirs(ProgramGroupFolder());
  for (const auto& Dir : Info.Dirs)
    if (TakesPart(Dir->Group)) MakeDirs(Dir->FullPath);
}

void TExecutor::CreateUninstallRecord() {
  SetCaption(Msg::CreatingUninstall);
  auto& Items = UnInstall.Items;
  for (const auto& File : Info.Files) {
    if (!TakesPart(File->Group)) continue;
    Items.Add(std::make_unique<TUnInstallFile>(File->FullPath, File->SharedFile,
                                               (File->RegisterDll || File->RegisterExe) ? 1 : 0,
                                               File->RunOnUninstall ? File->UninstallRunParams : std::string()));
    // Its copies into the 1C installations are this installation's too, and go like it.
    for (const auto& Copy : CopyTargets1C(Info, *File))
      Items.Add(std::make_unique<TUnInstallFile>(Copy, File->SharedFile, 0, std::string()));
    if (File->MakeShortcut)
      Items.Add(std::make_unique<TUnInstallFile>(File->Shortcut + ".lnk", File->SharedFile, 0, std::string()));
  }
  for (const auto& Dir : Info.Dirs) {
    if (!TakesPart(Dir->Group)) continue;
    Items.Add(std::make_unique<TUnInstallDir>(Dir->FullPath, Dir->UnInstallWhole));
    if (Dir->MakeShortcut) Items.Add(std::make_unique<TUnInstallFile>(Dir->Shortcut + ".lnk", 0, 0, std::string()));
  }
  Items.Add(std::make_unique<TUnInstallDir>(Info.InstallDir, 0));
  Items.Add(std::make_unique<TUnInstallDir>(Info.Environment.BdeDir, 0));
  Items.Add(std::make_unique<TUnInstallDir>(ProgramGroupFolder(), 0));
  UnInstall.CreateUninstall(FRegistry, Info.InstallDir);
}

void TExecutor::ExtractAll() {
  SetCaption(Msg::Extracting);
  FProgress = 0;
  FProgressMax = 0;
  for (const auto& File : Info.Files) FProgressMax += File->Size;
  FHost.SetProgress(FProgress, FProgressMax);
  if (Info.Files.empty()) return;
  CurrentCabinet = "setup1.cab";
  while (!Cancelled && !CurrentCabinet.empty()) {
    FindCabinet();
    if (!CabinetFound) throw EAbort();
    const std::string Name = CurrentCabinet;
    CurrentCabinet.clear();
    try {
      Reader->ExtractFiles(NormalizeDir(Info.Environment.SetupDir) + Name, 0);
    } catch (...) {
      if (!FWritingPath.empty()) {
        // The library has given up on the file it was writing: what is on disk is a fragment.
        int Ignored;
        StreamHandler->Close(FWritingHandle, Ignored);
        DeleteFileW(ToWide(FWritingPath).c_str());
        FWritingPath.clear();
      }
      throw;
    }
    if (CurrentCabinet.empty()) CurrentCabinet = NextCabinet;
    FHost.ProcessMessages();
  }
}

void TExecutor::FindCabinet(bool AskFirst) {
  for (;;) {
    if (!AskFirst) {
      if (FileExists(NormalizeDir(Info.Environment.SetupDir) + CurrentCabinet)) {
        CabinetFound = true;
        return;
      }
      std::string Guess = Info.Environment.SetupDir;
      if (NextDiskDir(Guess) && FileExists(NormalizeDir(Guess) + CurrentCabinet)) {
        Info.Environment.SetupDir = Guess;
        CabinetFound = true;
        return;
      }
    }
    AskFirst = false;
    std::string Folder = Info.Environment.SetupDir;
    if (FHost.AskNextDisk(Folder, CurrentCabinet)) {
      Info.Environment.SetupDir = Folder;
      continue;
    }
    if (FHost.ShowMessage(Msg::ExitCaption, Msg::GiveUpQuestion,
                          mbYesNo | mbIconQuestion | mbDefButton2) == idYes) {
      CabinetFound = false;
      return;
    }
  }
}

void TExecutor::HandleCabinetInfo(const std::string& CabinetName) { NextCabinet = CabinetName; }

void TExecutor::HandleNextCabinet(const std::string& NextCabinetName, std::string& CabinetPath, int ErrorIndication,
                                  bool& Abort) {
  if (Cancelled) {
    Abort = true;
  } else {
    CurrentCabinet = NextCabinetName;
    CabinetFound = false;
    // A repeated request means the cabinet found under that name was not the right one:
    // offering the same folder again would loop, so the user is asked for the disk.
    FindCabinet(ErrorIndication != 0);
    if (CabinetFound) {
      CabinetPath = NormalizeDir(Info.Environment.SetupDir);
      Abort = false;
    } else {
      Abort = true;
      Cancelled = true;
    }
  }
  FHost.ProcessMessages();
}

TFileInfo* TExecutor::FindEntry(const std::string& FileName) {
  std::int32_t Number;
  if (!ParseEntryNumber(FileName, Number))
    throw Exception(FormatMessage1(Msg::BadEntryName, FileName));
  return Info.FindFile(Number);
}

void TExecutor::HandleCopyFile(const std::string& FileName, TFileCopyAction& Action, std::intptr_t& DestFileHandle) {
  if (Cancelled) {
    Action = fcaAbort;
    return;
  }
  Action = fcaSkip;
  TFileInfo* File = FindEntry(FileName);
  if (!File) return;
  const int State = File->Group ? File->Group->State : 2;
  if (State == 1 || State == 3) {
    bool Write = true;
    if (File->CheckVersion && FileExists(File->FullPath)) {
      const std::string Existing = GetFileVersion(File->FullPath);
      if (!File->Version.empty() && !Existing.empty() && File->Version != Existing) {
        const std::string Question = Msg::ExistingFilePrefix + File->FullPath + Msg::ExistingFileSuffix +
                                     Msg::InstalledVersion + File->Version + ".\r" + Msg::ExistingVersion + Existing +
                                     ".\r" + Msg::ReplaceQuestion;
        Write = FHost.ShowMessage(Msg::ApplicationTitle, Question, mbYesNo | mbIconExclamation) == idYes;
      }
    }
    if (Write) {
      Action = fcaCopy;
      const std::wstring WidePath = ToWide(File->FullPath);
      for (;;) {
        FHost.RepaintCaption(std::string(Msg::Extracting) + "\r" + File->FullPath);
        SetFileAttributesW(WidePath.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(WidePath.c_str());
        int Err = 0;
        DestFileHandle = StreamHandler->Open(File->FullPath, kOpenCreateBinary, 2, Err, nullptr);
        if (Err != kSharingViolation && Err != kLockViolation) break;
        if (Unattended()) {
          Action = fcaSkip;
          break;
        }
        const std::string Question = Msg::BusyFilePrefix + File->FullPath + Msg::BusyFileSuffix;
        const int Answer =
            FHost.ShowMessage(Msg::ApplicationTitle, Question, mbAbortRetryIgnore | mbIconExclamation);
        if (Answer == idAbort) {
          Action = fcaAbort;
          break;
        }
        if (Answer == idIgnore) {
          Action = fcaSkip;
          break;
        }
        if (Answer != idRetry) break;
      }
      if (Action == fcaCopy && DestFileHandle != -1) {
        FWritingPath = File->FullPath;
        FWritingHandle = DestFileHandle;
      }
    }
  }
  FProgress += File->Size;
  FHost.SetProgress(FProgress, FProgressMax);
}

void TExecutor::HandleCloseCopiedFile(const std::string& FileName, std::intptr_t FileHandle, std::uint16_t Date,
                                      std::uint16_t Time, std::uint16_t Attribs, bool& Abort) {
  int Ignored;
  StreamHandler->Close(FileHandle, Ignored);
  FWritingPath.clear();
  FWritingHandle = -1;
  std::int32_t Number;
  if (const TFileInfo* File = ParseEntryNumber(FileName, Number) ? Info.FindFile(Number) : nullptr) {
    const std::wstring WidePath = ToWide(File->FullPath);
    HandleGuard Written(CreateFileW(WidePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (Written.Valid()) {
      // The cabinet keeps local time; it is stamped unchanged, as the packager saw it.
      FILETIME Stamp;
      if (DosDateTimeToFileTime(Date, Time, &Stamp)) SetFileTime(Written.Get(), nullptr, nullptr, &Stamp);
    }
    Written.Reset();
    SetFileAttributesW(WidePath.c_str(), Attribs);
  }
  Abort = Cancelled;
}

void TExecutor::RegisterServers() {
  SetCaption(Msg::RegisteringServers);
  for (const auto& File : Info.Files) {
    if (!TakesPart(File->Group)) continue;
    if (File->RegisterDll) RegisterDllServer(File->FullPath);
    if (File->RegisterExe) RegisterExeServer(File->FullPath);
  }
}

void TExecutor::Register1CConfigurations() {
  SetCaption(Msg::Registering1C);
  for (const auto& Dir : Info.Dirs) {
    if (!TakesPart(Dir->Group)) continue;
    if (Dir->Register1C75) Write1C75Title(FRegistry, Dir->FullPath, Dir->CfgName);
    if (Dir->Register1C77) Write1C77Title(FRegistry, Dir->FullPath, Dir->CfgName);
  }
}

void TExecutor::CreateShortcuts() {
  SetCaption(Msg::CreatingShortcuts);
  for (const auto& File : Info.Files) {
    if (!TakesPart(File->Group) || !File->MakeShortcut) continue;
    try {
      MakeDirs(ExtractFilePath(File->Shortcut));
    } catch (const Exception&) {
    }
    CreateShellLink(File->FullPath, File->ShortcutParams, File->Shortcut + ".lnk", "");
  }
  for (const auto& Dir : Info.Dirs) {
    if (!TakesPart(Dir->Group) || !Dir->MakeShortcut) continue;
    try {
      MakeDirs(ExtractFilePath(Dir->Shortcut));
    } catch (const Exception&) {
    }
    CreateShellLink(Dir->FullPath, "", Dir->Shortcut + ".lnk", "");
  }
}

void TExecutor::CopyTo1CProducts() {
  for (const auto& File : Info.Files) {
    if (!TakesPart(File->Group)) continue;
    for (const auto& Target : CopyTargets1C(Info, *File))
      CopyFileW(ToWide(File->FullPath).c_str(), ToWide(Target).c_str(), FALSE);
  }
}

void TExecutor::RunInstalledPrograms() {
  for (const auto& File : Info.Files) {
    if (!TakesPart(File->Group) || !File->RunAfter) continue;
    try {
      if (!File->RunParams.empty()) {
        std::size_t Position = 1;
        std::string Piece;
        while (NextToken(File->RunParams, "|", true, Position, Piece)) {
          if (Piece.empty()) continue;
          RunProgram(ReplaceAll(Piece, "%file%", File->FullPath), "", true, SW_SHOWDEFAULT);
        }
      } else {
        ShellExecuteW(nullptr, L"open", ToWide(File->FullPath).c_str(), nullptr,
                      ToWide(ExtractFilePath(File->FullPath)).c_str(), SW_SHOW);
      }
    } catch (const std::exception&) {
      // The rest of this file's commands are abandoned; the installation goes on.
    }
    FHost.ProcessMessages();
  }
}

void TExecutor::DeleteTemporaryFiles() {
  SetCaption(Msg::DeletingTemporary);
  for (const auto& File : Info.Files)
    if (TakesPart(File->Group) && File->DeleteAfter) DeleteFileW(ToWide(File->FullPath).c_str());
}

void TExecutor::WriteBdePaths() {
  for (const auto& Group : Info.Groups)
    if (Group->State != 2 && Group->FolderKind == 5) WriteBdeDllPath(FRegistry, Info.Environment.BdeDir);
}

}  // namespace setup
