// The journal of a run's changes, the system wrapper that records them, and their undoing.
#include "system/Paths.h"
#include "untThrd.h"

namespace setup {
namespace {

constexpr unsigned cNormalFile = 0x80;

std::string RootName(RegistryRoot Root) { return Root == RegistryRoot::LocalMachine ? "HKLM\\" : "HKCU\\"; }

}  // namespace

void TChangeJournal::ValueChanging(RegistryRoot Root, const std::string& Key, const std::string& Name, bool Existed,
                                   std::uint32_t Type, const std::vector<std::uint8_t>& Data) {
  TChange Change;
  Change.Kind = chValue;
  Change.Root = Root;
  Change.Path = Key;
  Change.Name = Name;
  Change.Existed = Existed;
  Change.Type = Type;
  Change.Data = Data;
  Changes.push_back(std::move(Change));
}

void TChangeJournal::KeyCreating(RegistryRoot Root, const std::string& Key) {
  TChange Change;
  Change.Kind = chKey;
  Change.Root = Root;
  Change.Path = Key;
  Changes.push_back(std::move(Change));
}

// ---- Recording ----------------------------------------------------------------------------

void TJournaledSystem::Add(TChangeKind Kind, const std::string& Path, const std::string& Backup) {
  TChange Change;
  Change.Kind = Kind;
  Change.Path = Path;
  Change.Backup = Backup;
  FJournal.Changes.push_back(std::move(Change));
}

void TJournaledSystem::RecordNewFolders(const std::string& Dir) {
  std::vector<std::string> Missing;
  for (std::string Folder = WithoutBackslash(Dir); Folder.size() > 3 && !FSystem.FolderExists(Folder);) {
    Missing.push_back(Folder);
    const std::string Parent = WithoutBackslash(ExtractFilePath(Folder));
    if (Parent.size() >= Folder.size()) break;
    Folder = Parent;
  }
  for (auto It = Missing.rbegin(); It != Missing.rend(); ++It) Add(chFolder, *It);
}

void TJournaledSystem::MakeDirs(const std::string& Dir) {
  RecordNewFolders(Dir);
  FSystem.MakeDirs(Dir);
}

std::string TJournaledSystem::CheckWritable(const std::string& Path) {
  RecordNewFolders(ExtractFilePath(Path));
  return FSystem.CheckWritable(Path);
}

int TJournaledSystem::SetAside(const std::string& Path) {
  if (!FSystem.FileExists(Path)) {
    Add(chFile, Path);
    return 0;
  }
  std::string Backup;
  do Backup = ExtractFilePath(Path) + "~setupbk" + std::to_string(++FBackups) + ".tmp";
  while (FSystem.FileExists(Backup));
  Add(chBackup, Path, Backup);
  const int Error = FSystem.RenameFile(Path, Backup);
  if (Error != 0) FJournal.Changes.pop_back();
  return Error;
}

void TJournaledSystem::PutBack(const std::string& Path, std::size_t Mark) {
  if (FJournal.Changes.size() <= Mark) return;
  const TChange& Change = FJournal.Changes[Mark];
  if (Change.Kind == chBackup && FSystem.FileExists(Change.Backup)) {
    FSystem.RemoveFile(Path);
    FSystem.RenameFile(Change.Backup, Path);
  }
  FJournal.Changes.resize(Mark);
}

std::intptr_t TJournaledSystem::CreatePart(const std::string& Path, int& Err) {
  Add(chPart, Path);
  const std::intptr_t Handle = FSystem.FileHandler().Open(Path, 0x8500 /* _O_CREAT | _O_EXCL | _O_BINARY */, 2, Err, nullptr);
  // A file of that name that was there before is not this run's.
  if (Handle == -1) FJournal.Changes.pop_back();
  return Handle;
}

int TJournaledSystem::ReplaceTarget(const std::string& Part, const std::string& Target) {
  const std::size_t Mark = FJournal.Changes.size();
  if (const int Error = SetAside(Target)) return Error;
  const int Error = FSystem.ReplaceTarget(Part, Target);
  if (Error != 0) PutBack(Target, Mark);
  return Error;
}

bool TJournaledSystem::CopyFileTo(const std::string& From, const std::string& To) {
  const std::size_t Mark = FJournal.Changes.size();
  if (SetAside(To) != 0) return false;
  const bool Copied = FSystem.CopyFileTo(From, To);
  if (!Copied) PutBack(To, Mark);
  return Copied;
}

void TJournaledSystem::CreateShellLink(const std::string& Target, const std::string& Arguments,
                                       const std::string& LinkFile) {
  if (SetAside(LinkFile) == 0) FSystem.CreateShellLink(Target, Arguments, LinkFile);
}

std::uint32_t TJournaledSystem::RegisterDllServer(const std::string& Path) {
  Add(chDllServer, Path);
  return FSystem.RegisterDllServer(Path);
}

void TJournaledSystem::RegisterExeServer(const std::string& Path) {
  Add(chExeServer, Path);
  FSystem.RegisterExeServer(Path);
}

// ---- Undoing and keeping ------------------------------------------------------------------

std::vector<std::string> UndoChanges(const std::vector<TChange>& Changes, IInstallSystem& System,
                                     IRegistry& Registry, const std::function<void(const std::string&)>& Log) {
  std::vector<std::string> Left;
  std::vector<const TChange*> Again;
  IRegistryWatch* const Watch = Registry.Watch;
  Registry.Watch = nullptr;
  auto RemoveFile = [&](const std::string& Path) {
    if (!System.FileExists(Path)) return true;
    System.SetAttributes(Path, cNormalFile);
    System.RemoveFile(Path);
    return !System.FileExists(Path);
  };
  for (auto It = Changes.rbegin(); It != Changes.rend(); ++It) {
    const TChange& Change = *It;
    std::string Done, Failed;
    switch (Change.Kind) {
      case chFile:
      case chPart:
        if (!System.FileExists(Change.Path)) break;
        if (RemoveFile(Change.Path)) Done = "removed " + Change.Path;
        else Failed = Change.Path;
        break;
      case chBackup:
        // Without the file set aside, the rename never happened: the earlier file is in place.
        if (!System.FileExists(Change.Backup)) break;
        if (RemoveFile(Change.Path) && System.RenameFile(Change.Backup, Change.Path) == 0)
          Done = "restored " + Change.Path;
        else
          Failed = Change.Path + " (" + Change.Backup + ")";
        break;
      case chFolder:
        if (!System.FolderExists(Change.Path)) break;
        if (System.RemoveEmptyFolder(Change.Path)) Done = "removed " + Change.Path;
        else Failed = Change.Path;
        break;
      case chValue: {
        Registry.SetRootKey(Change.Root);
        if (!Registry.OpenKey("\\" + Change.Path, false)) {
          if (Change.Existed) Failed = RootName(Change.Root) + Change.Path + "\\" + Change.Name;
          break;
        }
        std::uint32_t Type = 0;
        std::vector<std::uint8_t> Data;
        const bool Exists = Registry.ReadRaw(Change.Name, Type, Data);
        bool Ok = true;
        if (Change.Existed) {
          if (!Exists || Type != Change.Type || Data != Change.Data) Ok = Registry.WriteRaw(Change.Name, Change.Type, Change.Data);
        } else if (Exists) {
          Ok = Registry.DeleteValue(Change.Name);
        } else {
          Registry.CloseKey();
          break;
        }
        Registry.CloseKey();
        if (Ok) Done = std::string(Change.Existed ? "restored " : "removed ") + RootName(Change.Root) + Change.Path + "\\" + Change.Name;
        else Failed = RootName(Change.Root) + Change.Path + "\\" + Change.Name;
        break;
      }
      case chKey: {
        Registry.SetRootKey(Change.Root);
        if (!Registry.OpenKey("\\" + Change.Path, false)) break;
        const bool Empty = Registry.GetKeyNames().empty() && Registry.GetValueNames().empty();
        Registry.CloseKey();
        if (Empty && Registry.DeleteKey("\\" + Change.Path)) Done = "removed " + RootName(Change.Root) + Change.Path;
        else Failed = RootName(Change.Root) + Change.Path;
        break;
      }
      case chDllServer:
      case chExeServer: {
        if (!System.FileExists(Change.Path)) break;
        // A server that replaced an earlier file is registered again once that file is back.
        bool Replaced = false;
        for (auto Earlier = It + 1; Earlier != Changes.rend(); ++Earlier)
          Replaced = Replaced || (Earlier->Kind == chBackup && Earlier->Path == Change.Path);
        if (Replaced) {
          Again.push_back(&Change);
          break;
        }
        System.UnregisterServer(Change.Path, Change.Kind == chExeServer);
        Done = "unregistered " + Change.Path;
        break;
      }
    }
    if (!Done.empty()) Log("undo: " + Done);
    if (!Failed.empty()) {
      Log("undo failed: " + Failed);
      Left.push_back(Failed);
    }
  }
  for (auto It = Again.rbegin(); It != Again.rend(); ++It) {
    if ((*It)->Kind == chExeServer) System.RegisterExeServer((*It)->Path);
    else System.RegisterDllServer((*It)->Path);
    Log("undo: registered " + (*It)->Path);
  }
  Registry.Watch = Watch;
  return Left;
}

void CommitChanges(const std::vector<TChange>& Changes, IInstallSystem& System) {
  for (const TChange& Change : Changes)
    if (Change.Kind == chBackup && System.FileExists(Change.Backup)) {
      System.SetAttributes(Change.Backup, cNormalFile);
      System.RemoveFile(Change.Backup);
    }
}

}  // namespace setup
