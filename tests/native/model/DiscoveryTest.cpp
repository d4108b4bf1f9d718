#include <gtest/gtest.h>

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
  void Installer(const std::string& Code, const std::string& Name, const std::string& Location) {
    const std::string Key = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\" +
                            Code + "\\InstallProperties";
    Put(RegistryRoot::LocalMachine, Key, "DisplayName", Name);
    Put(RegistryRoot::LocalMachine, Key, "InstallLocation", Location);
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
