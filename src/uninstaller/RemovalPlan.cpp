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

bool IsDriveRoot(std::string_view Path) {
  return Path.size() <= 3 && Path.size() >= 2 && Path[1] == ':';
}

std::string JoinPath(const std::string& Dir, const std::string& Name) { return WithBackslash(Dir) + Name; }

bool HasExeExtension(std::string_view Path) {
  const std::string Folded = FoldPath(Path);
  return Folded.size() >= 4 && Folded.compare(Folded.size() - 4, 4, ".exe") == 0;
}

}  // namespace

std::string FoldPath(std::string_view Path) {
  std::string Out;
  Out.reserve(Path.size());
  for (std::size_t I = 0; I < Path.size(); ++I) {
    const auto C = static_cast<unsigned char>(Path[I]);
    if (C >= 'A' && C <= 'Z') {
      Out.push_back(static_cast<char>(C + 32));
    } else if (C == 0xD0 && I + 1 < Path.size()) {
      // Cyrillic capitals: U+0410..U+042F, U+0400..U+040F (Ё and the others).
      const auto D = static_cast<unsigned char>(Path[I + 1]);
      if (D >= 0x90 && D <= 0x9F) {
        Out += static_cast<char>(0xD0);
        Out += static_cast<char>(D + 0x20);
      } else if (D >= 0xA0 && D <= 0xAF) {
        Out += static_cast<char>(0xD1);
        Out += static_cast<char>(D - 0x20);
      } else if (D >= 0x80 && D <= 0x8F) {
        Out += static_cast<char>(0xD1);
        Out += static_cast<char>(D + 0x10);
      } else {
        Out += static_cast<char>(C);
        Out += static_cast<char>(D);
      }
      ++I;
    } else {
      Out.push_back(static_cast<char>(C));
    }
  }
  if (Out.size() > 1 && Out.back() == '\\' && !IsDriveRoot(Out)) Out.pop_back();
  return Out;
}

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
  FAtRestart.clear();
  FAfterDeferred.clear();
  FDeferredFiles.clear();
  FDeferredFolders.clear();
  FDone = 0;
  FTotal = FList.Items.Count() + 1;

  for (int I = FList.Items.Count() - 1; I >= 0; --I) {
    const auto* File = dynamic_cast<const TUnInstallFile*>(&FList.Items.Items(I));
    if (!File) continue;
    Step(File->FileName);
    if (!File->FileName.empty()) RemoveFileItem(*File);
  }

  Step(FListFileName);
  RemoveUninstallEntry();
  if (!FListFileName.empty()) DeleteOneFile(FListFileName);

  for (const auto& Dir : FoldersDeepestFirst()) {
    if (Dir.Recorded) Step(Dir.Path);
    RemoveFolder(Dir.Path, Dir.Whole, Dir.Recorded);
  }
  if (OnProgress) OnProgress(FTotal, FTotal, std::string());
  return FReport;
}

void TRemovalPlan::RemoveFileItem(const TUnInstallFile& File) {
  if (File.SharedFile != 0) {
    const Counter State = LowerSharedCounter(File.FileName);
    if (State != Counter::Removable) {
      // Whatever is bound to the file (its commands, its registration) belongs to it as long as
      // it stays: a server another product still uses must stay registered.
      FProtected.insert(FoldPath(File.FileName));
      if (FSystem->FileExists(File.FileName))
        Note(State == Counter::InUse ? TRemovalNote::SharedInUse : TRemovalNote::NoCounter, File.FileName);
      return;
    }
  }
  if (!File.RunParams.empty()) {
    std::size_t Position = 1;
    std::string Piece;
    while (NextToken(File.RunParams, "|", true, Position, Piece)) {
      if (Piece.find_first_not_of(' ') == std::string::npos) continue;
      const std::string Command = ReplaceAll(Piece, "%file%", File.FileName);
      if (!FSystem->RunCommand(Command)) Note(TRemovalNote::CommandFailed, Command);
    }
  }
  if (File.UnRegister != 0 && FSystem->FileExists(File.FileName))
    FSystem->UnregisterServer(File.FileName, HasExeExtension(File.FileName));
  DeleteOneFile(File.FileName);
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
  const std::string Command = FoldPath(Reg.ReadStringOrEmpty("UnInstallString"));
  Reg.CloseKey();
  // A later installation of the same product elsewhere took the entry over: it is not ours.
  if (!Command.empty() && Command.find("\"" + FoldPath(FListFileName) + "\"") == std::string::npos) return;
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
  for (int I = FList.Items.Count() - 1; I >= 0; --I) {
    const auto* Dir = dynamic_cast<const TUnInstallDir*>(&FList.Items.Items(I));
    if (!Dir || Dir->DirName.empty()) continue;
    // A root is never taken as a whole: "C:\" recorded whole would be the whole disk. Nor is
    // a folder that holds one of the system's.
    Add(Dir->DirName, Dir->UnInstallWhole != 0 && !IsDriveRoot(Dir->DirName) && !HoldsSystemFolder(Dir->DirName),
        true);
  }
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

bool TRemovalPlan::HoldsSystemFolder(const std::string& Path) const {
  const std::string Folded = FoldPath(Path);
  return std::any_of(SystemFolders.begin(), SystemFolders.end(), [&](const std::string& System) {
    const std::string Folder = FoldPath(System);
    return !Folder.empty() && Folder.compare(0, Folded.size(), Folded) == 0 &&
           (Folder.size() == Folded.size() || Folder[Folded.size()] == '\\' || Folded.back() == '\\');
  });
}

bool TRemovalPlan::RemoveFolder(const std::string& Path, bool Whole, bool TopLevel) {
  if (!FSystem->DirectoryExists(Path)) return true;
  const std::string Folded = FoldPath(Path);
  if (std::any_of(SystemFolders.begin(), SystemFolders.end(),
                  [&](const std::string& System) { return FoldPath(System) == Folded; }))
    return false;
  // A link recorded as a folder goes as a link: what it points to is not the product's.
  if (FSystem->IsLink(Path)) {
    if (Whole && FSystem->RemoveEmptyFolder(Path)) return true;
    Whole = false;
  }
  bool Remains = false, AtRestart = false, AfterDeferred = false;
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
      Remains = true;
    } else if (Entry.IsDirectory && Entry.IsLink) {
      if (!FSystem->RemoveEmptyFolder(Child)) {
        Note(TRemovalNote::NotRemoved, Child);
        Remains = true;
      }
    } else if (Entry.IsDirectory) {
      if (!RemoveFolder(Child, true, false)) Remains = true;
      AtRestart |= FAtRestart.count(FoldedChild) > 0;
      AfterDeferred |= FAfterDeferred.count(FoldedChild) > 0;
    } else {
      const std::size_t NotesBefore = FReport.Notes.size();
      DeleteOneFile(Child);
      if (FAtRestart.count(FoldedChild)) AtRestart = true;
      else if (FAfterDeferred.count(FoldedChild)) AfterDeferred = true;
      else if (FReport.Notes.size() != NotesBefore) Remains = true;
    }
  }
  if (Remains) {
    if (TopLevel) Note(TRemovalNote::NotEmpty, Path);
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
