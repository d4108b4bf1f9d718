#include "Discovery.h"

#include "system/Errors.h"
#include "system/Paths.h"
#include "system/SafePaths.h"

namespace setup {
namespace {

constexpr const char* cInstallerProducts =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\";
constexpr const char* cProducts8[] = {"DC4AFDD41D904404A89C2ABBEAC870E6", "927CCF549877D974986AECA18C90DAAC"};
constexpr const char* cTitles75 = "Software\\1C\\1Cv7\\7.5\\Titles";
constexpr const char* cTitles77 = "Software\\1C\\1Cv7\\7.7\\Titles";

std::unique_ptr<T1SInfo> Product(std::string Name, std::string Path) {
  auto Info = std::make_unique<T1SInfo>();
  Info->Name = std::move(Name);
  Info->Path = std::move(Path);
  Info->Selected = true;
  return Info;
}

void DiscoverGeneration7(IRegistry& Registry, const std::string& Key, TOwnedList<T1SInfo>& Products) {
  if (!Registry.OpenKeyReadOnly("\\" + Key)) return;
  const auto Names = Registry.GetKeyNames();
  Registry.CloseKey();
  for (const auto& Name : Names) {
    if (!Registry.OpenKeyReadOnly("\\" + Key + "\\" + Name)) continue;
    if (Registry.ValueExists("1CPath")) {
      try {
        // Without a folder the copies would go to a path relative to wherever setup runs.
        const std::string Folder = ExtractFilePath(Registry.ReadString("1CPath"));
        if (!Folder.empty()) Products.push_back(Product(Name, Folder));
      } catch (const Exception&) {
        // A value that is not a string is no installation path: as if it were absent.
      }
    }
    Registry.CloseKey();
  }
}

// "1C:Enterprise 8..." or "1С:Предприятие 8...", with a Latin or a Cyrillic letter C.
bool NamesPlatform8(std::string_view Name) {
  if (Name.substr(0, 2) == "1C") Name.remove_prefix(2);
  else if (Name.substr(0, 3) == "1С") Name.remove_prefix(3);
  else return false;
  return Name.substr(0, 13) == ":Enterprise 8" || Name.substr(0, 25) == ":Предприятие 8";
}

// Appends a version 8 installation unless its folder is listed already.
void Add8(TOwnedList<T1SInfo>& Products, std::string Name, std::string Path) {
  const std::string Folded = FoldPath(Path);
  for (const auto& P : Products)
    if (FoldPath(P->Path) == Folded) return;
  Products.push_back(Product(std::move(Name), std::move(Path)));
}

std::string ProgramFilesOf(IRegistry& Registry, RegistryRoot Root) {
  Registry.SetRootKey(Root);
  std::string Folder;
  if (Registry.OpenKeyReadOnly("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion")) {
    Folder = NormalizeDir(Registry.ReadStringOrEmpty("ProgramFilesDir"));
    Registry.CloseKey();
  }
  return Folder;
}

// The Windows Installer's registrations: the two products of the first versions by their
// codes, then every registration of the platform, in the 64-bit view and in the program's own.
void DiscoverRegistered8(IRegistry& Registry, TOwnedList<T1SInfo>& Products) {
  std::vector<std::pair<RegistryRoot, std::string>> Codes;
  for (const char* Code : cProducts8) Codes.emplace_back(RegistryRoot::LocalMachine, Code);
  for (const RegistryRoot Root : {RegistryRoot::LocalMachine64, RegistryRoot::LocalMachine}) {
    Registry.SetRootKey(Root);
    if (!Registry.OpenKeyReadOnly(cInstallerProducts)) continue;
    for (std::string& Code : Registry.GetKeyNames()) Codes.emplace_back(Root, std::move(Code));
    Registry.CloseKey();
  }
  for (std::size_t I = 0; I < Codes.size(); ++I) {
    Registry.SetRootKey(Codes[I].first);
    if (!Registry.OpenKeyReadOnly(cInstallerProducts + Codes[I].second + "\\InstallProperties")) continue;
    std::string Name = Registry.ReadStringOrEmpty("DisplayName");
    const std::string Location = Registry.ReadStringOrEmpty("InstallLocation");
    Registry.CloseKey();
    // An installation without a location cannot receive copies ("Bin" alone would be relative).
    if (!Location.empty() && (I < std::size(cProducts8) || NamesPlatform8(Name)))
      Add8(Products, std::move(Name), NormalizeDir(Location) + "Bin");
  }
}

// The platform's own folders, "<Program Files>\1cv8\<version>\bin" holding 1cv8.exe, the 64-bit
// Program Files first; named as the platform names its installations.
void DiscoverFolders8(IRegistry& Registry, I1CFolders& Folders, TOwnedList<T1SInfo>& Products) {
  const std::string Own = ProgramFilesOf(Registry, RegistryRoot::LocalMachine);
  std::string Native = ProgramFilesOf(Registry, RegistryRoot::LocalMachine64);
  if (FoldPath(Native) == FoldPath(Own)) Native.clear();  // a 32-bit system: one Program Files
  for (int Pass = 0; Pass < 2; ++Pass) {
    if ((Pass == 0 ? Native : Own).empty()) continue;
    const std::string Root = (Pass == 0 ? Native : Own) + "1cv8\\";
    for (const std::string& Version : Folders.SubFolders(Root)) {
      std::string Bin = Root + Version + "\\bin";
      if (!Folders.FileExists(Bin + "\\1cv8.exe")) continue;
      std::string Name = "1С:Предприятие 8";
      if (Pass == 0) Name += " (x86-64)";
      Add8(Products, Name + " (" + Version + ")", std::move(Bin));
    }
  }
}

void ReadTitles(IRegistry& Registry, const char* Key, std::vector<T1CTitle>& Titles) {
  if (!Registry.OpenKeyReadOnly(Key)) return;
  for (const auto& Directory : Registry.GetValueNames())
    Titles.push_back({Registry.ReadStringOrEmpty(Directory), Directory});
  Registry.CloseKey();
}

void WriteTitle(IRegistry& Registry, const char* Key, const std::string& Directory, const std::string& Title) {
  Registry.SetRootKey(RegistryRoot::CurrentUser);
  Registry.OpenKey(Key, true);  // a key that cannot be made shows up as the write error below
  try {
    Registry.WriteString(Directory, Title);
  } catch (...) {
    Registry.CloseKey();
    throw;
  }
  Registry.CloseKey();
}

void Discover(IRegistry& Registry, TOwnedList<T1SInfo>& Products8, TOwnedList<T1SInfo>& Products77,
              TOwnedList<T1SInfo>& Products75, I1CFolders* Folders) {
  DiscoverRegistered8(Registry, Products8);
  if (Folders) DiscoverFolders8(Registry, *Folders, Products8);
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  DiscoverGeneration7(Registry, "SOFTWARE\\1C\\1Cv7\\7.7", Products77);
  DiscoverGeneration7(Registry, "SOFTWARE\\1C\\1Cv7\\7.5", Products75);
}

}  // namespace

void Discover1CProducts(IRegistry& Registry, TInstallInfo& Info, I1CFolders* Folders) {
  Discover(Registry, Info.Products8, Info.Products77, Info.Products75, Folders);
}

std::vector<std::string> Find1CFolders(IRegistry& Registry, I1CFolders* Folders) {
  TOwnedList<T1SInfo> Products8, Products77, Products75;
  Discover(Registry, Products8, Products77, Products75, Folders);
  std::vector<std::string> Paths;
  for (const auto* Products : {&Products8, &Products77, &Products75})
    for (const auto& Product : *Products) Paths.push_back(Product->Path);
  return Paths;
}

std::vector<T1CTitle> Read1CTitles(IRegistry& Registry) {
  std::vector<T1CTitle> Titles;
  Registry.SetRootKey(RegistryRoot::CurrentUser);
  ReadTitles(Registry, cTitles75, Titles);
  ReadTitles(Registry, cTitles77, Titles);
  return Titles;
}

void Write1C75Title(IRegistry& Registry, const std::string& Directory, const std::string& Title) {
  WriteTitle(Registry, cTitles75, Directory, Title);
}

void Write1C77Title(IRegistry& Registry, const std::string& Directory, const std::string& Title) {
  WriteTitle(Registry, cTitles77, Directory, Title);
}

}  // namespace setup
