#include "Discovery.h"

#include "system/Errors.h"
#include "system/Paths.h"
#include "system/SafePaths.h"

namespace setup {
namespace {

constexpr const char* cInstallerProducts =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\";
constexpr const char* cInstallerRoot = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products";
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
bool NamesPlatform8(const std::string& Name) {
  std::string_view Rest = Name;
  if (Rest.substr(0, 2) == "1C") Rest.remove_prefix(2);
  else if (Rest.substr(0, 3) == "1С") Rest.remove_prefix(3);
  else return false;
  for (std::string_view Title : {":Enterprise 8", ":Предприятие 8"})
    if (Rest.substr(0, Title.size()) == Title) return true;
  return false;
}

class TProducts8 {
 public:
  explicit TProducts8(TOwnedList<T1SInfo>& Products) : FProducts(Products) {}
  void Add(std::string Name, std::string Path) {
    for (const auto& P : FProducts)
      if (FoldPath(P->Path) == FoldPath(Path)) return;
    FProducts.push_back(Product(std::move(Name), std::move(Path)));
  }

 private:
  TOwnedList<T1SInfo>& FProducts;
};

// Every per-machine Windows Installer product of the platform in the root's view.
void DiscoverInstalled8(IRegistry& Registry, RegistryRoot Root, TProducts8& Products) {
  Registry.SetRootKey(Root);
  if (!Registry.OpenKeyReadOnly(cInstallerRoot)) return;
  const auto Codes = Registry.GetKeyNames();
  Registry.CloseKey();
  for (const auto& Code : Codes) {
    if (!Registry.OpenKeyReadOnly(std::string(cInstallerRoot) + "\\" + Code + "\\InstallProperties")) continue;
    const std::string Name = Registry.ReadStringOrEmpty("DisplayName");
    const std::string Location = Registry.ReadStringOrEmpty("InstallLocation");
    Registry.CloseKey();
    if (NamesPlatform8(Name) && !Location.empty()) Products.Add(Name, NormalizeDir(Location) + "bin");
  }
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

// The platform's own folders, "<Program Files>\1cv8\<version>\bin" holding 1cv8.exe, the 64-bit
// Program Files first; named as the platform names its installations.
void DiscoverFolders8(IRegistry& Registry, I1CFolders& Folders, TProducts8& Products) {
  const std::string Own = ProgramFilesOf(Registry, RegistryRoot::LocalMachine);
  std::string Native = ProgramFilesOf(Registry, RegistryRoot::LocalMachine64);
  if (FoldPath(Native) == FoldPath(Own)) Native.clear();  // a 32-bit system: one Program Files
  const std::pair<const std::string*, const char*> Roots[] = {{&Native, " (x86-64)"}, {&Own, ""}};
  for (const auto& [Root, Bitness] : Roots) {
    if (Root->empty()) continue;
    for (const std::string& Version : Folders.SubFolders(*Root + "1cv8")) {
      const std::string Bin = *Root + "1cv8\\" + Version + "\\bin";
      if (Folders.FileExists(Bin + "\\1cv8.exe"))
        Products.Add("1С:Предприятие 8" + std::string(Bitness) + " (" + Version + ")", Bin);
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

}  // namespace

void Discover1CProducts(IRegistry& Registry, TInstallInfo& Info, I1CFolders* Folders) {
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  for (const char* Code : cProducts8) {
    if (!Registry.OpenKeyReadOnly("\\" + std::string(cInstallerProducts) + Code + "\\InstallProperties")) continue;
    const std::string Location = Registry.ReadStringOrEmpty("InstallLocation");
    // An installation without a location cannot receive copies ("Bin" alone would be relative).
    if (!Location.empty())
      Info.Products8.push_back(Product(Registry.ReadStringOrEmpty("DisplayName"), NormalizeDir(Location) + "Bin"));
    Registry.CloseKey();
  }
  TProducts8 Products(Info.Products8);
  DiscoverInstalled8(Registry, RegistryRoot::LocalMachine64, Products);
  DiscoverInstalled8(Registry, RegistryRoot::LocalMachine, Products);
  if (Folders) DiscoverFolders8(Registry, *Folders, Products);
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  DiscoverGeneration7(Registry, "SOFTWARE\\1C\\1Cv7\\7.7", Info.Products77);
  DiscoverGeneration7(Registry, "SOFTWARE\\1C\\1Cv7\\7.5", Info.Products75);
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
