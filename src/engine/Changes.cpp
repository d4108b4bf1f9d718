// The journal of a run's changes, the system wrapper that records them, and their undoing.
#include "system/Encoding.h"
#include "system/Files.h"
#include "system/Paths.h"
#include "uninstall/untUnInstall.h"
#include "untThrd.h"

namespace setup {
namespace {

constexpr unsigned cNormalFile = 0x80;

}  // namespace

void TChangeJournal::ValueChanging(RegistryRoot Root, const std::string& Key, const std::string& Name, bool Existed,
                                   std::uint32_t Type, const std::vector<std::uint8_t>& Data) {
  Changes.push_back({chValue, Key, Name, Root, Existed, Type, Data});
}

void TChangeJournal::KeyCreating(RegistryRoot Root, const std::string& Key) {
  Changes.push_back({chKey, Key, {}, Root, false, 0, {}});
}

// ---- Recording ----------------------------------------------------------------------------

void TJournaledSystem::Add(TChangeKind Kind, const std::string& Path, const std::string& Backup) {
  TChange Change;
  Change.Kind = Kind;
  Change.Path = Path;
  Change.Name = Backup;
  FJournal.Changes.push_back(std::move(Change));
}

void TJournaledSystem::RecordNewFolders(const std::string& Dir) {
  std::vector<std::string> Missing;
  // Drive roots and a bare server name (\\server) are never created.
  for (std::string Folder = WithoutBackslash(Dir);
       Folder.size() > 3 && Folder.find('\\', 2) != std::string::npos && !FSystem.FolderExists(Folder);) {
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
  if (Change.Kind == chBackup && FSystem.FileExists(Change.Name)) {
    FSystem.RemoveFile(Path);
    FSystem.RenameFile(Change.Name, Path);
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

void TJournaledSystem::KeepEarlier(IRegistry& Registry, const std::string& Key, const std::string& ListFile) {
  auto KeepValues = [&](const std::string& Path, const std::vector<std::string>& Names) {
    Registry.SetRootKey(RegistryRoot::LocalMachine);
    if (!Registry.OpenKey(Path, false)) return;
    for (const std::string& Name : Names.empty() ? Registry.GetValueNames() : Names) {
      std::uint32_t Type = 0;
      std::vector<std::uint8_t> Data;
      const bool Existed = Registry.ReadRaw(Name, Type, Data);
      FJournal.ValueChanging(RegistryRoot::LocalMachine, Registry.CurrentPath(), Name, Existed, Type, Data);
    }
    Registry.CloseKey();
  };
  KeepValues(std::string(cUninstallKey) + "\\" + Key, {});
  std::vector<std::string> Files{ListFile, ExtractFilePath(ListFile) + "UnInstall.exe"}, Shared, Servers;
  // The list's file items: "FileNameN=", then "SharedFileN=" and "UnRegisterN=" of the same item.
  std::string Text;
  try {
    Text = AnsiToUtf8(LoadBytesFromFile(ListFile));
  } catch (const std::exception&) {
  }
  for (std::size_t At = 0; At < Text.size();) {
    std::size_t End = Text.find_first_of("\r\n", At);
    if (End == std::string::npos) End = Text.size();
    const std::string Line = Text.substr(At, End - At);
    At = End + 1;
    const std::size_t Equals = Line.find('=');
    if (Equals == std::string::npos) continue;
    const std::string Value = Line.substr(Equals + 1);
    if (Line.rfind("FileName", 0) == 0) Files.push_back(Value);
    else if (Value == "1" && Line.rfind("SharedFile", 0) == 0) Shared.push_back(Files.back());
    else if (Value == "1" && Line.rfind("UnRegister", 0) == 0) Servers.push_back(Files.back());
  }
  if (!Shared.empty()) KeepValues(cSharedDllsKey, Shared);
  for (const std::string& Path : Files) {
    if (!FSystem.FileExists(Path)) continue;
    std::string Backup;
    do Backup = ExtractFilePath(Path) + "~setupbk" + std::to_string(++FBackups) + ".tmp";
    while (FSystem.FileExists(Backup));
    Add(chBackup, Path, Backup);
    FJournal.Changes.back().Existed = true;
    if (FSystem.LinkFile(Path, Backup) != 0 && !FSystem.CopyFileTo(Path, Backup)) FJournal.Changes.pop_back();
  }
  for (const std::string& Path : Servers) {
    Add(chDllServer, Path);
    FJournal.Changes.back().Existed = true;
  }
}

int TJournaledSystem::ReplaceTarget(const std::string& Part, const std::string& Target, bool TargetExisted) {
  const std::size_t Mark = FJournal.Changes.size();
  if (!TargetExisted)
    Add(chFile, Target);
  else if (const int Error = SetAside(Target))
    return Error;
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

void TJournaledSystem::AddServer(TChangeKind Kind, const std::string& Path) {
  bool Replaced = false;
  for (const TChange& Change : FJournal.Changes) Replaced = Replaced || (Change.Kind == chBackup && Change.Path == Path);
  Add(Kind, Path);
  FJournal.Changes.back().Existed = Replaced;
}

std::uint32_t TJournaledSystem::RegisterDllServer(const std::string& Path) {
  AddServer(chDllServer, Path);
  return FSystem.RegisterDllServer(Path);
}

void TJournaledSystem::RegisterExeServer(const std::string& Path) {
  AddServer(chExeServer, Path);
  FSystem.RegisterExeServer(Path);
}

// ---- Undoing and keeping ------------------------------------------------------------------

std::vector<std::string> UndoChanges(const std::vector<TChange>& Changes, IInstallSystem& System,
                                     IRegistry& Registry, IInstallHost& Host) {
  std::vector<std::string> Left;
  std::vector<const TChange*> Again;
  IRegistryWatch* const Watch = Registry.Watch;
  Registry.Watch = nullptr;
  auto RemoveFile = [&](const std::string& Path) {
    System.SetAttributes(Path, cNormalFile);
    System.RemoveFile(Path);
    return !System.FileExists(Path);
  };
  for (auto It = Changes.rbegin(); It != Changes.rend(); ++It) {
    const TChange& Change = *It;
    std::string What = Change.Path;
    bool Ok = true;
    switch (Change.Kind) {
      case chFile:
      case chPart:
        if (!System.FileExists(What)) continue;
        Ok = RemoveFile(What);
        break;
      case chBackup:
        // Without the file set aside, the rename never happened: the earlier file is in place.
        if (!System.FileExists(Change.Name)) continue;
        // A second name of a file its uninstaller left in place is only taken away again.
        if (Change.Existed && System.FileExists(What)) {
          System.RemoveFile(Change.Name);
          Ok = !System.FileExists(Change.Name) || RemoveFile(Change.Name);
          if (Ok) continue;
        } else {
          Ok = (!System.FileExists(What) || RemoveFile(What)) && System.RenameFile(Change.Name, What) == 0;
        }
        if (!Ok) What += " (" + Change.Name + ")";
        break;
      case chFolder:
        if (!System.FolderExists(What)) continue;
        Ok = System.RemoveEmptyFolder(What);
        break;
      case chValue:
      case chKey:
        if (Change.Root == RegistryRoot::CurrentUser) What = "HKCU\\" + What;
        Registry.SetRootKey(Change.Root);
        if (!Registry.OpenKey("\\" + Change.Path, Change.Existed)) {
          Ok = !Change.Existed;
        } else if (Change.Kind == chKey) {
          Ok = Registry.GetKeyNames().empty() && Registry.GetValueNames().empty();
          Registry.CloseKey();
          Ok = Ok && Registry.DeleteKey("\\" + Change.Path);
        } else {
          What += "\\" + Change.Name;
          Ok = Change.Existed ? Registry.WriteRaw(Change.Name, Change.Type, Change.Data)
                              : (Registry.DeleteValue(Change.Name), true);
          Registry.CloseKey();
        }
        break;
      case chDllServer:
      case chExeServer:
        // A server of the earlier installation, or one that replaced an earlier file, is
        // registered again once every file is back (the earlier one may not be back yet).
        if (Change.Existed) {
          Again.push_back(&Change);
          continue;
        }
        if (!System.FileExists(What)) continue;
        System.UnregisterServer(What, Change.Kind == chExeServer);
        break;
    }
    Host.Log((Ok ? "undo: " : "undo failed: ") + What);
    if (!Ok) Left.push_back(What);
  }
  for (const TChange* Change : Again) {
    if (!System.FileExists(Change->Path)) continue;
    if (Change->Kind == chExeServer) System.RegisterExeServer(Change->Path);
    else System.RegisterDllServer(Change->Path);
    Host.Log("undo: " + Change->Path);
  }
  Registry.Watch = Watch;
  return Left;
}

void CommitChanges(const std::vector<TChange>& Changes, IInstallSystem& System) {
  for (const TChange& Change : Changes)
    if (Change.Kind == chBackup && System.FileExists(Change.Name)) {
      // A second name of a file that still has its first keeps that file's attributes.
      System.RemoveFile(Change.Name);
      if (!System.FileExists(Change.Name)) continue;
      System.SetAttributes(Change.Name, cNormalFile);
      System.RemoveFile(Change.Name);
    }
}

}  // namespace setup
