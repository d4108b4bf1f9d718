#include <gtest/gtest.h>

#include "shared/TestFiles.h"
#include <filesystem>
#include <fstream>

#include "shared/TestFiles.h"
#include "system/Encoding.h"
#include "system/Errors.h"
#include "system/Files.h"
#include "system/Sha256.h"
#include "uninstall/untUnInstall.h"

using namespace setup;

namespace {

class UninstallRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    Setup.ListFileName = (Dir / "uninst.lst").string();
    Setup.ProductName = "Демо продукт";
    Setup.ProductID = "DEMO-1";
  }

  std::string Touch(const std::string& Name) {
    const auto Path = (Dir / Name).string();
    std::ofstream(Path) << "x";
    return Path;
  }
  void OpenShared(bool Create = true) {
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    ASSERT_TRUE(Reg.OpenKey(cSharedDllsKey, Create));
  }
  void AddEntry(const std::string& Key, const std::string& Id, const std::string& Command) {
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    ASSERT_TRUE(Reg.OpenKey(std::string(cUninstallKey) + "\\" + Key, true));
    Reg.WriteString("ProductID", Id);
    Reg.WriteString("UnInstallString", Command);
    Reg.CloseKey();
  }

  test::TTempDir Temp{"uninstall-test"};
  const std::filesystem::path& Dir = Temp.Path();
  MemoryRegistry Reg;
  TUnInstall Setup;
};

}  // namespace

TEST_F(UninstallRegistration, ListFileIsAnsiWithProductNameLast) {
  Setup.Items.Add(std::make_unique<TUnInstallFile>("C:\\Программы\\demo.exe", 0, 0, ""));
  Setup.SaveList();
  const std::string Bytes = LoadBytesFromFile(Setup.ListFileName);
  EXPECT_EQ(Bytes, Utf8ToCp1251("VersionFile=1\r\nCount=1\r\nItemType0=File\r\nFileName0=C:\\Программы\\demo.exe\r\n"
                                "SharedFile0=0\r\nUnRegister0=0\r\nProductName=Демо продукт\r\n"));
  Setup.ProductName.clear();
  Setup.Items.Clear();
  Setup.SaveList();
  EXPECT_EQ(LoadBytesFromFile(Setup.ListFileName), "VersionFile=1\r\nCount=0\r\n");
}

TEST_F(UninstallRegistration, ListFileThatCannotBeCreatedStopsBeforeTheRegistry) {
  Setup.ListFileName = (Dir / "missing-folder" / "uninst.lst").string();
  OpenShared();
  Reg.CloseKey();
  Setup.Items.Add(std::make_unique<TUnInstallFile>(Touch("shared.dll"), 1, 0, ""));
  try {
    Setup.CreateUninstall(Reg, "C:\\X\\");
    ADD_FAILURE() << "no error";
  } catch (const Exception& E) {
    EXPECT_EQ(std::string(E.what()).rfind("Cannot create file \"" + Setup.ListFileName + "\". ", 0), 0u) << E.what();
  }
  OpenShared(false);
  EXPECT_TRUE(Reg.GetValueNames().empty());
  EXPECT_FALSE(Reg.KeyExists(std::string(cUninstallKey) + "\\Демо продукт"));
}

TEST_F(UninstallRegistration, SharedCountersFollowWhatIsOnDisk) {
  const std::string OnDiskCounted = Touch("counted.dll");
  const std::string OnDiskNew = Touch("new.dll");
  const std::string Gone = (Dir / "gone.dll").string();
  OpenShared();
  Reg.WriteInteger(OnDiskCounted, 2);
  Reg.WriteInteger(Gone, 7);
  Reg.CloseKey();
  Setup.Items.Add(std::make_unique<TUnInstallFile>(OnDiskCounted, 1, 0, ""));
  Setup.Items.Add(std::make_unique<TUnInstallFile>(OnDiskNew, 1, 0, ""));
  Setup.Items.Add(std::make_unique<TUnInstallFile>(Gone, 1, 0, ""));
  Setup.Items.Add(std::make_unique<TUnInstallFile>(Touch("private.dll"), 0, 0, ""));
  Setup.Items.Add(std::make_unique<TUnInstallDir>(Dir.string(), 1));
  Setup.AddSharedRefs(Reg);
  OpenShared(false);
  EXPECT_EQ(Reg.ReadInteger(OnDiskCounted), 3);
  EXPECT_EQ(Reg.ReadInteger(OnDiskNew), 1);
  EXPECT_EQ(Reg.ReadInteger(Gone), 1);
  EXPECT_EQ(Reg.GetValueNames().size(), 3u);
}

TEST_F(UninstallRegistration, NoSharedDllsKeyNoCounters) {
  Setup.Items.Add(std::make_unique<TUnInstallFile>(Touch("a.dll"), 1, 0, ""));
  Setup.AddSharedRefs(Reg);
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  EXPECT_FALSE(Reg.KeyExists(cSharedDllsKey));
}

TEST_F(UninstallRegistration, MistypedCounterEndsTheStepAfterEarlierCounters) {
  const std::string First = Touch("first.dll"), Second = Touch("second.dll");
  OpenShared();
  Reg.WriteString(Second, "not a number");
  Reg.CloseKey();
  Setup.Items.Add(std::make_unique<TUnInstallFile>(First, 1, 0, ""));
  Setup.Items.Add(std::make_unique<TUnInstallFile>(Second, 1, 0, ""));
  EXPECT_THROW(Setup.AddSharedRefs(Reg), Exception);
  OpenShared(false);
  EXPECT_EQ(Reg.ReadInteger(First), 1);
}

TEST_F(UninstallRegistration, UninstallKeyValuesAndCommandLine) {
  EXPECT_EQ(UninstallCommandLine("D:\\Apps\\Demo\\uninst.lst"), "\"D:\\Apps\\Demo\\UnInstall.exe\" \"D:\\Apps\\Demo\\uninst.lst\"");
  Setup.ListFileName = "D:\\Apps\\Demo\\uninst.lst";
  const std::string Product[] = {"2.1.0", "", "https://example.test/"};  // no publisher: no Publisher value
  Setup.ProductTexts = Product;
  Setup.DisplayIcon = "D:\\Apps\\Demo\\demo.exe";
  Setup.EstimatedSize = 4097;
  Setup.WriteUninstallKey(Reg, "D:\\Apps\\Demo\\");
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey(std::string(cUninstallKey) + "\\Демо продукт", false));
  EXPECT_EQ(Reg.GetValueNames(),
            (std::vector<std::string>{"DisplayName", "UnInstallString", "InstallLocation", "ProductID", "QuietUninstallString",
                                      "DisplayIcon", "InstallDate", "DisplayVersion", "URLInfoAbout", "EstimatedSize",
                                      "NoModify", "NoRepair"}));
  EXPECT_EQ(Reg.ReadString("QuietUninstallString"),
            "\"D:\\Apps\\Demo\\UnInstall.exe\" \"D:\\Apps\\Demo\\uninst.lst\" /silence");
  EXPECT_EQ(Reg.ReadString("DisplayVersion") + Reg.ReadString("URLInfoAbout"), "2.1.0https://example.test/");
  EXPECT_EQ(Reg.ReadString("InstallDate"), TodayText());
  EXPECT_EQ(Reg.ReadInteger("EstimatedSize") + Reg.ReadInteger("NoModify") + Reg.ReadInteger("NoRepair"), 4099);
  EXPECT_EQ(Reg.ReadString("DisplayName"), "Демо продукт");
  EXPECT_EQ(Reg.ReadString("UnInstallString"), "\"D:\\Apps\\Demo\\UnInstall.exe\" \"D:\\Apps\\Demo\\uninst.lst\"");
  EXPECT_EQ(Reg.ReadString("InstallLocation"), "D:\\Apps\\Demo\\");
  EXPECT_EQ(Reg.ReadString("ProductID"), "DEMO-1");
}

TEST_F(UninstallRegistration, TheEntryRecordsTheDigestOfTheListItWrote) {
  Setup.Items.Add(std::make_unique<TUnInstallFile>("C:\\Программы\\demo.exe", 0, 0, ""));
  Setup.CreateUninstall(Reg, "C:\\Программы\\");
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey(std::string(cUninstallKey) + "\\Демо продукт", false));
  EXPECT_EQ(Reg.ReadString(cListDigestValue), Sha256Hex(LoadBytesFromFile(Setup.ListFileName)));
  EXPECT_EQ(Reg.ReadString(cListDigestValue).size(), 64u);
}

TEST_F(UninstallRegistration, EmptyProductNameWritesNoKeyButTheList) {
  Setup.ProductName.clear();
  Setup.CreateUninstall(Reg, "C:\\X\\");
  EXPECT_TRUE(IsExistingFile(Setup.ListFileName));
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  EXPECT_FALSE(Reg.KeyExists(cUninstallKey));
}

TEST_F(UninstallRegistration, RemovePreviousRunsOnlySameProductInSameFolder) {
  Setup.ListFileName = "D:\\Apps\\Demo\\uninst.lst";
  const std::string Same = "\"D:\\Apps\\Demo\\UnInstall.exe\" \"D:\\Apps\\Demo\\old.lst\"";
  AddEntry("B entry", "DEMO-1", Same);
  AddEntry("A entry", "DEMO-1", Same + " second");
  AddEntry("C other folder", "DEMO-1", "\"D:\\Apps\\Other\\UnInstall.exe\" \"D:\\Apps\\Other\\u.lst\"");
  AddEntry("D folder case", "DEMO-1", "\"D:\\APPS\\Demo\\UnInstall.exe\" \"x\"");
  AddEntry("E id case", "demo-1", Same);
  AddEntry("F unrelated", "OTHER", Same);
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey(std::string(cUninstallKey) + "\\0 broken", true));
  Reg.WriteInteger("ProductID", 1);  // not a string: this entry is skipped, the rest still run
  Reg.CloseKey();

  std::vector<std::string> Ran, Removed;
  Setup.RunUninstaller = [&](const std::string& C) {
    Ran.push_back(C);
    return C != Same;  // the first one "fails to start": its copy is not waited for
  };
  Setup.WaitForUninstaller = [&](const std::string& C) {
    Removed.push_back(C);
    return true;
  };
  Setup.RemovePrevious(Reg);
  EXPECT_EQ(Ran, (std::vector<std::string>{Same + " second", Same}));  // subkey order
  EXPECT_EQ(Removed, (std::vector<std::string>{Same + " second"}));
}

TEST_F(UninstallRegistration, RemovePreviousWithoutUninstallKeyDoesNothing) {
  int Calls = 0;
  Setup.RunUninstaller = [&](const std::string&) { return ++Calls > 0; };
  Setup.RemovePrevious(Reg);
  EXPECT_EQ(Calls, 0);
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  EXPECT_FALSE(Reg.KeyExists(cUninstallKey));
}

TEST_F(UninstallRegistration, RemovePreviousMatchesNothingWithoutAnIdentifierOrAFolder) {
  // An MSI product's entry has neither an identifier nor our uninstaller: it must never be run.
  AddEntry("{90120000-0030-0000-0000-0000000FF1CE}", "", "MsiExec.exe /X{90120000-0030-0000-0000-0000000FF1CE}");
  AddEntry("Same folder, no id", "", "\"D:\\Apps\\Demo\\UnInstall.exe\" \"x\"");
  AddEntry("No folder", "DEMO-1", "\"UnInstall.exe\" \"uninst.lst\"");
  std::vector<std::string> Ran;
  Setup.RunUninstaller = [&](const std::string& C) {
    Ran.push_back(C);
    return true;
  };
  Setup.ProductID = "";
  Setup.ListFileName = "D:\\Apps\\Demo\\uninst.lst";
  Setup.RemovePrevious(Reg);
  Setup.ProductID = "DEMO-1";
  Setup.ListFileName = "uninst.lst";  // resolved to no folder at all
  Setup.RemovePrevious(Reg);
  EXPECT_TRUE(Ran.empty()) << Ran.front();
}

TEST_F(UninstallRegistration, AnUninstallerThatDoesNotFinishIsWaitedForAgainOrStopsTheInstallation) {
  Setup.ListFileName = "D:\\Apps\\Demo\\uninst.lst";
  const std::string Old = "\"D:\\Apps\\Demo\\UnInstall.exe\" \"D:\\Apps\\Demo\\uninst.lst\"";
  AddEntry("Demo", "DEMO-1", Old);
  Setup.RunUninstaller = [](const std::string&) { return true; };
  int Waits = 0;
  Setup.WaitForUninstaller = [&](const std::string&) { return ++Waits >= 3; };  // gone on the third wait
  std::vector<std::string> Asked;
  Setup.WaitAgain = [&](const std::string& Program) {
    Asked.push_back(Program);
    return true;
  };
  Setup.RemovePrevious(Reg);
  EXPECT_EQ(Waits, 3);
  EXPECT_EQ(Asked, (std::vector<std::string>{"D:\\Apps\\Demo\\UnInstall.exe", "D:\\Apps\\Demo\\UnInstall.exe"}));

  // Refusing to wait (or nobody to ask) stops with an error naming the uninstaller.
  Waits = -100;
  Setup.WaitAgain = [](const std::string&) { return false; };
  try {
    Setup.RemovePrevious(Reg);
    FAIL() << "went on while the old uninstaller may still run";
  } catch (const Exception& Error) {
    EXPECT_EQ(std::string(Error.what()),
              "Удаление предыдущей установки не завершилось: программа <D:\\Apps\\Demo\\UnInstall.exe> продолжает работу");
  }
  Setup.WaitAgain = nullptr;
  EXPECT_THROW(Setup.RemovePrevious(Reg), Exception);
}
