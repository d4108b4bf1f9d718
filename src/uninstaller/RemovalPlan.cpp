#include "RemovalPlan.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "system/Errors.h"
#include "system/Paths.h"
#include "system/Text.h"
#include "uninstall/untUnInstall.h"

namespace setup {
namespace {

std::string JoinPath(const std::string& Dir, const std::string& Name) { return WithBackslash(Dir) + Name; }

// The folder that holds a canonical path, without its backslash; empty for what lies in a
// drive's root (no product's folder is a root).
std::string ParentFolder(const std::string& Path) {
  const auto At = Path.find_last_of('\\');
  return At == std::string::npos || At <= 2 ? std::string() : Path.substr(0, At);
}

bool HasExeExtension(std::string_view Path) {
  const std::string Folded = FoldPath(Path);
  return Folded.size() >= 4 && Folded.compare(Folded.size() - 4, 4, ".exe") == 0;
}

}  // namespace

bool TRemovalReport::Complete() const {
  return std::none_of(Notes.begin(), Notes.end(), [](const TRemovalNote& N) { return N.IsLeft(); });
}

TRemovalPlan::TRemovalPlan(const TRemovalList& List, std::string ListFileName)
    : FList(List), FListFileName(std::move(ListFileName)) {}

void TRemovalPlan::Step(const std::string& Path) {
  if (OnProgress) OnProgress(FDone, FTotal, Path);
  ++FDone;
}

TRemovalReport TRemovalPlan::Execute(IRemovalSystem& System, IRegistry& Registry) {
  FSystem = &System;
  FRegistry = &Registry;
  FReport = {};
  FRemovedFiles.clear();
  FProtected.clear();
  FLinks.clear();
  FAtRestart.clear();
  FAfterDeferred.clear();
  FDeferredFiles.clear();
  FDeferredFolders.clear();
  FDone = 0;
  FTotal = FList.Items.Count() + 1;
  FindProductFolders();
  ReadCountedFiles();

  for (int I = FList.Items.Count() - 1; I >= 0; --I) {
    const auto* File = FList.Items.Items(I).AsFile();
    if (!File) continue;
    Step(File->FileName);
    if (File->FileName.empty()) continue;
    const std::string Path = Resolve(File->FileName);
    if (Path.empty() || !(IsProducts(Path, false) || IsAddinCopy(Path)))
      Refuse(File->FileName, Path, false);
    else
      RemoveFileItem(*File, Path);
  }

  Step(FListFileName);
  RemoveUninstallEntry();
  if (!FListFileName.empty()) DeleteOneFile(FListFileName);

  // Counted by the files' own items above, the shared files of this product are settled; what
  // SharedDLLs still counts belongs to other products too.
  ReadCountedFiles();
  for (const auto& Dir : FoldersDeepestFirst()) {
    if (Dir.Recorded) Step(Dir.Path);
    RemoveFolder(Dir.Path, Dir.Whole, Dir.Recorded);
  }
  if (OnProgress) OnProgress(FTotal, FTotal, std::string());
  return FReport;
}

std::string TRemovalPlan::Resolve(const std::string& Path) const {
  std::string Canonical, Long;
  if (CanonicalPath(Path, Canonical) != TPathRefusal::prNone) return {};
  // The long form is canonical again: a short name cannot hide "." or "..", but the system's
  // answer is checked like any other text.
  if (CanonicalPath(FSystem->LongPath(Canonical), Long) != TPathRefusal::prNone) return {};
  return Long;
}

bool TRemovalPlan::MayBeProductFolder(const std::string& Path) const {
  if (Path.empty() || IsDriveRoot(Path)) return false;
  for (const auto& System : FSystemFolders)
    if (IsSameOrInside(System, Path)) return false;
  for (const auto& Tree : FSystemTrees)
    if (IsSameOrInside(Path, Tree)) return false;
  return FInstallFolder.empty() || !IsInside(FInstallFolder, Path);
}

void TRemovalPlan::FindProductFolders() {
  auto ResolveAll = [&](const std::vector<std::string>& Paths) {
    std::vector<std::string> Out;
    for (const auto& Path : Paths)
      if (std::string Canonical = Resolve(Path); !Canonical.empty()) Out.push_back(std::move(Canonical));
    return Out;
  };
  FSystemFolders = ResolveAll(SystemFolders);
  FSystemTrees = ResolveAll(SystemTrees);
  FAddinFolders.clear();
  for (const auto& Folder : ResolveAll(AddinFolders)) FAddinFolders.insert(FoldPath(Folder));
  const std::vector<std::string> Programs = ResolveAll(ProgramsFolders);
  FProductFolders.clear();
  FRecordedFolders.clear();

  FInstallFolder = Resolve(InstallFolder.empty() ? ExtractFilePath(FListFileName) : InstallFolder);
  if (MayBeProductFolder(FInstallFolder)) FProductFolders.insert(FoldPath(FInstallFolder));

  // The installation records the program group last.
  std::string Group;
  for (int I = FList.Items.Count() - 1; I >= 0; --I) {
    const auto* Dir = FList.Items.Items(I).AsDir();
    if (!Dir || Dir->DirName.empty()) continue;
    Group = Resolve(Dir->DirName);
    if (MayBeProductFolder(Group) &&
        std::any_of(Programs.begin(), Programs.end(), [&](const std::string& P) { return IsInside(Group, P); }))
      FProductFolders.insert(FoldPath(Group));
    else
      Group.clear();
    break;
  }
  // The folders between a system folder (Program Files, the Start menu's Programs) and the
  // installation folder or the program group ("Vendor" of "Vendor\Product"), which the
  // installation made on its way there: removed when left empty, with nothing in them taken
  // for the product's.
  auto Above = [&](const std::string& Path) {
    auto InsideOneOf = [&](const std::vector<std::string>& Folders) {
      return std::any_of(Folders.begin(), Folders.end(), [&](const std::string& F) { return IsInside(Path, F); });
    };
    return ListVerified && ((!Group.empty() && IsInside(Group, Path)) || IsInside(FInstallFolder, Path)) &&
           (InsideOneOf(Programs) || InsideOneOf(FSystemFolders));
  };
  if (ListVerified) {
    for (int I = 0; I < FList.Items.Count(); ++I) {
      const auto* Dir = FList.Items.Items(I).AsDir();
      if (!Dir || Dir->DirName.empty()) continue;
      const std::string Path = Resolve(Dir->DirName);
      if (MayBeProductFolder(Path)) FProductFolders.insert(FoldPath(Path));
    }
  }

  for (int I = FList.Items.Count() - 1; I >= 0; --I) {
    const auto* Dir = FList.Items.Items(I).AsDir();
    if (!Dir || Dir->DirName.empty()) continue;
    const std::string Path = Resolve(Dir->DirName);
    if (!Path.empty() && !Dir->UnInstallWhole && Above(Path)) {
      FRecordedFolders.push_back({Path, false, true});
      continue;
    }
    if (Path.empty() || !MayBeProductFolder(Path) || !IsProducts(Path, true)) {
      Refuse(Dir->DirName, Path, true);
      continue;
    }
    FRecordedFolders.push_back({Path, Dir->UnInstallWhole != 0, true});
  }
}

bool TRemovalPlan::IsAddinCopy(const std::string& Path) {
  if (!ListVerified) return false;
  return FAddinFolders.count(FoldPath(ParentFolder(Path))) != 0;
}

bool TRemovalPlan::IsProducts(const std::string& Path, bool IsFolder) {
  // The folders that hold the path (a folder counts as holding itself), innermost first, up to
  // the outermost of the product's folders among them. No link may lie on that way: the path
  // would lead somewhere else. The path itself may be a link; it then goes as a link.
  std::vector<std::string> Way;
  std::size_t Outermost = 0;
  bool Found = false;
  for (std::string Up = IsFolder ? Path : ParentFolder(Path); !Up.empty(); Up = ParentFolder(Up)) {
    Way.push_back(Up);
    if (FProductFolders.count(FoldPath(Up))) {
      Outermost = Way.size();
      Found = true;
    }
  }
  if (!Found) return false;
  for (std::size_t I = IsFolder ? 1 : 0; I < Outermost; ++I) {
    const std::string Folded = FoldPath(Way[I]);
    auto It = FLinks.find(Folded);
    if (It == FLinks.end()) It = FLinks.emplace(Folded, FSystem->IsLink(Way[I])).first;
    if (It->second) return false;
  }
  return true;
}

void TRemovalPlan::Refuse(const std::string& Original, const std::string& Canonical, bool IsFolder) {
  // A path in an accepted form is looked at: what is not there was not left behind. Network
  // and device forms are not even looked at.
  if (!Canonical.empty() && !(IsFolder ? FSystem->DirectoryExists(Canonical) : FSystem->FileExists(Canonical))) return;
  Note(TRemovalNote::Refused, Original);
}

void TRemovalPlan::ReadCountedFiles() {
  FCounted.clear();
  IRegistry& Reg = *FRegistry;
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  if (!Reg.OpenKey(cSharedDllsKey, false)) return;
  for (const auto& Name : Reg.GetValueNames()) {
    bool Counted = true;  // a counter of another type is not ours to interpret: the file stays
    try {
      Counted = Reg.ReadInteger(Name) > 0;
    } catch (const Exception&) {
    }
    std::string Canonical;
    if (Counted && CanonicalPath(Name, Canonical) == TPathRefusal::prNone) FCounted.insert(FoldPath(Canonical));
  }
  Reg.CloseKey();
}

void TRemovalPlan::RemoveFileItem(const TUnInstallFile& File, const std::string& Path) {
  if (File.SharedFile == 0 && FCounted.count(FoldPath(Path))) {
    // Not shared for this product, but another one counts on it: it stays, with what is bound
    // to it.
    FProtected.insert(FoldPath(Path));
    if (FSystem->FileExists(Path)) Note(TRemovalNote::SharedInUse, File.FileName);
    return;
  }
  if (File.SharedFile != 0) {
    const Counter State = LowerSharedCounter(File.FileName);
    if (State != Counter::Removable) {
      // Whatever is bound to the file (its commands, its registration) belongs to it as long as
      // it stays: a server another product still uses must stay registered.
      FProtected.insert(FoldPath(Path));
      if (FSystem->FileExists(Path))
        Note(State == Counter::InUse ? TRemovalNote::SharedInUse : TRemovalNote::NoCounter, File.FileName);
      return;
    }
  }
  if (!File.RunParams.empty() && !ListVerified) {
    // A list that may have been written by anyone names commands that anyone chose.
    Note(TRemovalNote::CommandRefused, File.RunParams);
  } else if (!File.RunParams.empty()) {
    std::size_t Position = 1;
    std::string Piece;
    while (NextToken(File.RunParams, "|", true, Position, Piece)) {
      if (Piece.find_first_not_of(' ') == std::string::npos) continue;
      const std::string Command = ReplaceAll(Piece, "%file%", Path);
      if (!FSystem->RunCommand(Command)) Note(TRemovalNote::CommandFailed, Command);
    }
  }
  if (File.UnRegister != 0 && FSystem->FileExists(Path)) FSystem->UnregisterServer(Path, HasExeExtension(Path));
  DeleteOneFile(Path);
}

TRemovalPlan::Counter TRemovalPlan::LowerSharedCounter(const std::string& FileName) {
  IRegistry& Reg = *FRegistry;
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  if (!Reg.OpenKey(cSharedDllsKey, false)) return Counter::Missing;
  Counter Result = Counter::Missing;
  try {
    if (Reg.ValueExists(FileName)) {
      const std::int32_t Count = Reg.ReadInteger(FileName);
      if (Count > 1) {
        Reg.WriteInteger(FileName, Count - 1);
        Result = Counter::InUse;
      } else if (Count == 1) {
        // The last user leaves no counter behind, as if the file had never been shared.
        Reg.DeleteValue(FileName);
        Result = Counter::Removable;
      }
    }
  } catch (const Exception&) {
    // A counter of another type is not ours to interpret: the file stays.
    Result = Counter::Missing;
  }
  Reg.CloseKey();
  return Result;
}

void TRemovalPlan::DeleteOneFile(const std::string& Path) {
  const std::string Folded = FoldPath(Path);
  if (!DeferredFile.empty() && Folded == FoldPath(DeferredFile)) {
    if (FSystem->FileExists(Path)) {
      FDeferredFiles.push_back(Path);
      FAfterDeferred.insert(Folded);
      FRemovedFiles.push_back(Path);
    }
    return;
  }
  switch (FSystem->RemoveFile(Path)) {
    case IRemovalSystem::DeleteOutcome::Deleted:
      FRemovedFiles.push_back(Path);
      return;
    case IRemovalSystem::DeleteOutcome::Missing:
      return;
    case IRemovalSystem::DeleteOutcome::Busy:
      if (FSystem->ScheduleDeleteAtRestart(Path)) {
        FAtRestart.insert(Folded);
        FRemovedFiles.push_back(Path);
        Note(TRemovalNote::Scheduled, Path);
        return;
      }
      break;
    case IRemovalSystem::DeleteOutcome::Failed:
      break;
  }
  Note(TRemovalNote::NotRemoved, Path);
}

void TRemovalPlan::RemoveUninstallEntry() {
  if (FList.ProductName.empty()) return;
  IRegistry& Reg = *FRegistry;
  const std::string Key = std::string(cUninstallKey) + "\\" + FList.ProductName;
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  if (!Reg.OpenKey(Key, false)) return;
  const std::string Command = Reg.ReadStringOrEmpty("UnInstallString");
  Reg.CloseKey();
  // A later installation of the same product elsewhere took the entry over: it is not ours.
  if (!Command.empty() && !CommandNamesList(Command, FListFileName)) return;
  if (!Reg.DeleteKey(Key)) Note(TRemovalNote::NotRemoved, "HKEY_LOCAL_MACHINE" + Key);
  Reg.CloseKey();
}

std::vector<TRemovalPlan::Folder> TRemovalPlan::FoldersDeepestFirst() const {
  std::vector<Folder> Folders;
  std::unordered_map<std::string, std::size_t> Index;  // folded path -> position in Folders
  auto Add = [&](std::string Path, bool Whole, bool Recorded) {
    if (!IsDriveRoot(Path)) DelBackslash(Path);
    const auto [It, New] = Index.emplace(FoldPath(Path), Folders.size());
    if (!New) {
      Folders[It->second].Whole |= Whole;
      return;
    }
    Folders.push_back({std::move(Path), Whole, Recorded});
  };
  // Only the product's folders are here: no root, nothing that holds a system folder.
  for (const auto& Dir : FRecordedFolders) Add(Dir.Path, Dir.Whole, true);
  // The installation also makes the folders on the way to a file or a recorded folder without
  // recording them ("Data\Examples" for "Data\Examples\a.txt"). Inside a recorded folder they
  // are the product's too: each goes when what was removed leaves it empty. Above the recorded
  // folders nothing is ours.
  std::unordered_set<std::string> Recorded;
  for (const auto& Folder : Folders)
    if (!IsDriveRoot(Folder.Path)) Recorded.insert(FoldPath(Folder.Path));
  auto InsideRecorded = [&](const std::string& FoldedPath) {
    for (auto At = FoldedPath.find('\\'); At != std::string::npos && At + 1 < FoldedPath.size();
         At = FoldedPath.find('\\', At + 1))
      if (Recorded.count(FoldedPath.substr(0, At))) return true;
    return false;
  };
  std::vector<std::string> Starts = FRemovedFiles;
  for (const auto& Folder : Folders) Starts.push_back(Folder.Path);
  for (const auto& Start : Starts) {
    // Each step must shorten the path: in a damaged list "C:\A\b:" is its own folder part.
    for (std::string Up = ExtractFilePath(WithoutBackslash(Start)); Up.size() < Start.size() && InsideRecorded(FoldPath(Up));) {
      Add(Up, false, false);
      std::string Next = ExtractFilePath(WithoutBackslash(Up));
      if (Next.size() >= Up.size()) break;
      Up = std::move(Next);
    }
  }
  auto Depth = [](const std::string& P) { return std::count(P.begin(), P.end(), '\\') - (P.back() == '\\'); };
  std::stable_sort(Folders.begin(), Folders.end(),
                   [&](const Folder& A, const Folder& B) { return Depth(A.Path) > Depth(B.Path); });
  return Folders;
}

bool TRemovalPlan::RemoveFolder(const std::string& Path, bool Whole, bool TopLevel) {
  if (!FSystem->DirectoryExists(Path)) return true;
  const std::string Folded = FoldPath(Path);
  if (std::any_of(FSystemFolders.begin(), FSystemFolders.end(),
                  [&](const std::string& System) { return FoldPath(System) == Folded; }))
    return false;
  // A link recorded as a folder goes as a link: what it points to is not the product's.
  if (FSystem->IsLink(Path)) {
    if (Whole && FSystem->RemoveEmptyFolder(Path)) return true;
    Whole = false;
  }
  bool Remains = false, AtRestart = false, AfterDeferred = false;
  std::string Left;  // the names that stay, for the report
  auto Stays = [&](const IRemovalSystem::Entry& Entry) {
    Remains = true;
    Left += (Left.empty() ? "" : ", ") + Entry.Name + (Entry.IsDirectory ? "\\" : "");
  };
  for (const auto& Entry : FSystem->ListDirectory(Path)) {
    // A name that does not lead one level down would be this folder again.
    if (Entry.Name.empty() || Entry.Name == "." || Entry.Name == ".." ||
        Entry.Name.find_first_of("\\/:") != std::string::npos)
      continue;
    const std::string Child = JoinPath(Path, Entry.Name);
    const std::string FoldedChild = FoldPath(Child);
    if (FAtRestart.count(FoldedChild)) {
      AtRestart = true;
    } else if (FAfterDeferred.count(FoldedChild)) {
      AfterDeferred = true;
    } else if (!Whole || FProtected.count(FoldedChild)) {
      Stays(Entry);
    } else if (!Entry.IsDirectory && FCounted.count(FoldedChild)) {
      // Another product put it here and counts on it, whatever this product's list says.
      Note(TRemovalNote::SharedInUse, Child);
      Stays(Entry);
    } else if (Entry.IsDirectory && Entry.IsLink) {
      if (!FSystem->RemoveEmptyFolder(Child)) {
        Note(TRemovalNote::NotRemoved, Child);
        Stays(Entry);
      }
    } else if (Entry.IsDirectory) {
      if (!RemoveFolder(Child, true, false)) Stays(Entry);
      AtRestart |= FAtRestart.count(FoldedChild) > 0;
      AfterDeferred |= FAfterDeferred.count(FoldedChild) > 0;
    } else {
      const std::size_t NotesBefore = FReport.Notes.size();
      DeleteOneFile(Child);
      if (FAtRestart.count(FoldedChild)) AtRestart = true;
      else if (FAfterDeferred.count(FoldedChild)) AfterDeferred = true;
      else if (FReport.Notes.size() != NotesBefore) Stays(Entry);
    }
  }
  if (Remains) {
    if (TopLevel) FReport.Notes.push_back({TRemovalNote::NotEmpty, Path, std::move(Left)});
    return false;
  }
  if (AtRestart) {
    if (FSystem->ScheduleDeleteAtRestart(Path)) {
      FAtRestart.insert(Folded);
      return true;
    }
  } else if (AfterDeferred) {
    FDeferredFolders.push_back(Path);
    FAfterDeferred.insert(Folded);
    return true;
  } else if (FSystem->RemoveEmptyFolder(Path)) {
    return true;
  }
  Note(TRemovalNote::NotRemoved, Path);
  return false;
}

void TRemovalPlan::FinishDeferred(IRemovalSystem& System, TRemovalReport& Report) {
  FSystem = &System;
  FReport = std::move(Report);
  const std::string Deferred = DeferredFile;
  DeferredFile.clear();
  for (const auto& File : FDeferredFiles) {
    FAfterDeferred.erase(FoldPath(File));
    DeleteOneFile(File);
  }
  // Folders were queued deepest first; each held nothing but what went just now.
  for (const auto& Dir : FDeferredFolders) {
    FAfterDeferred.erase(FoldPath(Dir));
    bool AtRestart = false;
    for (const auto& Entry : FSystem->ListDirectory(Dir))
      AtRestart |= FAtRestart.count(FoldPath(JoinPath(Dir, Entry.Name))) > 0;
    if (AtRestart ? FSystem->ScheduleDeleteAtRestart(Dir) : FSystem->RemoveEmptyFolder(Dir)) {
      if (AtRestart) FAtRestart.insert(FoldPath(Dir));
      continue;
    }
    Note(TRemovalNote::NotRemoved, Dir);
  }
  FDeferredFiles.clear();
  FDeferredFolders.clear();
  DeferredFile = Deferred;
  Report = std::move(FReport);
}

}  // namespace setup
