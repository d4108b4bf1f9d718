#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "system/Encoding.h"
#include "system/Files.h"
#include "system/RegistryWin.h"
#include "system/SystemWin.h"
#include "system/WideWin.h"
#include "uninstall/untUnInstall.h"

using namespace setup;

namespace {

// Wine maps the host's root to drive Z:.
std::string WindowsPath(const std::string& HostPath) {
  std::string Path = "Z:" + HostPath;
  for (auto& C : Path)
    if (C == '/') C = '\\';
  return Path;
}

class UninstallOnWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = GetTempDir() + "uninstall-win-" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
    // What an earlier run left (a program still running then keeps it from going) must not
    // count as this run's.
    std::error_code Ignored;
    std::filesystem::remove_all(PathFromUtf8(Folder), Ignored);
    MakeDirs(Folder);
    Setup.ListFileName = Folder + "uninst.lst";
    Setup.ProductName = "Тестовый продукт " + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
    Setup.ProductID = "TEST-PRODUCT";
  }
  void TearDown() override {
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    Reg.DeleteKey(std::string(cUninstallKey) + "\\" + Setup.ProductName);
    std::error_code Ignored;
    std::filesystem::remove_all(PathFromUtf8(Folder), Ignored);
  }
  std::string Folder;
  RegistryWin Reg;
  TUnInstall Setup;
};

}  // namespace

TEST_F(UninstallOnWindows, CreateUninstallWritesListCountersAndEntry) {
  const std::string Shared = Folder + "shared.dll";
  SaveBytesToFile(Shared, "x");
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey(cSharedDllsKey, true));
  Reg.WriteInteger(Shared, 2);
  Reg.CloseKey();
  Setup.Items.Add(std::make_unique<TUnInstallFile>(Shared, 1, 1, "%file% /u"));
  Setup.Items.Add(std::make_unique<TUnInstallDir>(Folder, 0));
  Setup.CreateUninstall(Reg, Folder);

  EXPECT_EQ(LoadBytesFromFile(Setup.ListFileName),
            Utf8ToCp1251("VersionFile=1\r\nCount=2\r\nItemType0=File\r\nFileName0=" + Shared +
                         "\r\nSharedFile0=1\r\nUnRegister0=1\r\nRunParams0=%file% /u\r\nItemType1=Dir\r\nDirName1=" +
                         Folder + "\r\nUnInstallWhole1=0\r\nProductName=" + Setup.ProductName + "\r\n"));
  ASSERT_TRUE(Reg.OpenKey(cSharedDllsKey, false));
  EXPECT_EQ(Reg.ReadInteger(Shared), 3);
  Reg.DeleteValue(Shared);
  ASSERT_TRUE(Reg.OpenKey(std::string(cUninstallKey) + "\\" + Setup.ProductName, false));
  EXPECT_EQ(Reg.ReadString("DisplayName"), Setup.ProductName);
  EXPECT_EQ(Reg.ReadString("UnInstallString"), "\"" + Folder + "UnInstall.exe\" \"" + Setup.ListFileName + "\"");
  EXPECT_EQ(Reg.ReadString("InstallLocation"), Folder);
  EXPECT_EQ(Reg.ReadString("ProductID"), "TEST-PRODUCT");
}

TEST_F(UninstallOnWindows, RemovePreviousRunsTheUninstallerSilentlyAndWaitsForWhatItStarted) {
  // An earlier installation in the same folder, with its uninstaller beside its list.
  const std::string Uninstaller = Folder + "UnInstall.exe";
  ASSERT_TRUE(CopyFileW(ToWide(WindowsPath(FAKE_UNINSTALLER)).c_str(), ToWide(Uninstaller).c_str(), FALSE));
  const std::string OldList = Folder + "old.lst";
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(Reg.OpenKey(std::string(cUninstallKey) + "\\" + Setup.ProductName, true));
  Reg.WriteString("ProductID", "TEST-PRODUCT");
  Reg.WriteString("UnInstallString", "\"" + Uninstaller + "\" \"" + OldList + "\"");
  Reg.CloseKey();

  Setup.RemovePrevious(Reg);

  // It ran once with the list and " /silence", and the program it left the work to, which
  // outlived it, had ended too.
  const std::string Ran = LoadBytesFromFile(OldList + ".ran");
  const std::wstring Arguments(reinterpret_cast<const wchar_t*>(Ran.data()), Ran.size() / sizeof(wchar_t));
  EXPECT_EQ(Arguments, ToWide(OldList) + L"\n/silence\n");
  EXPECT_TRUE(FileExists(OldList + ".done")) << "the installer went on while the earlier uninstaller worked";
}

TEST_F(UninstallOnWindows, AnUninstallerThatCannotStartIsSkipped) {
  EXPECT_FALSE(RunUninstallerSilent("\"" + Folder + "missing\\UnInstall.exe\" \"x\""));
}
