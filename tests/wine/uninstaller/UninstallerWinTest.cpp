#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "uninstaller/UninstallerRun.h"
#include "UninstallerSupport.h"
#include "shared/LinksWin.h"
#include "system/Encoding.h"

using namespace setup;
using namespace uninstaller_test;
using services_test::ClearMark;
using services_test::ReadMark;
using services_test::RecorderLog;

namespace {

class UninstallerRun : public ::testing::Test {
 protected:
  void SetUp() override {
    Name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Root = GetTempDir() + "Удаление " + Name + "\\";
    // A run of this test stopped halfway leaves its entries, counters and files: they would
    // count as the machine's own in the snapshots below.
    RemoveOwn();
    MakeDirs(Root);
    // A temporary folder of the test's own (the uninstallers it starts inherit it): what the
    // tests running beside it in the same prefix put in theirs is not seen here.
    SharedTemp = GetTempDir();
    MakeDirs(Root + "Temp\\");
    SetEnvironmentVariableW(L"TMP", ToWide(Root + "Temp\\").c_str());
    SetEnvironmentVariableW(L"TEMP", ToWide(Root + "Temp\\").c_str());
    SharedBefore = ValuesOf(cSharedDllsKey);
    EntriesBefore = SubKeysOf(cUninstallKey);
  }
  void TearDown() override {
    RegistryWin Reg;
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    for (const auto& Key : SubKeysOf(cUninstallKey))
      if (std::find(EntriesBefore.begin(), EntriesBefore.end(), Key) == EntriesBefore.end())
        Reg.DeleteKey(std::string(cUninstallKey) + "\\" + Key);
    SetEnvironmentVariableW(L"TMP", ToWide(SharedTemp).c_str());
    SetEnvironmentVariableW(L"TEMP", ToWide(SharedTemp).c_str());
    RemoveOwn();
  }
  // What this test makes: the entries of its products (named after it), the counters of files
  // under Root, and Root.
  void RemoveOwn() {
    RegistryWin Reg;
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    for (const auto& Key : SubKeysOf(cUninstallKey))
      if (Key.rfind("Удаление тест " + Name, 0) == 0) Reg.DeleteKey(std::string(cUninstallKey) + "\\" + Key);
    if (Reg.OpenKey(cSharedDllsKey, false))
      for (const auto& Value : Reg.GetValueNames())
        if (Value.rfind(Root, 0) == 0) Reg.DeleteValue(Value);
    std::error_code Ignored;
    std::filesystem::remove_all(std::filesystem::path(ToWide(Root)), Ignored);
  }
  static void SetUpTestSuite() {
    // Counters are kept only where the system has the key.
    RegistryWin Reg;
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    Reg.OpenKey(cSharedDllsKey, true);
  }

  std::string Name, Root, SharedTemp;
  std::vector<std::string> SharedBefore, EntriesBefore;
};

}  // namespace

TEST_F(UninstallerRun, SilentRemovalTakesEverythingTheRulesLetGo) {
  Product Demo("Удаление тест " + Name, "TEST-UNINSTALLER", Root + "Программа\\");
  const std::string Group = Root + "Меню\\Демо\\";
  const std::string App = Demo.File(Demo.Folder + "app.txt", 0, 0, "cmd /c del \"%file%.ran\"|");
  WriteBytes(App + ".ran", "made after installation");
  SetFileAttributesW(ToWide(App).c_str(), FILE_ATTRIBUTE_READONLY);
  Demo.File(Group + "Приложение.lnk");
  const std::string Server = Demo.Fixture(FIXTURE_VERSIONED_SERVER, Demo.Folder + "Bin\\server.dll", 1);
  const std::string Tool = Demo.Fixture(FIXTURE_RECORDER, Demo.Folder + "Bin\\tool.exe", 1);
  Demo.File(Demo.Folder + "Data\\base.dat");
  Demo.Dir(Demo.Folder + "Bin");
  Demo.Dir(Demo.Folder + "Data", 1);
  Demo.Dir(Demo.Folder + "Docs", 0);
  Demo.Dir(Group);
  Demo.Register();
  // What the program and its user made after the installation.
  WriteBytes(Demo.Folder + "Data\\cache.bin", "program data");
  MakeDirs(Demo.Folder + "Data\\Журналы");
  WriteBytes(Demo.Folder + "Data\\Журналы\\1.log", "log");
  WriteBytes(Demo.Folder + "Docs\\мой отчёт.doc", "the user's");
  ClearMark(L"VersionedServerUnregistered");
  RecorderLog Log(Root + "recorder.log");

  EXPECT_EQ(Demo.RemoveSilently(), 0);

  EXPECT_FALSE(Exists(App));
  EXPECT_FALSE(Exists(App + ".ran")) << "the removal command did not run";
  EXPECT_FALSE(Exists(Group)) << "the program group stayed";
  EXPECT_FALSE(Exists(Demo.Folder + "Bin"));
  EXPECT_FALSE(Exists(Demo.Folder + "Data")) << "a folder removed as a whole stayed";
  EXPECT_EQ(ReadMark(L"VersionedServerUnregistered"), Server);
  EXPECT_EQ(Log.Field("cmdline"), Tool + " /UnregServer");
  // The user's document keeps its folders; everything else of the product went, the list and
  // the uninstaller that was started included.
  EXPECT_TRUE(Exists(Demo.Folder + "Docs\\мой отчёт.doc"));
  EXPECT_FALSE(Exists(Demo.Setup.ListFileName));
  EXPECT_TRUE(WaitFor([&] { return !Exists(Demo.Folder + "UnInstall.exe"); }, 10000));
  EXPECT_FALSE(Demo.EntryExists());
  EXPECT_EQ(SubKeysOf(cUninstallKey), EntriesBefore);
  ClearMark(L"VersionedServerUnregistered");
}

TEST_F(UninstallerRun, TheWholeInstallationFolderGoesWhenNothingElseIsInIt) {
  Product Demo("Удаление тест " + Name, "TEST-UNINSTALLER", Root + "Пустая программа\\");
  Demo.File(Demo.Folder + "a.txt");
  Demo.File(Demo.Folder + "Sub\\b.txt");
  Demo.Dir(Demo.Folder + "Sub");
  Demo.Register();
  // Installed from a cabinet that marked it read-only, as files of a product often are.
  SetFileAttributesW(ToWide(Demo.Folder + "UnInstall.exe").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(Demo.RemoveSilently(), 0);
  EXPECT_TRUE(WaitFor([&] { return !Exists(Demo.Folder); }, 10000)) << "the installation folder stayed";
  EXPECT_TRUE(Exists(Root));
}

TEST_F(UninstallerRun, AListNamedRelativeToTheCurrentFolderIsFound) {
  Product Demo("Удаление тест " + Name, "TEST-UNINSTALLER", Root + "Программа\\");
  const std::string App = Demo.File(Demo.Folder + "Bin\\app.txt");
  Demo.Dir(Demo.Folder + "Bin");
  Demo.Register();
  // Started in the installation folder with the list's bare name, as a person at a console
  // would; the copy works in the temporary folder, yet reads the same list.
  EXPECT_EQ(RunCommand("\"" + Demo.Folder + "UnInstall.exe\" uninst.lst /silence", nullptr, Demo.Folder), 0);
  EXPECT_TRUE(WaitFor([] { return !TempCopyLeft(); })) << "the temporary copy stayed";
  EXPECT_FALSE(Exists(App));
  EXPECT_FALSE(Demo.EntryExists());
}

TEST_F(UninstallerRun, ASharedFileGoesWithTheLastOfTheProductsThatInstalledIt) {
  const std::string Shared = Root + "Common\\shared.txt";
  Product First("Удаление тест " + Name + " 1", "TEST-FIRST", Root + "First\\");
  Product Second("Удаление тест " + Name + " 2", "TEST-SECOND", Root + "Second\\");
  // Each records the shared folder, as a DIR record of its script makes it.
  First.File(Shared, 1);
  First.Dir(Root + "Common");
  First.Register();
  // The second installation finds the file there and counts itself in.
  Second.File(Shared, 1);
  Second.Dir(Root + "Common");
  Second.Register();
  ASSERT_EQ(Counter(Shared), 2);

  EXPECT_EQ(First.RemoveSilently(), 0);
  EXPECT_TRUE(Exists(Shared));
  EXPECT_EQ(Counter(Shared), 1);
  EXPECT_TRUE(Second.EntryExists());

  EXPECT_EQ(Second.RemoveSilently(), 0);
  EXPECT_FALSE(Exists(Shared));
  // The registry is as it was before either installation.
  EXPECT_EQ(ValuesOf(cSharedDllsKey), SharedBefore);
  EXPECT_EQ(SubKeysOf(cUninstallKey), EntriesBefore);
}

TEST_F(UninstallerRun, ASharedFileWithoutCounterStaysAndTheStatusSaysSo) {
  Product Demo("Удаление тест " + Name, "TEST-UNINSTALLER", Root + "Программа\\");
  const std::string Shared = Demo.File(Root + "Common\\shared.txt", 1);
  Demo.Dir(Root + "Common");
  Demo.Register();
  {
    RegistryWin Reg;
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    ASSERT_TRUE(Reg.OpenKey(cSharedDllsKey, false));
    Reg.DeleteValue(Shared);
  }
  EXPECT_EQ(Demo.RemoveSilently(), 1);
  EXPECT_TRUE(Exists(Shared));
  EXPECT_FALSE(Demo.EntryExists());
}

TEST_F(UninstallerRun, ABusyFileIsDeletedAtTheNextRestart) {
  Product Demo("Удаление тест " + Name, "TEST-UNINSTALLER", Root + "Программа\\");
  const std::string Held = Demo.File(Demo.Folder + "held.dll");
  Demo.Register();
  PendingRenames Pending;
  const std::string Event = "uninstaller-test-held-" + std::to_string(GetCurrentProcessId());
  HANDLE Locker = nullptr;
  ASSERT_EQ(RunCommand("\"" + FixturePath(FIXTURE_LOCKER) + "\" \"" + Held + "\" " + Event, &Locker), 0);
  HANDLE Ready = CreateEventW(nullptr, TRUE, FALSE, ToWide(Event + ".ready").c_str());
  HANDLE Stop = CreateEventW(nullptr, TRUE, FALSE, ToWide(Event).c_str());
  ASSERT_EQ(WaitForSingleObject(Ready, 30000), WAIT_OBJECT_0);

  EXPECT_EQ(Demo.RemoveSilently(), 1);
  EXPECT_TRUE(Exists(Held));
  const std::string Scheduled = Pending.Text();
  EXPECT_NE(Scheduled.find(Held), std::string::npos) << Scheduled;
  // The folder that holds it goes after it.
  EXPECT_NE(Scheduled.find(WithoutBackslash(Demo.Folder)), std::string::npos) << Scheduled;
  EXPECT_FALSE(Demo.EntryExists());

  SetEvent(Stop);
  WaitForSingleObject(Locker, 30000);
  for (HANDLE H : {Locker, Ready, Stop}) CloseHandle(H);
}

TEST_F(UninstallerRun, ADamagedOrMissingListRemovesNothing) {
  Product Demo("Удаление тест " + Name, "TEST-UNINSTALLER", Root + "Программа\\");
  const std::string App = Demo.File(Demo.Folder + "app.txt");
  Demo.Register();
  const std::string Intact = ReadBytes(Demo.Setup.ListFileName);
  // A list cut short: it names more items than it holds.
  WriteBytes(Demo.Setup.ListFileName, Intact.substr(0, Intact.find("ItemType1")));

  EXPECT_EQ(Demo.RemoveSilently(), 2);
  EXPECT_TRUE(Exists(App));
  EXPECT_TRUE(Exists(Demo.Folder + "UnInstall.exe"));
  EXPECT_TRUE(Demo.EntryExists());

  const std::string Uninstaller = "\"" + Demo.Folder + "UnInstall.exe\"";
  EXPECT_EQ(RunCommand(Uninstaller + " \"" + Demo.Folder + "missing.lst\" /silence"), 2);
  EXPECT_EQ(RunCommand(Uninstaller + " /silence"), 2);
  EXPECT_TRUE(WaitFor([] { return !TempCopyLeft(); })) << "the temporary copy stayed";
  EXPECT_TRUE(Exists(App));
}

// Another account's link in the temporary folder, named as the uninstaller's copy is named, to
// a library of somebody else's: the uninstaller neither writes through it nor runs or deletes
// what it leads to.
TEST_F(UninstallerRun, ALinkInTheTemporaryFolderIsNeitherWrittenThroughNorRunNorDeleted) {
  Product Demo("Удаление тест " + Name, "TEST-UNINSTALLER", Root + "Программа\\");
  const std::string App = Demo.File(Demo.Folder + "app.txt");
  Demo.Register();
  MakeDirs(Root + "Victim");
  const std::string Victim = Root + "Victim\\target.dll", Planted = GetTempDir() + "UnInstall.exe";
  WriteBytes(Victim, "somebody else's library");
  ASSERT_TRUE(test::MakeLink(Planted, Victim, false));

  const int Status = Demo.RemoveSilently();
  const std::string After = ReadBytes(Victim);
  EXPECT_TRUE(test::RemoveLink(Planted));

  EXPECT_EQ(Status, 0);
  EXPECT_FALSE(Exists(App));
  EXPECT_EQ(After, "somebody else's library");
}

TEST_F(UninstallerRun, AListChangedSinceTheInstallationOrSavedInAnotherEncodingRemovesNothing) {
  Product Demo("Удаление тест " + Name, "TEST-UNINSTALLER", Root + "Программа\\");
  const std::string App = Demo.File(Demo.Folder + "app.txt");
  Demo.Dir(Demo.Folder + "Data", 1);
  Demo.Register();
  const std::string Beside = Root + "Другая программа\\data.txt";
  MakeDirs(ExtractFilePath(Beside));
  WriteBytes(Beside, "another product's");
  const std::string Intact = ReadBytes(Demo.Setup.ListFileName);
  // Whoever may write into the installation folder makes the folder removed as a whole the
  // one beside the product, and runs a command of his own with the uninstaller's rights.
  std::string Changed = Intact;
  const std::string Data = Utf8ToAnsi(Demo.Folder + "Data");
  Changed.replace(Changed.find(Data), Data.size(), Utf8ToAnsi(WithoutBackslash(ExtractFilePath(Beside))));
  Changed.replace(Changed.find("UnRegister0=0\r\n"), 15,
                  "UnRegister0=0\r\nRunParams0=cmd /c del \"" + Utf8ToAnsi(Beside) + "\"\r\n");
  WriteBytes(Demo.Setup.ListFileName, Changed);
  EXPECT_EQ(Demo.RemoveSilently(), 2);
  EXPECT_TRUE(Exists(Beside));
  EXPECT_TRUE(Exists(App));
  EXPECT_TRUE(Exists(Demo.Setup.ListFileName));
  EXPECT_TRUE(Demo.EntryExists());

  // The intact list saved again in UTF-8, for an entry of a setup that kept no digest: its
  // paths would name nothing, yet the list would go and the entry stay.
  {
    RegistryWin Reg;
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    ASSERT_TRUE(Reg.OpenKey(std::string(cUninstallKey) + "\\" + Demo.Setup.ProductName, false));
    Reg.DeleteValue(cListDigestValue);
  }
  WriteBytes(Demo.Setup.ListFileName, AnsiToUtf8(Intact));
  EXPECT_EQ(Demo.RemoveSilently(), 2);
  EXPECT_TRUE(Exists(App));
  EXPECT_TRUE(Exists(Demo.Setup.ListFileName));
  EXPECT_TRUE(Demo.EntryExists());
  // Put back as it was written, the list removes the product, but not while another
  // uninstaller works on it (here: the test holds its mutex, under another form of its path).
  WriteBytes(Demo.Setup.ListFileName, Intact);
  {
    std::string Lower = Demo.Setup.ListFileName;
    for (char& C : Lower) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    const HandleGuard Busy(CreateMutexW(nullptr, FALSE, ToWide(RemovalMutexName(Lower)).c_str()));
    EXPECT_EQ(Demo.RemoveSilently(), 2);
    EXPECT_TRUE(Exists(App));
    EXPECT_TRUE(Demo.EntryExists());
  }
  EXPECT_EQ(Demo.RemoveSilently(), 0);
  EXPECT_FALSE(Exists(App));
  EXPECT_TRUE(Exists(Beside));
}

TEST_F(UninstallerRun, AReinstallRemovesTheEarlierInstallationThroughItsUninstaller) {
  Product Earlier("Удаление тест " + Name, "TEST-REINSTALL", Root + "Программа\\");
  const std::string Old = Earlier.File(Earlier.Folder + "old.txt");
  Earlier.Register();

  // The new installation of the same product into the same folder, as the installer runs it.
  TUnInstall Next;
  Next.ProductName = Earlier.Setup.ProductName;
  Next.ProductID = "TEST-REINSTALL";
  Next.ListFileName = Earlier.Setup.ListFileName;
  RegistryWin Reg;
  Next.RemovePrevious(Reg);

  // When it returns, the earlier uninstaller has done its work, its copy is gone, and so is
  // the folder the copy ran from.
  EXPECT_FALSE(TempCopyLeft());
  WIN32_FIND_DATAW Found;
  const HANDLE Search = FindFirstFileW(ToWide(GetTempDir() + "setup-*").c_str(), &Found);
  EXPECT_EQ(Search, INVALID_HANDLE_VALUE) << "left in the temporary folder: " << FromWide(Found.cFileName);
  if (Search != INVALID_HANDLE_VALUE) FindClose(Search);
  EXPECT_FALSE(Exists(Old));
  EXPECT_FALSE(Exists(Earlier.Setup.ListFileName));
  EXPECT_FALSE(Earlier.EntryExists());
}
