#include "Discovery.h"

#include "system/Errors.h"
#include "system/Paths.h"

namespace setup {
namespace {

constexpr const char* cInstallerProducts =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\";
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

void Discover1CProducts(IRegistry& Registry, TInstallInfo& Info) {
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  for (const char* Code : cProducts8) {
    if (!Registry.OpenKeyReadOnly("\\" + std::string(cInstallerProducts) + Code + "\\InstallProperties")) continue;
    const std::string Location = Registry.ReadStringOrEmpty("InstallLocation");
    // An installation without a location cannot receive copies ("Bin" alone would be relative).
    if (!Location.empty())
      Info.Products8.push_back(Product(Registry.ReadStringOrEmpty("DisplayName"), NormalizeDir(Location) + "Bin"));
    Registry.CloseKey();
  }
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
