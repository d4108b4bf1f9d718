#include <gtest/gtest.h>

#include <algorithm>

#include "model/Discovery.h"
#include "system/Errors.h"

using namespace setup;

namespace {

class Discovery : public ::testing::Test {
 protected:
  void Put(RegistryRoot Root, const std::string& Key, const std::string& Name, const std::string& Value) {
    Reg.SetRootKey(Root);
    ASSERT_TRUE(Reg.OpenKey(Key, true));
    Reg.WriteString(Name, Value);
    Reg.CloseKey();
  }
  void Installer(const std::string& Code, const std::string& Name, const std::string& Location,
                 RegistryRoot Root = RegistryRoot::LocalMachine) {
    const std::string Key = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\" +
                            Code + "\\InstallProperties";
    Put(Root, Key, "DisplayName", Name);
    Put(Root, Key, "InstallLocation", Location);
  }
  static std::vector<std::pair<std::string, std::string>> Listed(const TOwnedList<T1SInfo>& Products) {
    std::vector<std::pair<std::string, std::string>> Result;
    for (const auto& P : Products) {
      EXPECT_TRUE(P->Selected);
      Result.emplace_back(P->Name, P->Path);
    }
    return Result;
  }
  MemoryRegistry Reg;
  TInstallInfo Info;
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Folders as a set of existing file paths: a folder's subfolders are the next parts below it.
struct FakeFolders : I1CFolders {
  std::vector<std::string> Files;
  std::vector<std::string> SubFolders(const std::string& Folder) override {
    std::vector<std::string> Names;
    for (const auto& F : Files)
      if (F.rfind(Folder, 0) == 0) {
        const std::string Name = F.substr(Folder.size(), F.find('\\', Folder.size()) - Folder.size());
        if (std::find(Names.begin(), Names.end(), Name) == Names.end()) Names.push_back(Name);
      }
    return Names;
  }
  bool FileExists(const std::string& Path) override { return std::find(Files.begin(), Files.end(), Path) != Files.end(); }
};

}  // namespace

TEST_F(Discovery, NothingInstalledLeavesTheListsEmpty) {
  Discover1CProducts(Reg, Info);
  EXPECT_TRUE(Info.Products8.empty());
  EXPECT_TRUE(Info.Products77.empty());
  EXPECT_TRUE(Info.Products75.empty());
  EXPECT_TRUE(Read1CTitles(Reg).empty());
}

TEST_F(Discovery, FindsEveryGenerationWithItsFolder) {
  Installer("927CCF549877D974986AECA18C90DAAC", "1C:Предприятие 8.1", "");
  Installer("DC4AFDD41D904404A89C2ABBEAC870E6", "1C:Предприятие 8.0", "C:\\Program Files\\1cv81\\");
  const std::string Root77 = "\\SOFTWARE\\1C\\1Cv7\\7.7";
  Put(RegistryRoot::LocalMachine, Root77 + "\\Сетевая", "1CPath", "C:\\1Cv77\\BIN\\1cv7.exe");
  Put(RegistryRoot::LocalMachine, Root77 + "\\Без пути", "Other", "x");
  Put(RegistryRoot::LocalMachine, Root77 + "\\Ahead", "1CPath", "D:1cv7s.exe");
  Put(RegistryRoot::LocalMachine, Root77 + "\\Bare", "1CPath", "1cv7s.exe");  // no folder: cannot take copies
  Put(RegistryRoot::LocalMachine, "\\SOFTWARE\\1C\\1Cv7\\7.5\\Local", "1CPath", "C:\\1Cv75\\BIN\\1cv7.exe");
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey(Root77 + "\\Typed", true));
  Reg.WriteInteger("1CPath", 5);  // not a string: as if there were no path
  Reg.CloseKey();

  Discover1CProducts(Reg, Info);
  EXPECT_EQ(Listed(Info.Products8),
            (Pairs{{"1C:Предприятие 8.0", "C:\\Program Files\\1cv81\\Bin"}}));  // 8.1 has no location
  EXPECT_EQ(Listed(Info.Products77), (Pairs{{"Ahead", "D:"}, {"Сетевая", "C:\\1Cv77\\BIN\\"}}));
  EXPECT_EQ(Listed(Info.Products75), (Pairs{{"Local", "C:\\1Cv75\\BIN\\"}}));
}

TEST_F(Discovery, FindsPlatform8InBothViewsAndFoldersEachFolderOnce) {
  const std::string Pf64 = "C:\\Program Files", Pf32 = "C:\\Program Files (x86)";
  Put(RegistryRoot::LocalMachine64, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", Pf64);
  Put(RegistryRoot::LocalMachine, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", Pf32);
  Installer("1111", "1C:Enterprise 8 (x86-64) (8.3.24.1467)", Pf64 + "\\1cv8\\8.3.24.1467\\", RegistryRoot::LocalMachine64);
  Installer("2222", "1С:Предприятие 8 (8.3.22.1709)", Pf32 + "\\1cv8\\8.3.22.1709\\");
  Installer("3333", "1C:Enterprise 7.7", "C:\\1Cv77\\");        // another generation
  Installer("4444", "Другой продукт", Pf32 + "\\Other\\");         // not the platform
  FakeFolders Folders;
  Folders.Files = {Pf64 + "\\1cv8\\8.3.24.1467\\bin\\1cv8.exe",  // registered as well: listed once
                   Pf64 + "\\1cv8\\8.3.25.1257\\bin\\1cv8.exe", Pf64 + "\\1cv8\\common\\1cestart.exe",
                   Pf32 + "\\1cv8\\8.2.19.130\\bin\\1cv8.exe", Pf32 + "\\1cv8\\8.3.10.1\\bin\\1cv8c.exe"};

  Discover1CProducts(Reg, Info, &Folders);
  EXPECT_EQ(Listed(Info.Products8),
            (Pairs{{"1C:Enterprise 8 (x86-64) (8.3.24.1467)", Pf64 + "\\1cv8\\8.3.24.1467\\Bin"},
                   {"1С:Предприятие 8 (8.3.22.1709)", Pf32 + "\\1cv8\\8.3.22.1709\\Bin"},
                   {"1С:Предприятие 8 (x86-64) (8.3.25.1257)", Pf64 + "\\1cv8\\8.3.25.1257\\bin"},
                   {"1С:Предприятие 8 (8.2.19.130)", Pf32 + "\\1cv8\\8.2.19.130\\bin"}}));

  // A 32-bit system: both views name one Program Files, whose installations carry no bitness.
  TInstallInfo Single;
  MemoryRegistry Plain;
  for (RegistryRoot Root : {RegistryRoot::LocalMachine, RegistryRoot::LocalMachine64}) {
    Plain.SetRootKey(Root);
    ASSERT_TRUE(Plain.OpenKey("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", true));
    Plain.WriteString("ProgramFilesDir", Pf64);
    Plain.CloseKey();
  }
  Discover1CProducts(Plain, Single, &Folders);
  EXPECT_EQ(Listed(Single.Products8), (Pairs{{"1С:Предприятие 8 (8.3.24.1467)", Pf64 + "\\1cv8\\8.3.24.1467\\bin"},
                                             {"1С:Предприятие 8 (8.3.25.1257)", Pf64 + "\\1cv8\\8.3.25.1257\\bin"}}));
}

TEST_F(Discovery, TitlesListBothGenerationsAndRegisteringReplaces) {
  Write1C77Title(Reg, "C:\\Base", "Старое имя");
  Write1C75Title(Reg, "C:\\Base", "Семь пять");
  Write1C77Title(Reg, "D:\\Other", "Другая");
  Write1C77Title(Reg, "C:\\Base", "Новое имя");
  const auto Titles = Read1CTitles(Reg);
  ASSERT_EQ(Titles.size(), 3u);
  EXPECT_EQ(Titles[0].Title, "Семь пять");
  EXPECT_EQ(Titles[0].Directory, "C:\\Base");
  EXPECT_EQ(Titles[1].Directory, "C:\\Base");
  EXPECT_EQ(Titles[1].Title, "Новое имя");
  EXPECT_EQ(Titles[2].Title, "Другая");
  Reg.SetRootKey(RegistryRoot::CurrentUser);
  ASSERT_TRUE(Reg.OpenKey("\\Software\\1C\\1Cv7\\7.7\\Titles", false));
  EXPECT_EQ(Reg.GetValueNames().size(), 2u);
}
