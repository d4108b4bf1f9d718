// The worker's decisions and its stages. Everything that touches the machine goes through
// IInstallSystem, so that the whole run can be driven on the host by the tests.
#include "untThrd.h"

#include <algorithm>
#include <exception>

#include "cabinet/CabinetError.h"
#include "model/Discovery.h"
#include "system/Bde.h"
#include "system/CommandLine.h"
#include "system/Encoding.h"
#include "system/Paths.h"
#include "system/ProgramCommand.h"
#include "system/SafePaths.h"
#include "system/Sha256.h"
#include "system/Text.h"

namespace setup {
namespace {

constexpr unsigned cKeptAttributes = 0x27;    // read-only, hidden, system, archive
constexpr unsigned cNormalAttributes = 0x80;
constexpr unsigned cArchiveAttribute = 0x20;
constexpr std::size_t cMissingNamed = 3;       // files a missing-files message names

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

std::string Format(std::string Pattern, std::initializer_list<std::string> Arguments) {
  for (const auto& Argument : Arguments) Pattern = FormatMessage1(Pattern, Argument);
  return Pattern;
}

bool IsBusy(int Error) { return Error == errSharingViolation || Error == errLockViolation; }

bool IsAnsiText(const std::string& Text) { return AnsiToUtf8(Utf8ToAnsi(Text)) == Text; }

const char* AnswerName(int Answer) {
  switch (Answer) {
    case idOk: return "OK";
    case idCancel: return "Cancel";
    case idAbort: return "Abort";
    case idRetry: return "Retry";
    case idIgnore: return "Ignore";
    case idYes: return "Yes";
    case idNo: return "No";
    default: return "none";
  }
}

}  // namespace

// ---- Decisions ----------------------------------------------------------------------------

bool UsesBdeFolder(const TInstallInfo& Info) {
  for (const auto& Group : Info.Groups)
    if (Group->State != gsNotSelected && Group->FolderKind == fkBde) return true;
  return false;
}

std::int64_t ProgressMaximum(const TInstallInfo& Info) {
  std::int64_t Sum = 0;
  for (const auto& File : Info.Files) Sum += File->Size;
  return Sum;
}

void DescribeInstallation(const TInstallInfo& Info, TUnInstall& UnInstall) {
  std::uint64_t Bytes = 0;
  std::string Icon;
  for (const auto& File : Info.Files) {
    if (!IsExtracted(File->Group) || File->DeleteAfter) continue;
    Bytes += static_cast<std::uint32_t>(File->Size);
    const std::string& Path = File->FullPath;
    const std::size_t N = Path.size();
    if (Icon.empty() && File->MakeShortcut && N > 4 && Path[N - 4] == '.' && (Path[N - 3] | 0x20) == 'e' &&
        (Path[N - 2] | 0x20) == 'x' && (Path[N - 1] | 0x20) == 'e')
      Icon = Path;
  }
  UnInstall.EstimatedSize = static_cast<std::uint32_t>(std::min<std::uint64_t>((Bytes + 1023) >> 10, 0x7FFFFFFF));
  UnInstall.DisplayIcon = Icon.empty() ? ExtractFilePath(UnInstall.ListFileName) + "UnInstall.exe" : Icon;
}

std::string ProgramGroupFolder(const TInstallInfo& Info) { return Info.Environment.ProgramsDir + Info.ProgramGroup; }

void PreparePaths(TInstallInfo& Info, TUnInstall& UnInstall) {
  UnInstall.ListFileName = Info.ExpandPath(Info.GroupUnInstallPath, Info.UnInstallInfo.ListFileName);
  UnInstall.ProductName = Info.UnInstallInfo.ProductName;
  UnInstall.ProductID = Info.UnInstallInfo.ProductID;
  UnInstall.ProductTexts = Info.UnInstallInfo.ProductTexts;
  for (auto& Exe : Info.ExePaths) Exe->CommandLine = Info.ExpandPath(fkPlaceholdersOnly, Exe->CommandLine);
  const std::string GroupFolder = NormalizeDir(ProgramGroupFolder(Info));
  for (auto& File : Info.Files) {
    File->FullPath = Info.ExpandPath(File->Group ? File->Group->FolderKind : std::uint8_t{fkProgramFiles}, File->Path);
    if (File->MakeShortcut) File->Shortcut = GroupFolder + File->Shortcut;
  }
  for (auto& Dir : Info.Dirs) {
    Dir->FullPath = Info.ExpandPath(Dir->Group ? Dir->Group->FolderKind : std::uint8_t{fkProgramFiles}, Dir->Path);
    if (Dir->MakeShortcut) Dir->Shortcut = GroupFolder + Dir->Shortcut;
  }
}

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

namespace {

// The folders strictly between Base and Path, outermost first, when Path lies inside Base.
void AddFoldersBetween(TUnInstallList& Items, std::string Base, const std::string& Path) {
  Base = NormalizeDir(Base);
  if (Base.size() < 2 || Path.size() <= Base.size() || FoldPath(Path.substr(0, Base.size())) != FoldPath(Base)) return;
  for (std::size_t Slash = Path.find('\\', Base.size()); Slash != std::string::npos && Slash + 1 < Path.size();
       Slash = Path.find('\\', Slash + 1))
    Items.Add(std::make_unique<TUnInstallDir>(Path.substr(0, Slash), 0));
}

}  // namespace

void AddUninstallItems(const TInstallInfo& Info, TUnInstallList& Items) {
  for (const auto& File : Info.Files) {
    if (!TakesPart(File->Group)) continue;
    Items.Add(std::make_unique<TUnInstallFile>(File->FullPath, File->SharedFile,
                                               (File->RegisterDll || File->RegisterExe) ? 1 : 0,
                                               File->RunOnUninstall ? File->UninstallRunParams : std::string()));
    // Copies into 1C installations go with the product, shared as the file is.
    for (const std::string& Copy : CopyTargets1C(Info, *File))
      Items.Add(std::make_unique<TUnInstallFile>(Copy, File->SharedFile, 0, std::string()));
    if (File->MakeShortcut)
      Items.Add(std::make_unique<TUnInstallFile>(File->Shortcut + ".lnk", File->SharedFile, 0, std::string()));
  }
  for (const auto& Dir : Info.Dirs) {
    if (!TakesPart(Dir->Group)) continue;
    Items.Add(std::make_unique<TUnInstallDir>(Dir->FullPath, Dir->UnInstallWhole));
    if (Dir->MakeShortcut) Items.Add(std::make_unique<TUnInstallFile>(Dir->Shortcut + ".lnk", 0, 0, std::string()));
  }
  // "Vendor\Product" under Program Files or the Start menu's Programs makes "Vendor" too: it
  // goes when left empty. The program group stays the last folder of the list.
  AddFoldersBetween(Items, Info.Environment.ProgramFilesDir, Info.InstallDir);
  Items.Add(std::make_unique<TUnInstallDir>(Info.InstallDir, 0));
  if (UsesBdeFolder(Info)) Items.Add(std::make_unique<TUnInstallDir>(Info.Environment.BdeDir, 0));
  AddFoldersBetween(Items, Info.Environment.ProgramsDir, ProgramGroupFolder(Info));
  Items.Add(std::make_unique<TUnInstallDir>(ProgramGroupFolder(Info), 0));
}

std::string FirstNonAnsiPath(const TInstallInfo& Info, const TUnInstallList& Items) {
  // The folders the user chose come first: they are what the message asks to change.
  for (const std::string& Folder : {Info.InstallDir, ProgramGroupFolder(Info)})
    if (!IsAnsiText(Folder)) return Folder;
  for (int I = 0; I < Items.Count(); ++I) {
    const TUnInstallCustom& Item = Items.Items(I);
    if (const auto* File = Item.AsFile()) {
      if (!IsAnsiText(File->FileName)) return File->FileName;
    } else if (const auto* Dir = Item.AsDir()) {
      if (!IsAnsiText(Dir->DirName)) return Dir->DirName;
    }
  }
  return {};
}

std::string VersionQuestion(const TFileInfo& File, bool TargetExists, const std::string& ExistingVersion) {
  if (!File.CheckVersion || !TargetExists) return {};
  if (File.Version.empty() || ExistingVersion.empty() || File.Version == ExistingVersion) return {};
  return Msg::ExistingFilePrefix + File.FullPath + Msg::ExistingFileSuffix + Msg::InstalledVersion + File.Version +
         ".\r" + Msg::ExistingVersion + ExistingVersion + ".\r" + Msg::ReplaceQuestion;
}

std::string BusyFileQuestion(const std::string& Path) { return Msg::BusyFilePrefix + Path + Msg::BusyFileSuffix; }

std::string PartFileName(const TFileInfo& File, int Attempt) {
  std::string Name = ExtractFilePath(File.FullPath) + "~setup" + std::to_string(File.ItemNo);
  if (Attempt > 0) Name += "-" + std::to_string(Attempt);
  return Name + ".tmp";
}

unsigned InstalledAttributes(std::uint16_t CabinetAttributes) {
  const unsigned Kept = CabinetAttributes & cKeptAttributes;
  return Kept ? Kept : cNormalAttributes;
}

// ---- The walk over the cabinet set --------------------------------------------------------

void TCabinetWalk::BeginCabinet(const std::string& Name) {
  // Only the cabinet last continued into comes again, to have its own files extracted.
  const std::string Key = UpperAscii(Name);
  const bool Continued = FSeen.count(Key) && Key == UpperAscii(FLastContinuation);
  if (FExtracted.count(Key) || (FSeen.count(Key) && !Continued))
    throw Exception(FormatMessage1(Msg::CabinetMetTwice, Name));
  FExtracted.insert(Key);
  FSeen.insert(Key);
  FCurrent = Name;
  FAwaitingOwnInfo = true;
}

void TCabinetWalk::ContinuationRequested(const std::string& Name) {
  // The library asks again for the same cabinet when the one it found was not right.
  const std::string Key = UpperAscii(Name);
  if (FExtracted.count(Key) || (FSeen.count(Key) && Key != UpperAscii(FLastContinuation)))
    throw Exception(FormatMessage1(Msg::CabinetMetTwice, Name));
  FSeen.insert(Key);
  FLastContinuation = Name;
}

std::string TCabinetWalk::CabinetInfo(int SetId, int Number) {
  const bool Own = FAwaitingOwnInfo;
  FAwaitingOwnInfo = false;
  const std::string Name = Own ? FCurrent : FLastContinuation;
  if (Own && !FHaveSet) {
    FHaveSet = true;
    FSetId = SetId;
    FLastNumber = Number;
    return Name;
  }
  // A cabinet comes next when it carries the following number, or, being extracted, when it
  // is the one the library has just continued into (it was counted then).
  bool InOrder = Number == FLastNumber + 1;
  if (Own && Number == FLastNumber && UpperAscii(FCurrent) == UpperAscii(FLastContinuation)) InOrder = true;
  if (SetId != FSetId || !InOrder)
    throw Exception(Format(Msg::CabinetOutOfSet, {Name, std::to_string(SetId), std::to_string(Number),
                                                  std::to_string(FSetId), std::to_string(FLastNumber + 1)}));
  FLastNumber = Number;
  return Name;
}

void TCabinetWalk::CheckComplete(const TInstallInfo& Info) const {
  std::vector<std::string> Missing;
  std::size_t Count = 0;
  std::set<std::int32_t> Counted;
  for (const auto& File : Info.Files) {
    if (!IsExtracted(File->Group) || WasMet(File->ItemNo) || !Counted.insert(File->ItemNo).second) continue;
    if (Missing.size() < cMissingNamed) Missing.push_back(File->FullPath);
    ++Count;
  }
  if (!Count) return;
  std::string Named;
  for (const auto& Path : Missing) Named += (Named.empty() ? "<" : ", <") + Path + ">";
  if (Count > Missing.size()) Named += FormatMessage1(Msg::CabinetFilesMore, std::to_string(Count - Missing.size()));
  throw Exception(FormatMessage1(Msg::CabinetFilesMissing, Named));
}

TCabinetDigests ParseCabinetDigests(std::string_view Text) {
  TCabinetDigests Digests;
  while (!Text.empty()) {
    const std::size_t End = Text.find('\n');
    std::string_view Line = Text.substr(0, End);
    Text = End == std::string_view::npos ? std::string_view() : Text.substr(End + 1);
    if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
    const std::size_t Equals = Line.find('=');
    if (Equals == 0 || Equals == std::string_view::npos || Line.size() - Equals - 1 != 64) continue;
    Digests[UpperAscii(std::string(Line.substr(0, Equals)))] = UpperAscii(std::string(Line.substr(Equals + 1)));
  }
  return Digests;
}

// ---- The run ------------------------------------------------------------------------------

TExecutor::TExecutor(TInstallInfo& Info, IInstallHost& Host, IRegistry& Registry,
                     const TCabinetLibraryFunctions& Library, IInstallSystem& System)
    : Info(Info), FHost(Host), FRegistry(Registry), FSystem(System), FTracked(FSystem, FJournal) {
  Connect(Library);
}

void TExecutor::Connect(const TCabinetLibraryFunctions& Library) {
  Reader = std::make_unique<TCabinetReader>(Library);
  Reader->FileHandler = &FSystem.FileHandler();
  Reader->OnCopyFile = [this](TCabinetReader&, const std::string& FileName, std::int32_t, std::uint16_t, std::uint16_t,
                              std::uint16_t, TFileCopyAction& Action, std::intptr_t& Handle) {
    HandleCopyFile(FileName, Action, Handle);
  };
  Reader->OnCloseCopiedFile = [this](TCabinetReader&, const std::string& FileName, std::intptr_t Handle,
                                     std::uint16_t Date, std::uint16_t Time, std::uint16_t Attribs, int, bool,
                                     bool& Abort) { HandleCloseCopiedFile(FileName, Handle, Date, Time, Attribs, Abort); };
  Reader->OnNextCabinet = [this](TCabinetReader&, const std::string& Name, const std::string&, std::string& Path,
                                 int ErrorIndication, bool& Abort) { HandleNextCabinet(Name, Path, ErrorIndication, Abort); };
  Reader->OnCabinetInfo = [this](TCabinetReader&, const std::string& Name, const std::string&, const std::string& Path,
                                 int SetId, int Number, bool&) { HandleCabinetInfo(Name, Path, SetId, Number); };
  UnInstall.KeepResponding = [this] { FHost.ProcessMessages(); };
  UnInstall.WaitAgain = [this](const std::string& Program) {
    if (Unattended()) return false;
    return Ask(Msg::ApplicationTitle, FormatMessage1(Msg::PreviousStillRunning, Program),
               mbRetryCancel | mbIconExclamation) == idRetry;
  };
}

TExecutor::~TExecutor() {
  // The reader releases the library context, which may still close files of the handler.
  Reader.reset();
  FWriting.Drop();
  for (const std::intptr_t File : FHeldFiles) FSystem.ReleaseFile(File);
}

bool TExecutor::Stage(const std::string& Caption) {
  FHost.Log("stage: " + Caption);
  FHost.SetCaption(Caption);
  FHost.ProcessMessages();
  return !Cancelled;
}

int TExecutor::Ask(const std::string& Caption, const std::string& Text, unsigned Flags) {
  FHost.Log("message: " + Text);
  const int Answer = FHost.ShowMessage(Caption, Text, Flags);
  FHost.Log(std::string("answer: ") + AnswerName(Answer));
  return Answer;
}

bool TExecutor::Unattended() const { return UpperAscii(GetSwitchValue(Arguments, "/AUTO=", "OFF")) == "ON"; }

void TExecutor::Execute() {
  std::string Failure;
  bool Failed = false;
  std::exception_ptr Escaped;
  FRegistry.Watch = &FJournal;
  try {
    Run();
  } catch (const std::exception& Error) {
    Succeeded = false;
    Failed = true;
    Failure = Error.what();
    FHost.Log("failed: " + Failure);
  } catch (...) {
    // Passed on to the caller once the run's changes are undone.
    Succeeded = false;
    Escaped = std::current_exception();
  }
  FRegistry.Watch = nullptr;
  FWriting.Drop();
  if (Succeeded) {
    FJournal.Committing();
    CommitChanges(FJournal.Changes, FSystem);
  } else {
    UndoRun();
  }
  FJournal.Changes.clear();
  if (Failed) {
    const std::string Text = PayloadDamaged ? Failure : std::string(Msg::ErrorPrefix) + Failure + "!";
    FHost.Log("message: " + Text);
    FHost.ShowMessage(Msg::ApplicationTitle, Text, mbOk | mbIconError);
  }
  if (Cancelled) FHost.Log("cancelled");
  if (Escaped) std::rethrow_exception(Escaped);
}

void TExecutor::UndoRun() {
  if (FJournal.Changes.empty()) return;
  FHost.ShowUndoing(Msg::UndoingChanges);
  FHost.Log("undo: " + std::to_string(FJournal.Changes.size()) + " changes");
  UndoLeft = UndoChanges(FJournal.Changes, FSystem, FRegistry, FHost);
  RolledBack = true;
}

void TExecutor::Run() {
  // Once Cancelled is set nothing that changes the machine starts any more; the checks sit
  // after every point where messages are pumped.
  PreparePaths(Info, UnInstall);
  // The checks may make the list's folder.
  if (Info.UnInstall) FTracked.RecordNewFolders(ExtractFilePath(UnInstall.ListFileName));
  CheckBeforeChanges();
  if (Cancelled) return;
  RunExternalPrograms();
  if (Cancelled) return;
  if (Info.UnInstall) RemovePrevious();
  if (Cancelled) return;
  KeepFromDeletionAtRestart();
  CreateDirectories();
  if (Cancelled) return;
  if (Info.UnInstall) CreateUninstallRecord();
  if (Cancelled) return;
  ExtractAll();
  if (Cancelled) return;
  RegisterServers();
  if (Cancelled) return;
  Register1CConfigurations();
  if (Cancelled) return;
  CreateShortcuts();
  if (Cancelled) return;
  CopyTo1CProducts();
  RunInstalledPrograms();
  if (Cancelled) return;
  DeleteTemporaryFiles();
  if (Cancelled) return;
  WriteBdePaths();
  if (!Cancelled) Succeeded = true;
}

void TExecutor::CheckBeforeChanges() {
  // The earlier installation is removed only when the new one can be recorded and its media
  // are at hand. The checks that leave nothing behind come first: the list's folder is made
  // only once the media are known to be there.
  if (Info.UnInstall) {
    AddUninstallItems(Info, UnInstall.Items);
    const std::string Bad = FirstNonAnsiPath(Info, UnInstall.Items);
    if (!Bad.empty()) throw Exception(FormatMessage1(Msg::PathNotAnsi, Bad));
  }
  CheckNoUninstallerAtWork();
  if (Cancelled) return;
  if (!Info.Files.empty()) CheckCabinetsAtHand();
  CheckFreeSpace();
  if (Cancelled) return;
  if (Info.UnInstall) {
    const std::string Reason = FSystem.CheckWritable(UnInstall.ListFileName);
    if (!Reason.empty()) throw Exception(Format(Msg::ListNotWritable, {UnInstall.ListFileName, Reason}));
  }
}

void TExecutor::RunExternalPrograms() {
  if (!Stage(Msg::RunningPrograms)) return;
  for (const auto& Exe : Info.ExePaths) {
    if (Cancelled) return;
    try {
      FHost.Log("program: " + Exe->CommandLine);
      const std::uint32_t Status = FSystem.RunProgram(Exe->CommandLine);
      FHost.Log("program ended: " + Exe->CommandLine + " (exit status " + std::to_string(Status) + ")");
    } catch (const std::exception& Error) {
      // One program that cannot run must not stop the installation.
      FHost.Log("program failed: " + Exe->CommandLine + ": " + Error.what());
    }
    FHost.ProcessMessages();
  }
}

void TExecutor::RemovePrevious() {
  if (!Stage(Msg::RemovingPrevious)) return;
  // Once more: the programs run before may have started one.
  CheckNoUninstallerAtWork();
  if (Cancelled) return;
  UnInstall.BeforeUninstaller = [this](const std::string& Key, const std::string& CommandLine) {
    // The list is the command's second quoted part.
    const std::string List = TextBetween(CommandLine.substr(CommandLine.find('"', CommandLine.find('"') + 1) + 1), "\"", "\"");
    if (!FSystem.FileExists(TextBetween(CommandLine, "\"", "\""))) return;
    FHost.Log("keeping the earlier installation until this one completes: " + List);
    FTracked.KeepEarlier(FRegistry, Key, List);
  };
  UnInstall.RemovePrevious(FRegistry);
  if (!UnInstall.PreviousCommand.empty())
    FHost.Log("earlier uninstaller: " + UnInstall.PreviousCommand + " (exit status " +
              std::to_string(UnInstall.PreviousStatus) + ")");
}

void TExecutor::KeepFromDeletionAtRestart() {
  // A deletion an uninstaller left for a busy file (the earlier installation's, just now, or
  // one of long ago) would take the new file of the same name at the next start.
  std::vector<std::string> Paths;
  if (Info.UnInstall) Paths.push_back(UnInstall.ListFileName);
  for (const auto& File : Info.Files)
    if (IsExtracted(File->Group)) {
      Paths.push_back(File->FullPath);
      for (const std::string& Copy : CopyTargets1C(Info, *File)) Paths.push_back(Copy);
    }
  for (const std::string& Path : FSystem.CancelDeletesAtRestart(Paths))
    FHost.Log("deletion at restart cancelled: " + Path);
}

void TExecutor::CreateDirectories() {
  if (!Stage(Msg::CreatingDirectories)) return;
  std::vector<std::string> Folders;
  if (UsesBdeFolder(Info)) Folders.push_back(Info.Environment.BdeDir);
  Folders.push_back(Info.InstallDir);
  Folders.push_back(ProgramGroupFolder(Info));
  for (const auto& Dir : Info.Dirs)
    if (TakesPart(Dir->Group)) Folders.push_back(Dir->FullPath);
  for (const auto& Folder : Folders) {
    FHost.Log("directory: " + Folder);
    FTracked.MakeDirs(Folder);
  }
}

void TExecutor::CreateUninstallRecord() {
  if (!Stage(Msg::CreatingUninstall)) return;
  if (const int Error = FTracked.SetAside(UnInstall.ListFileName))
    throw Exception(Format(Msg::ListNotWritable, {UnInstall.ListFileName, FSystem.ErrorText(Error)}));
  DescribeInstallation(Info, UnInstall);
  UnInstall.CreateUninstall(FRegistry, Info.InstallDir);
  FHost.Log("uninstall list: " + UnInstall.ListFileName + " (" + std::to_string(UnInstall.Items.Count()) + " items)");
  if (!UnInstall.ProductName.empty())
    FHost.Log("registry: HKLM" + std::string(cUninstallKey) + "\\" + UnInstall.ProductName + " = " +
              UninstallCommandLine(UnInstall.ListFileName));
  for (int I = 0; I < UnInstall.Items.Count(); ++I)
    if (const auto* File = UnInstall.Items.Items(I).AsFile(); File && File->SharedFile)
      FHost.Log("shared counter: " + File->FileName);
}

void TExecutor::ExtractAll() {
  if (!Stage(Msg::Extracting)) return;
  FProgress = 0;
  FProgressMax = ProgressMaximum(Info);
  FHost.SetProgress(FProgress, FProgressMax);
  if (Info.Files.empty()) return;
  CurrentCabinet = "setup1.cab";
  while (!Cancelled && !CurrentCabinet.empty()) {
    // A name met before is a cycle, wherever a cabinet of that name may be found.
    FWalk.BeginCabinet(CurrentCabinet);
    FindVerifiedCabinet();
    if (!CabinetFound) throw EAbort();
    const std::string Name = CurrentCabinet;
    CurrentCabinet.clear();
    try {
      Reader->ExtractFiles(NormalizeDir(Info.Environment.SetupDir) + Name, 0);
    } catch (const std::exception& Error) {
      if (FWriting.File) FHost.Log("failed: " + FWriting.File->FullPath + ": " + Error.what());
      FWriting.Drop();
      throw;
    } catch (...) {
      FWriting.Drop();
      throw;
    }
    if (CurrentCabinet.empty()) CurrentCabinet = NextCabinet;
    FHost.ProcessMessages();
  }
  // A walk that ended by itself must have met every file it was to install: a set that stops
  // early, or a disk that belongs elsewhere, is no success.
  if (!Cancelled) FWalk.CheckComplete(Info);
}

void TExecutor::FindCabinet(bool AskFirst) {
  for (;;) {
    if (!AskFirst) {
      if (FSystem.FileExists(NormalizeDir(Info.Environment.SetupDir) + CurrentCabinet)) {
        CabinetFound = true;
        return;
      }
      std::string Guess = Info.Environment.SetupDir;
      if (NextDiskDir(Guess) && FSystem.FileExists(NormalizeDir(Guess) + CurrentCabinet)) {
        Info.Environment.SetupDir = Guess;
        CabinetFound = true;
        return;
      }
    }
    if (CabinetsCarried) RefuseDamagedPayload();
    // Nobody may be at the screen of an unattended run: where the set should be, it is not.
    if (Unattended())
      throw Exception(Format(AskFirst ? Msg::CabinetWrong : Msg::CabinetNotFound,
                             {CurrentCabinet, NormalizeDir(Info.Environment.SetupDir)}));
    std::string Folder = Info.Environment.SetupDir;
    FHost.Log("message: " + std::string(AskFirst ? Msg::WrongDiskText : Msg::NextDiskText) + " " + CurrentCabinet);
    if (FHost.AskNextDisk(Folder, CurrentCabinet, AskFirst)) {
      FHost.Log("answer: " + Folder);
      Info.Environment.SetupDir = Folder;
      FAskedForDisk = true;
      AskFirst = false;
      continue;
    }
    AskFirst = false;
    FHost.Log("answer: Cancel");
    if (Ask(Msg::ExitCaption, Msg::GiveUpQuestion, mbYesNo | mbIconQuestion | mbDefButton2) == idYes) {
      CabinetFound = false;
      return;
    }
  }
}

void TExecutor::RefuseDamagedPayload() {
  PayloadDamaged = true;
  throw Exception(Msg::PayloadDamaged);
}

void TExecutor::FindVerifiedCabinet(bool AskFirst, bool RefuseAtHand) {
  for (;;) {
    FAskedForDisk = false;
    FindCabinet(AskFirst);
    if (!CabinetFound) return;
    const std::string Refusal = CheckCabinet(Info.Environment.SetupDir, CurrentCabinet);
    if (Refusal.empty()) return;
    if (CabinetsCarried) RefuseDamagedPayload();
    // Found where it was looked for before any change: the media are wrong, the run ends.
    if ((RefuseAtHand && !FAskedForDisk) || Unattended()) throw Exception(Refusal);
    // Brought to the prompt: the user is asked again, told that this disk is not the one.
    AskFirst = true;
  }
}

void TExecutor::HandleCabinetInfo(const std::string& CabinetName, const std::string& CabinetPath, int SetId,
                                  int CabinetNumber) {
  std::string Name;
  try {
    Name = FWalk.CabinetInfo(SetId, CabinetNumber);
  } catch (const Exception&) {
    FHost.Log("cabinet refused: " + CabinetPath + " (set " + std::to_string(SetId) + ", number " +
              std::to_string(CabinetNumber) + ")");
    throw;
  }
  FHost.Log("cabinet: " + Name + " in " + CabinetPath + " (set " + std::to_string(SetId) + ", number " +
            std::to_string(CabinetNumber) + ", next " + (CabinetName.empty() ? "none" : CabinetName) + ")");
  NextCabinet = CabinetName;
}

void TExecutor::HandleNextCabinet(const std::string& NextCabinetName, std::string& CabinetPath, int ErrorIndication,
                                  bool& Abort) {
  if (Cancelled) {
    Abort = true;
  } else {
    FWalk.ContinuationRequested(NextCabinetName);
    CurrentCabinet = NextCabinetName;
    CabinetFound = false;
    // A repeated request means the cabinet found under that name was not the right one:
    // offering the same folder again would loop, so the user is asked for the disk.
    FindVerifiedCabinet(ErrorIndication != 0);
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
  if (!ParseEntryNumber(FileName, Number)) throw Exception(FormatMessage1(Msg::BadEntryName, FileName));
  return Info.FindFile(Number);
}

bool TExecutor::RetryBusy(const TFileInfo& File, bool& Abort) {
  if (!Unattended()) {
    const int Answer = Ask(Msg::ApplicationTitle, BusyFileQuestion(File.FullPath), mbAbortRetryIgnore | mbIconExclamation);
    if (Answer == idRetry) return true;
    if (Answer != idIgnore) {
      Abort = true;
      return false;
    }
  }
  FHost.Log("skipped (busy): " + File.FullPath);
  SkippedFiles.push_back({File.FullPath, srBusy});
  return false;
}

void TExecutor::HandleCopyFile(const std::string& FileName, TFileCopyAction& Action, std::intptr_t& DestFileHandle) {
  if (Cancelled) {
    Action = fcaAbort;
    return;
  }
  Action = fcaSkip;
  TFileInfo* File = FindEntry(FileName);
  if (!File) {
    FHost.Log("entry without record: " + FileName);
    return;
  }
  FWalk.EntryMet(File->ItemNo);
  if (!IsExtracted(File->Group)) {
    FHost.Log("skipped (not selected): " + File->FullPath);
  } else {
    bool Write = true;
    const bool TargetExisted = FSystem.FileExists(File->FullPath);
    if (File->CheckVersion && TargetExisted) {
      const std::string Existing = FSystem.FileVersion(File->FullPath);
      const std::string Question = VersionQuestion(*File, true, Existing);
      // Unattended, the file the machine already has is kept: nobody can weigh the versions.
      if (!Question.empty())
        Write = !Unattended() && Ask(Msg::ApplicationTitle, Question, mbYesNo | mbIconExclamation) == idYes;
      if (!Write) {
        FHost.Log("kept (version " + Existing + "): " + File->FullPath);
        SkippedFiles.push_back({File->FullPath, srKeptVersion});
      }
    }
    while (Write) {
      FHost.RepaintCaption(std::string(Msg::Extracting) + "\r" + File->FullPath);
      // A file that is not there cannot be held by anybody.
      const int Held = TargetExisted ? FSystem.ProbeTarget(File->FullPath) : 0;
      if (IsBusy(Held)) {
        bool Abort = false;
        if (RetryBusy(*File, Abort)) continue;
        if (Abort) Action = fcaAbort;
        break;
      }
      Action = fcaCopy;
      int Err = 0;
      DestFileHandle = FWriting.Begin(*File, TargetExisted, FTracked, Err);
      // The library is told to abort: the target folder is missing or cannot be written.
      if (DestFileHandle == -1) FHost.Log("failed: " + File->FullPath + ": " + FSystem.ErrorText(Err));
      break;
    }
  }
  FProgress += File->Size;
  FHost.SetProgress(FProgress, FProgressMax);
}

std::intptr_t TFileWrite::Begin(const TFileInfo& Target, bool Existed, TJournaledSystem& Tracked, int& Err) {
  Drop();
  // A new file is written where it belongs (undoing the run removes it, as it removes a part
  // file); an existing one gets its new content beside it.
  InPlace = !Existed;
  if (InPlace) {
    Path = Target.FullPath;
    Handle = Tracked.CreatePart(Path, Err);
    InPlace = Handle != -1 || Err != errFileExists;
  }
  for (int Attempt = 0; Attempt < 100 && !InPlace && Handle == -1; ++Attempt) {
    Path = PartFileName(Target, Attempt);
    Handle = Tracked.CreatePart(Path, Err);
    if (Err != errFileExists) break;
  }
  if (Handle == -1) {
    Path.clear();
    return -1;
  }
  File = &Target;
  TargetExisted = !InPlace;
  return Handle;
}

bool TFileWrite::Owns(std::intptr_t Other, const std::string& EntryName) const {
  std::int32_t Number;
  return File && Other == Handle && ParseEntryNumber(EntryName, Number) && Number == File->ItemNo;
}

void TFileWrite::Drop() {
  if (Handle != -1) {
    int Ignored;
    FSystem.FileHandler().Close(Handle, Ignored);
  }
  if (!Path.empty()) FSystem.RemoveFile(Path);
  File = nullptr;
  Path.clear();
  Handle = -1;
}

void TExecutor::HandleCloseCopiedFile(const std::string& FileName, std::intptr_t FileHandle, std::uint16_t Date,
                                      std::uint16_t Time, std::uint16_t Attribs, bool& Abort) {
  const TFileInfo* File = FWriting.File;
  const bool Ours = FWriting.Owns(FileHandle, FileName);
  if (Ours) FSystem.StampFile(FileHandle, FWriting.Path, Date, Time);
  int CloseError = 0;
  const bool Written = FSystem.FileHandler().Close(FileHandle, CloseError) == 0;
  if (Ours) {
    FWriting.Closed();
    // A write that failed (a full disk) and that the library did not notice: the file is short.
    if (!Written) {
      FWriting.Drop();
      RaiseCabinetError(FDIERROR_TARGET_FILE, 0);
    }
    // A cancel that came while the file was written leaves the target as it was (a new one goes).
    bool Placed = FWriting.InPlace && !Cancelled;
    while (!Placed && !FWriting.InPlace && !Cancelled) {
      const int Error = FTracked.ReplaceTarget(FWriting.Path, File->FullPath, FWriting.TargetExisted);
      if (Error == 0) {
        Placed = true;
        break;
      }
      // Held since it was looked at: the same question as before writing.
      if (IsBusy(Error) || Error == errAccessDenied) {
        if (RetryBusy(*File, Abort)) continue;
        break;
      }
      const std::string Reason = FSystem.ErrorText(Error);
      FWriting.Drop();
      throw Exception(Format(Msg::ReplaceFailed, {File->FullPath, Reason}));
    }
    if (Placed) {
      FWriting.Placed();
      // A file made new has the archive mark already.
      if (const unsigned Wanted = InstalledAttributes(Attribs); Wanted != cArchiveAttribute)
        FSystem.SetAttributes(File->FullPath, Wanted);
      FHost.Log((FWriting.TargetExisted ? "replaced: " : "extracted: ") + File->FullPath);
    }
    FWriting.Drop();
  }
  Abort = Abort || Cancelled;
}

void TExecutor::RegisterServers() {
  if (!Stage(Msg::RegisteringServers)) return;
  for (const auto& File : Info.Files) {
    if (!TakesPart(File->Group)) continue;
    if (File->RegisterDll) {
      const std::uint32_t Status = FTracked.RegisterDllServer(File->FullPath);
      FHost.Log("COM server: " + File->FullPath + " (status " + std::to_string(Status) + ")");
    }
    if (File->RegisterExe) {
      FHost.Log("COM server: " + File->FullPath + " /RegServer");
      FTracked.RegisterExeServer(File->FullPath);
    }
  }
}

void TExecutor::Register1CConfigurations() {
  if (!Stage(Msg::Registering1C)) return;
  for (const auto& Dir : Info.Dirs) {
    if (!TakesPart(Dir->Group)) continue;
    if (Dir->Register1C75) {
      FHost.Log("1C 7.5 infobase: " + Dir->FullPath + " = " + Dir->CfgName);
      Write1C75Title(FRegistry, Dir->FullPath, Dir->CfgName);
    }
    if (Dir->Register1C77) {
      FHost.Log("1C 7.7 infobase: " + Dir->FullPath + " = " + Dir->CfgName);
      Write1C77Title(FRegistry, Dir->FullPath, Dir->CfgName);
    }
  }
}

void TExecutor::CreateShortcuts() {
  if (!Stage(Msg::CreatingShortcuts)) return;
  auto Make = [this](const std::string& Target, const std::string& Arguments, const std::string& Shortcut) {
    try {
      FTracked.MakeDirs(ExtractFilePath(Shortcut));
    } catch (const Exception&) {
    }
    FHost.Log("shortcut: " + Shortcut + ".lnk -> " + Target);
    FTracked.CreateShellLink(Target, Arguments, Shortcut + ".lnk");
  };
  for (const auto& File : Info.Files)
    if (TakesPart(File->Group) && File->MakeShortcut)
      Make(File->FullPath, Info.ExpandPath(fkPlaceholdersOnly, File->ShortcutParams), File->Shortcut);
  for (const auto& Dir : Info.Dirs)
    if (TakesPart(Dir->Group) && Dir->MakeShortcut) Make(Dir->FullPath, "", Dir->Shortcut);
}

void TExecutor::CopyTo1CProducts() {
  for (const auto& File : Info.Files) {
    if (!TakesPart(File->Group)) continue;
    for (const std::string& Target : CopyTargets1C(Info, *File)) {
      const bool Copied = FTracked.CopyFileTo(File->FullPath, Target);
      FHost.Log(std::string(Copied ? "1C copy: " : "1C copy failed: ") + Target);
    }
  }
}

void TExecutor::RunInstalledPrograms() {
  for (const auto& File : Info.Files) {
    if (Cancelled) return;
    if (!TakesPart(File->Group) || !File->RunAfter) continue;
    try {
      if (!File->RunParams.empty()) {
        for (const auto& Piece : CommandList(File->RunParams, File->FullPath)) {
          if (Cancelled) break;
          const std::string Command = Info.ExpandPath(fkPlaceholdersOnly, Piece);
          FHost.Log("program: " + Command);
          const std::uint32_t Status = FSystem.RunProgram(Command);
          FHost.Log("program ended: " + Command + " (exit status " + std::to_string(Status) + ")");
        }
      } else {
        FHost.Log("opened: " + File->FullPath);
        FSystem.OpenDocument(File->FullPath);
      }
    } catch (const std::exception& Error) {
      // The rest of this file's commands are abandoned; the installation goes on.
      FHost.Log("program failed: " + File->FullPath + ": " + Error.what());
    }
    FHost.ProcessMessages();
  }
}

void TExecutor::DeleteTemporaryFiles() {
  if (!Stage(Msg::DeletingTemporary)) return;
  for (const auto& File : Info.Files)
    if (TakesPart(File->Group) && File->DeleteAfter) {
      FHost.Log("deleted: " + File->FullPath);
      FSystem.RemoveFile(File->FullPath);
    }
}

void TExecutor::WriteBdePaths() {
  if (!UsesBdeFolder(Info)) return;
  FHost.Log("registry: database engine DLLPATH = " + Info.Environment.BdeDir);
  WriteBdeDllPath(FRegistry, Info.Environment.BdeDir);
}

}  // namespace setup
