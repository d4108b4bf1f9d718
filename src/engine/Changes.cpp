// The journal of a run's changes, the system wrapper that records them, and their undoing.
#include "system/Encoding.h"
#include "system/Files.h"
#include "system/Paths.h"
#include "uninstall/untUnInstall.h"
#include "untThrd.h"

namespace setup {
namespace {

constexpr unsigned cNormalFile = 0x80;
// A record that takes back the records from its number on, and one that keeps the run.
constexpr char cDropRecord = 'T', cCommitRecord = 'C';

void PutNumber(std::string& To, std::uint32_t Value) {
  for (int Shift = 0; Shift < 32; Shift += 8) To += static_cast<char>(Value >> Shift & 0xFF);
}

void PutText(std::string& To, std::string_view Text) {
  PutNumber(To, static_cast<std::uint32_t>(Text.size()));
  To += Text;
}

}  // namespace

const char cJournalHeader[] = "setup journal 1\r\n";

// A record: kind, registry root, existed, type (4 bytes), then path, name and data, each as a
// length (4 bytes, least significant first) and its bytes.
void TChangeJournal::Record(TChange Change, bool Durable) {
  if (Store) {
    std::string Bytes{Change.Kind, static_cast<char>(Change.Root), static_cast<char>(Change.Existed)};
    PutNumber(Bytes, Change.Type);
    PutText(Bytes, Change.Path);
    PutText(Bytes, Change.Name);
    PutText(Bytes, {reinterpret_cast<const char*>(Change.Data.data()), Change.Data.size()});
    Store(Bytes, Durable);
  }
  Changes.push_back(std::move(Change));
}

namespace {

std::string MarkRecord(char Kind, std::size_t Number) {
  std::string Bytes{Kind, 0, 0};
  PutNumber(Bytes, static_cast<std::uint32_t>(Number));
  return Bytes.append(12, '\0');
}

}  // namespace

void TChangeJournal::DropFrom(std::size_t Mark) {
  if (Mark >= Changes.size()) return;
  if (Store) Store(MarkRecord(cDropRecord, Mark), false);
  Changes.resize(Mark);
}

void TChangeJournal::Committing() {
  if (Store) Store(MarkRecord(cCommitRecord, Changes.size()), true);
}

void TChangeJournal::Sync() {
  if (Store) Store({}, true);
  FUnsettled = false;
}

std::vector<TChange> ReadJournal(std::string_view Bytes, bool& Committed) {
  std::vector<TChange> Changes;
  Committed = false;
  const std::string_view Header = cJournalHeader;
  if (Bytes.substr(0, Header.size()) != Header) return Changes;
  std::size_t At = Header.size();
  auto Number = [&](std::uint32_t& Value) {
    if (Bytes.size() - At < 4) return false;
    Value = 0;
    for (int Byte = 3; Byte >= 0; --Byte) Value = Value << 8 | static_cast<unsigned char>(Bytes[At + Byte]);
    At += 4;
    return true;
  };
  auto Text = [&](std::string_view& Value) {
    std::uint32_t Size = 0;
    if (!Number(Size) || Bytes.size() - At < Size) return false;
    Value = Bytes.substr(At, Size);
    At += Size;
    return true;
  };
  while (Bytes.size() - At >= 3) {
    TChange Change;
    const char Kind = Bytes[At];
    const auto Root = static_cast<unsigned char>(Bytes[At + 1]);
    const auto Existed = static_cast<unsigned char>(Bytes[At + 2]);
    At += 3;
    std::string_view Path, Name, Data;
    if (!Number(Change.Type) || !Text(Path) || !Text(Name) || !Text(Data) || Root > 2 || Existed > 1) break;
    if (Kind == cDropRecord) {
      if (Change.Type < Changes.size()) Changes.resize(Change.Type);
      continue;
    }
    if (Kind == cCommitRecord) {
      Committed = true;
      break;
    }
    if (std::string_view("DFBPVKSX").find(Kind) == std::string_view::npos) break;
    Change.Kind = static_cast<TChangeKind>(Kind);
    Change.Root = static_cast<RegistryRoot>(Root);
    Change.Existed = Existed != 0;
    Change.Path = Path;
    Change.Name = Name;
    Change.Data.assign(Data.begin(), Data.end());
    Changes.push_back(std::move(Change));
  }
  return Changes;
}

void TChangeJournal::ValueChanging(RegistryRoot Root, const std::string& Key, const std::string& Name, bool Existed,
                                   std::uint32_t Type, const std::vector<std::uint8_t>& Data, bool Settle) {
  FUnsettled = FUnsettled || Existed;
  Record({chValue, Key, Name, Root, Existed, Type, Data}, Settle && FUnsettled);
  if (Settle) FUnsettled = false;
}

void TChangeJournal::KeyCreating(RegistryRoot Root, const std::string& Key) {
  Record({chKey, Key, {}, Root, false, 0, {}});
}

// ---- Recording ----------------------------------------------------------------------------

void TJournaledSystem::Add(TChangeKind Kind, const std::string& Path, const std::string& Backup, bool Existed) {
  TChange Change;
  Change.Kind = Kind;
  Change.Path = Path;
  Change.Name = Backup;
  Change.Existed = Existed;
  // A file renamed aside is the one record that must outlive a power cut.
  FJournal.Record(std::move(Change), Kind == chBackup && !Existed);
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
  if (Error != 0) FJournal.DropFrom(FJournal.Changes.size() - 1);
  return Error;
}

void TJournaledSystem::PutBack(const std::string& Path, std::size_t Mark) {
  if (FJournal.Changes.size() <= Mark) return;
  const TChange& Change = FJournal.Changes[Mark];
  if (Change.Kind == chBackup && FSystem.FileExists(Change.Name)) {
    FSystem.RemoveFile(Path);
    FSystem.RenameFile(Change.Name, Path);
  }
  FJournal.DropFrom(Mark);
}

std::intptr_t TJournaledSystem::CreatePart(const std::string& Path, int& Err) {
  Add(chPart, Path);
  const std::intptr_t Handle = FSystem.FileHandler().Open(Path, 0x8500 /* _O_CREAT | _O_EXCL | _O_BINARY */, 2, Err, nullptr);
  // A file of that name that was there before is not this run's.
  if (Handle == -1) FJournal.DropFrom(FJournal.Changes.size() - 1);
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
      // Settled all together below, before the earlier uninstaller runs.
      FJournal.ValueChanging(RegistryRoot::LocalMachine, Registry.CurrentPath(), Name, Existed, Type, Data, false);
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
    Add(chBackup, Path, Backup, true);
    if (FSystem.LinkFile(Path, Backup) != 0 && !FSystem.CopyFileTo(Path, Backup))
      FJournal.DropFrom(FJournal.Changes.size() - 1);
  }
  for (const std::string& Path : Servers) Add(chDllServer, Path, {}, true);
  // The earlier uninstaller runs next: what it removes comes back only through these records.
  FJournal.Sync();
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
  Add(Kind, Path, {}, Replaced);
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
