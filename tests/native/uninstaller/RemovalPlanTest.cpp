#include <gtest/gtest.h>

#include <algorithm>

#include "shared/FakeDisk.h"
#include "system/Registry.h"
#include "uninstall/untUnInstall.h"
#include "uninstaller/RemovalPlan.h"

using namespace setup;

namespace {

const std::string kList = "C:\\Demo\\uninst.lst";

class RemovalPlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    List.ProductName = "Демо";
    Disk.AddFile(kList);
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    Reg.OpenKey(std::string(cUninstallKey) + "\\Демо", true);
    Reg.WriteString("UnInstallString", "\"C:\\Demo\\UnInstall.exe\" \"" + kList + "\"");
    Reg.OpenKey(cSharedDllsKey, true);
    Reg.CloseKey();
  }
  void File(const std::string& Path, int Shared = 0, int UnRegister = 0, const std::string& RunParams = "",
            bool OnDisk = true) {
    List.Items.Add(std::make_unique<TUnInstallFile>(Path, Shared, UnRegister, RunParams));
    if (OnDisk) Disk.AddFile(Path);
  }
  void Dir(const std::string& Path, int Whole = 0) {
    List.Items.Add(std::make_unique<TUnInstallDir>(Path, Whole));
    if (!Path.empty()) Disk.AddDir(Path);
  }
  void SetCounter(const std::string& Path, std::int32_t Count) {
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    Reg.OpenKey(cSharedDllsKey, true);
    Reg.WriteInteger(Path, Count);
    Reg.CloseKey();
  }
  // The counter's value, or -1 when there is none.
  std::int32_t Counter(const std::string& Path) {
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    if (!Reg.OpenKey(cSharedDllsKey, false)) return -1;
    const std::int32_t Value = Reg.ValueExists(Path) ? Reg.ReadInteger(Path) : -1;
    Reg.CloseKey();
    return Value;
  }
  bool EntryExists() {
    Reg.SetRootKey(RegistryRoot::LocalMachine);
    return Reg.KeyExists(std::string(cUninstallKey) + "\\Демо");
  }
  // By default a list the installation wrote and nobody changed, installed into the list's
  // folder, with its program group in the Start menu's Programs folder C:\Menu.
  TRemovalReport Run(const std::string& Deferred = "") {
    Plan = std::make_unique<TRemovalPlan>(List, kList);
    Plan->DeferredFile = Deferred;
    Plan->ListVerified = Verified;
    Plan->InstallFolder = InstallFolder;
    Plan->SystemFolders = SystemFolders;
    Plan->SystemTrees = SystemTrees;
    Plan->ProgramsFolders = {"C:\\Menu"};
    Plan->AddinFolders = {"C:\\1cv8\\bin"};
    return Plan->Execute(Disk, Reg);
  }
  std::vector<TRemovalNote::Kind> NotesOn(const TRemovalReport& Report, const std::string& Path) {
    std::vector<TRemovalNote::Kind> Found;
    for (const auto& Note : Report.Notes)
      if (Note.Path == Path) Found.push_back(Note.What);
    return Found;
  }

  bool Verified = true;
  std::string InstallFolder;
  std::vector<std::string> SystemFolders, SystemTrees;
  TRemovalList List;
  FakeDisk Disk;
  MemoryRegistry Reg;
  std::unique_ptr<TRemovalPlan> Plan;
};

using Kinds = std::vector<TRemovalNote::Kind>;

}  // namespace

TEST_F(RemovalPlanTest, FilesLastRecordedFirstThenTheListThenFoldersDeepestFirst) {
  // The installation's order: files (a shortcut after its file), then script folders, then
  // the installation folder and the program group. Folders of the same depth: last recorded
  // first.
  File("C:\\Demo\\a.txt");
  File("C:\\Menu\\Демо\\A.lnk");
  File("C:\\Demo\\Sub\\Deeper\\b.txt");
  Dir("C:\\Demo\\Sub");
  Dir("C:\\Demo\\Sub\\Deeper");
  Dir("C:\\Demo\\");
  Dir("C:\\Menu\\Демо");
  const TRemovalReport Report = Run();

  EXPECT_TRUE(Report.Notes.empty());
  EXPECT_EQ(Report.ExitStatus(), 0);
  EXPECT_EQ(Disk.Log, (std::vector<std::string>{
                          "delete C:\\Demo\\Sub\\Deeper\\b.txt", "delete C:\\Menu\\Демо\\A.lnk",
                          "delete C:\\Demo\\a.txt", "delete " + kList, "rmdir C:\\Demo\\Sub\\Deeper",
                          "rmdir C:\\Menu\\Демо", "rmdir C:\\Demo\\Sub", "rmdir C:\\Demo"}));
  EXPECT_FALSE(EntryExists());
  EXPECT_TRUE(Disk.Has("C:\\Menu"));  // not recorded, so not ours
}

class RemovalPlanFlag : public RemovalPlanTest, public ::testing::WithParamInterface<bool> {};

// A group "Вектор\Учет" records "Вектор" before the group; another product's group beside it
// keeps it.
TEST_P(RemovalPlanFlag, AboveTheProgramGroupGoesWhenLeftEmpty) {
  const bool OtherProduct = GetParam();  // another product's group beside ours
  File("C:\\Menu\\Вектор\\Учет\\A.lnk");
  Dir("C:\\Demo");
  Dir("C:\\Menu\\Вектор");
  Dir("C:\\Menu\\Вектор\\Учет");
  if (OtherProduct) Disk.AddFile("C:\\Menu\\Вектор\\Зарплата\\B.lnk");
  const TRemovalReport Report = Run();
  EXPECT_EQ(Report.ExitStatus(), 0);
  EXPECT_FALSE(Disk.Has("C:\\Menu\\Вектор\\Учет"));
  EXPECT_EQ(Disk.Has("C:\\Menu\\Вектор"), OtherProduct);
  EXPECT_EQ(Disk.Has("C:\\Menu\\Вектор\\Зарплата\\B.lnk"), OtherProduct);
}
// The product's copy into a 1C:Enterprise installation goes with it; the platform's folder
// and its files stay. A list not proven to be the installation's touches nothing there.
TEST_P(RemovalPlanFlag, CopiesInto1CGoWithAVerifiedList) {
  Verified = GetParam();
  File("C:\\1cv8\\bin\\exchange.epf");
  Disk.AddFile("C:\\1cv8\\bin\\1cv8.exe");
  Dir("C:\\Demo");
  const TRemovalReport Report = Run();
  EXPECT_EQ(Disk.Has("C:\\1cv8\\bin\\exchange.epf"), !Verified);
  EXPECT_TRUE(Disk.Has("C:\\1cv8\\bin\\1cv8.exe"));
  EXPECT_EQ(Report.ExitStatus(), Verified ? 0 : 1);
}
INSTANTIATE_TEST_SUITE_P(RemovalPlan, RemovalPlanFlag, ::testing::Bool());

TEST_F(RemovalPlanTest, FoldersGoAsAWholeOnlyWhenRecordedSo) {
  Dir("C:\\Demo\\Data", 1);
  Dir("C:\\Demo\\Docs", 0);
  Dir("C:\\Demo", 0);
  Disk.AddFile("C:\\Demo\\Data\\user\\made.txt");  // the program's own data: goes with its folder
  Disk.AddFile("C:\\Demo\\Docs\\mine.doc");         // the user's: stays, and so do its folders
  const TRemovalReport Report = Run();

  EXPECT_FALSE(Disk.Has("C:\\Demo\\Data"));
  EXPECT_TRUE(Disk.Has("C:\\Demo\\Docs\\mine.doc"));
  EXPECT_EQ(NotesOn(Report, "C:\\Demo\\Docs"), Kinds{TRemovalNote::NotEmpty});
  EXPECT_EQ(NotesOn(Report, "C:\\Demo"), Kinds{TRemovalNote::NotEmpty});
  // The report names what stayed in each.
  for (const auto& Note : Report.Notes)
    if (Note.What == TRemovalNote::NotEmpty) EXPECT_EQ(Note.Detail, Note.Path == "C:\\Demo" ? "Docs\\" : "mine.doc");
  // Kept by the rules is no failure.
  EXPECT_EQ(Report.ExitStatus(), 0);
}

TEST_F(RemovalPlanTest, FoldersMadeOnTheWayInsideRecordedOnesGoWhenLeftEmpty) {
  File("C:\\Demo\\Extras\\Examples\\a.txt");
  File("C:\\Demo\\Lib\\x86\\b.dll");
  File("C:\\Program Files\\Vendor\\Common\\c.dll");
  Dir("C:\\Demo\\Extras\\Examples\\Data\\Deep");  // recorded, below an unrecorded one
  Dir("C:\\Demo");
  Dir("C:\\Program Files\\Vendor\\Common");
  Disk.AddFile("C:\\Demo\\Lib\\x86\\user.cfg");  // what the program or its user added
  const TRemovalReport Report = Run();

  EXPECT_FALSE(Disk.Has("C:\\Demo\\Extras"));
  EXPECT_TRUE(Disk.Has("C:\\Demo\\Lib\\x86\\user.cfg"));
  // Only recorded folders are reported as kept.
  EXPECT_TRUE(NotesOn(Report, "C:\\Demo\\Lib\\x86").empty());
  EXPECT_EQ(NotesOn(Report, "C:\\Demo"), Kinds{TRemovalNote::NotEmpty});
  // Above a recorded folder nothing is ours, even when it is empty now.
  EXPECT_FALSE(Disk.Has("C:\\Program Files\\Vendor\\Common"));
  EXPECT_TRUE(Disk.Has("C:\\Program Files\\Vendor"));
}

TEST_F(RemovalPlanTest, PathsOfADamagedListAreTakenInTheirCanonicalFormOrRefused) {
  // A colon inside a path names a stream or nothing; repeated backslashes are one.
  File("C:\\Demo\\a:b\\c.txt");
  File("C:\\Demo\\\\\\a.txt", 0, 0, "", false);
  Disk.AddFile("C:\\Demo\\a.txt");
  Dir("C:\\Demo");
  const TRemovalReport Report = Run();
  EXPECT_EQ(NotesOn(Report, "C:\\Demo\\a:b\\c.txt"), Kinds{TRemovalNote::Refused});
  EXPECT_FALSE(Disk.Has("C:\\Demo\\a.txt"));
}

TEST_F(RemovalPlanTest, TheSameFolderRecordedTwiceIsHandledOnceAndWholeWins) {
  Dir("C:\\Demo\\Data", 0);
  Dir("c:\\demo\\DATA\\", 1);
  Disk.AddFile("C:\\Demo\\Data\\x.txt");
  const TRemovalReport Report = Run();
  EXPECT_FALSE(Disk.Has("C:\\Demo\\Data"));
  EXPECT_EQ(std::count_if(Disk.Log.begin(), Disk.Log.end(), [](const std::string& L) { return L.rfind("rmdir", 0) == 0; }),
            1);
  EXPECT_TRUE(Report.Complete());
}

TEST_F(RemovalPlanTest, ADriveRootIsNeverRemovedAsAWhole) {
  Dir("C:\\", 1);
  Disk.AddFile("C:\\Windows\\system.ini");
  const TRemovalReport Report = Run();
  EXPECT_TRUE(Disk.Has("C:\\Windows\\system.ini"));
  EXPECT_EQ(NotesOn(Report, "C:\\"), Kinds{TRemovalNote::Refused});
}

TEST_F(RemovalPlanTest, LinksGoAsLinksAndWhatTheyShowIsNeverEntered) {
  Dir("C:\\Demo\\Data", 1);
  Disk.AddLink("C:\\Demo\\Data\\Elsewhere");
  Disk.AddFile("C:\\Demo\\Data\\Elsewhere\\precious.doc");
  Disk.AddLink("C:\\Demo\\Linked");
  Disk.AddFile("C:\\Demo\\Linked\\other.doc");
  Dir("C:\\Demo\\Linked", 1);
  const TRemovalReport Report = Run();
  for (const auto& Line : Disk.Log) EXPECT_EQ(Line.find("precious"), std::string::npos) << Line;
  for (const auto& Line : Disk.Log) EXPECT_EQ(Line.find("other.doc"), std::string::npos) << Line;
  EXPECT_FALSE(Disk.Has("C:\\Demo\\Data"));
  EXPECT_FALSE(Disk.Has("C:\\Demo\\Linked"));
  EXPECT_TRUE(Report.Complete());
}

TEST_F(RemovalPlanTest, TheSystemsFoldersAreNeverRemovedWhateverTheListSays) {
  // A script that put a folder of kind "Windows" or "Program Files" at its root, recorded whole.
  Dir("C:\\Windows", 1);
  Dir("C:\\Documents and Settings", 1);  // holds the profile
  Dir("C:\\Program Files\\", 0);
  Disk.AddFile("C:\\Windows\\system.ini");
  Disk.AddFile("C:\\Documents and Settings\\user\\a.doc");
  Disk.AddFile("C:\\Documents and Settings\\Shared\\b.doc");
  Plan = std::make_unique<TRemovalPlan>(List, kList);
  Plan->SystemFolders = {"C:\\WINDOWS", "C:\\Documents and Settings\\user\\", "C:\\Program Files"};
  Plan->Execute(Disk, Reg);
  EXPECT_TRUE(Disk.Has("C:\\Windows\\system.ini"));
  EXPECT_TRUE(Disk.Has("C:\\Documents and Settings\\user\\a.doc"));
  EXPECT_TRUE(Disk.Has("C:\\Documents and Settings\\Shared\\b.doc"));
  EXPECT_TRUE(Disk.Has("C:\\Program Files"));
  EXPECT_EQ(Disk.Log, (std::vector<std::string>{"delete " + kList}));
}

TEST_F(RemovalPlanTest, SharedFilesGoWithTheirLastUser) {
  File("C:\\Common\\last.dll", 1, 1, "%file% /cleanup");
  File("C:\\Common\\used.dll", 1, 1, "%file% /cleanup");
  File("C:\\Common\\Used.lnk", 1);
  SetCounter("C:\\Common\\last.dll", 1);
  SetCounter("C:\\Common\\used.dll", 3);
  SetCounter("C:\\Common\\Used.lnk", 2);
  Dir("C:\\Common", 0);
  const TRemovalReport Report = Run();

  // The last user: counter gone, commands run, server unregistered, file deleted.
  EXPECT_EQ(Counter("C:\\Common\\last.dll"), -1);
  EXPECT_FALSE(Disk.Has("C:\\Common\\last.dll"));
  // Still used elsewhere: counter lowered, and nothing else touches the file, its commands or
  // its registration.
  EXPECT_EQ(Counter("C:\\Common\\used.dll"), 2);
  EXPECT_EQ(Counter("C:\\Common\\Used.lnk"), 1);
  EXPECT_TRUE(Disk.Has("C:\\Common\\used.dll"));
  EXPECT_TRUE(Disk.Has("C:\\Common\\Used.lnk"));
  EXPECT_EQ(Disk.Log, (std::vector<std::string>{"run C:\\Common\\last.dll /cleanup",
                                                 "unregister library C:\\Common\\last.dll",
                                                 "delete C:\\Common\\last.dll", "delete " + kList}));
  EXPECT_EQ(NotesOn(Report, "C:\\Common\\used.dll"), Kinds{TRemovalNote::SharedInUse});
  EXPECT_EQ(NotesOn(Report, "C:\\Common"), Kinds{TRemovalNote::NotEmpty});
  EXPECT_EQ(Report.ExitStatus(), 0);
}

TEST_F(RemovalPlanTest, ASharedFileWithoutAUsableCounterStaysAndIsReported) {
  Dir("C:\\Common");
  File("C:\\Common\\none.dll", 1);
  File("C:\\Common\\zero.dll", 1);
  File("C:\\Common\\text.dll", 1);
  File("C:\\Common\\gone.dll", 1, 0, "", false);  // no file, no counter: nothing to say
  SetCounter("C:\\Common\\zero.dll", 0);
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  Reg.OpenKey(cSharedDllsKey, false);
  Reg.WriteString("C:\\Common\\text.dll", "2");
  const TRemovalReport Report = Run();

  for (const char* Path : {"C:\\Common\\none.dll", "C:\\Common\\zero.dll", "C:\\Common\\text.dll"}) {
    EXPECT_TRUE(Disk.Has(Path)) << Path;
    EXPECT_EQ(NotesOn(Report, Path), Kinds{TRemovalNote::NoCounter}) << Path;
  }
  EXPECT_EQ(Counter("C:\\Common\\zero.dll"), 0);
  EXPECT_TRUE(NotesOn(Report, "C:\\Common\\gone.dll").empty());
  EXPECT_EQ(Report.ExitStatus(), 1);
}

TEST_F(RemovalPlanTest, WithoutTheSharedDllsKeyNoSharedFileGoesAndNoKeyIsMade) {
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  Reg.DeleteKey(cSharedDllsKey);
  Dir("C:\\Common");
  File("C:\\Common\\a.dll", 1);
  const TRemovalReport Report = Run();
  EXPECT_TRUE(Disk.Has("C:\\Common\\a.dll"));
  EXPECT_EQ(NotesOn(Report, "C:\\Common\\a.dll"), Kinds{TRemovalNote::NoCounter});
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  EXPECT_FALSE(Reg.KeyExists(cSharedDllsKey));
}

TEST_F(RemovalPlanTest, ASharedFileInAWholeFolderStaysForItsOtherUsers) {
  File("C:\\Demo\\Lib\\shared.dll", 1);
  SetCounter("C:\\Demo\\Lib\\shared.dll", 2);
  Dir("C:\\Demo\\Lib", 1);
  Disk.AddFile("C:\\Demo\\Lib\\cache.bin");
  const TRemovalReport Report = Run();
  EXPECT_TRUE(Disk.Has("C:\\Demo\\Lib\\shared.dll"));
  EXPECT_FALSE(Disk.Has("C:\\Demo\\Lib\\cache.bin"));
  EXPECT_EQ(NotesOn(Report, "C:\\Demo\\Lib"), Kinds{TRemovalNote::NotEmpty});
}

TEST_F(RemovalPlanTest, RemovalCommandsRunPieceByPieceWithTheFileNamed) {
  File("C:\\Demo\\app.exe", 0, 1, "%file% /a %file%||  |cmd /c del \"%file%.log\"|missing.exe|");
  File("C:\\Demo\\gone.ocx", 0, 1, "", false);
  Disk.Unstartable.insert("missing.exe");
  const TRemovalReport Report = Run();
  EXPECT_EQ(Disk.Log, (std::vector<std::string>{"run C:\\Demo\\app.exe /a C:\\Demo\\app.exe",
                                                 "run cmd /c del \"C:\\Demo\\app.exe.log\"", "run missing.exe",
                                                 "unregister program C:\\Demo\\app.exe", "delete C:\\Demo\\app.exe",
                                                 "delete " + kList}));
  EXPECT_EQ(NotesOn(Report, "missing.exe"), Kinds{TRemovalNote::CommandFailed});
  EXPECT_EQ(Report.ExitStatus(), 1);
}

TEST_F(RemovalPlanTest, BusyFilesGoAtRestartAndTakeTheirFolderAlong) {
  File("C:\\Demo\\Bin\\held.dll");
  File("C:\\Demo\\Bin\\free.dll");
  Dir("C:\\Demo\\Bin");
  Dir("C:\\Demo");
  Disk.Busy.insert(FoldPath("C:\\Demo\\Bin\\held.dll"));
  const TRemovalReport Report = Run();
  EXPECT_EQ(NotesOn(Report, "C:\\Demo\\Bin\\held.dll"), Kinds{TRemovalNote::Scheduled});
  EXPECT_EQ(Disk.Log, (std::vector<std::string>{"delete C:\\Demo\\Bin\\free.dll", "at restart C:\\Demo\\Bin\\held.dll",
                                                 "delete " + kList, "at restart C:\\Demo\\Bin",
                                                 "at restart C:\\Demo"}));
  EXPECT_EQ(Report.ExitStatus(), 1);
}

TEST_F(RemovalPlanTest, WhatCannotGoEvenAtRestartIsReported) {
  File("C:\\Demo\\held.dll");
  File("C:\\Demo\\locked.dll");
  Dir("C:\\Demo");
  Disk.Busy.insert(FoldPath("C:\\Demo\\held.dll"));
  Disk.Locked.insert(FoldPath("C:\\Demo\\locked.dll"));
  Disk.CanSchedule = false;
  const TRemovalReport Report = Run();
  EXPECT_EQ(NotesOn(Report, "C:\\Demo\\held.dll"), Kinds{TRemovalNote::NotRemoved});
  EXPECT_EQ(NotesOn(Report, "C:\\Demo\\locked.dll"), Kinds{TRemovalNote::NotRemoved});
  EXPECT_EQ(NotesOn(Report, "C:\\Demo"), Kinds{TRemovalNote::NotEmpty});
  EXPECT_EQ(Report.ExitStatus(), 1);
}

TEST_F(RemovalPlanTest, TheUninstallEntryGoesOnlyWhileItNamesThisList) {
  List.ProductName = "Демо";
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  Reg.OpenKey(std::string(cUninstallKey) + "\\Демо", false);
  // A later installation of the same product in another folder owns the entry now.
  Reg.WriteString("UnInstallString", "\"D:\\Demo\\UnInstall.exe\" \"D:\\Demo\\uninst.lst\"");
  Run();
  EXPECT_TRUE(EntryExists());

  Reg.SetRootKey(RegistryRoot::LocalMachine);
  Reg.OpenKey(std::string(cUninstallKey) + "\\Демо", false);
  Reg.WriteString("UnInstallString", "\"c:\\demo\\UnInstall.exe\" \"C:\\DEMO\\UNINST.LST\"");
  Run();
  EXPECT_FALSE(EntryExists());
}

TEST_F(RemovalPlanTest, AListWithoutProductNameLeavesTheUninstallKeyAlone) {
  List.ProductName.clear();
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  Reg.OpenKey(std::string(cUninstallKey) + "\\Other", true);
  Run();
  Reg.SetRootKey(RegistryRoot::LocalMachine);
  EXPECT_TRUE(Reg.KeyExists(std::string(cUninstallKey) + "\\Other"));
  EXPECT_TRUE(Reg.KeyExists(cUninstallKey));
}

TEST_F(RemovalPlanTest, EmptyPathsAndFilesAlreadyGoneAreNoFailure) {
  File("", 0, 1, "%file% x");
  File("C:\\Demo\\gone.txt", 0, 0, "", false);
  Dir("");
  Dir("C:\\Empty");
  Disk.AddDir("C:\\Other");
  const TRemovalReport Report = Run();
  EXPECT_TRUE(Report.Notes.empty());
  EXPECT_EQ(Disk.Log, (std::vector<std::string>{"delete " + kList, "rmdir C:\\Empty"}));
}

TEST_F(RemovalPlanTest, TheUninstallerStartedByTheUserGoesLastWithTheFoldersItHeld) {
  File("C:\\Demo\\UnInstall.exe");
  File("C:\\Demo\\app.exe");
  Dir("C:\\Demo\\Data", 1);
  Dir("C:\\Demo");
  Disk.AddFile("C:\\Demo\\Data\\x");
  TRemovalReport Report = Run("c:\\demo\\uninstall.exe");
  EXPECT_TRUE(Report.Notes.empty());
  EXPECT_TRUE(Disk.Has("C:\\Demo\\UnInstall.exe"));
  EXPECT_FALSE(Disk.Has("C:\\Demo\\Data"));
  const std::size_t Before = Disk.Log.size();

  Plan->FinishDeferred(Disk, Report);
  EXPECT_TRUE(Report.Notes.empty());
  EXPECT_EQ(std::vector<std::string>(Disk.Log.begin() + Before, Disk.Log.end()),
            (std::vector<std::string>{"delete C:\\Demo\\UnInstall.exe", "rmdir C:\\Demo"}));
}

TEST_F(RemovalPlanTest, ProgressCountsEveryStep) {
  File("C:\\Demo\\a");
  File("C:\\Demo\\b");
  Dir("C:\\Demo");
  std::vector<std::string> Steps;
  int Total = 0;
  TRemovalPlan P(List, kList);
  P.OnProgress = [&](int Done, int All, const std::string& Path) {
    Steps.push_back(std::to_string(Done) + " " + Path);
    Total = All;
  };
  P.Execute(Disk, Reg);
  EXPECT_EQ(Steps, (std::vector<std::string>{"0 C:\\Demo\\b", "1 C:\\Demo\\a", "2 " + kList, "3 C:\\Demo", "4 "}));
  EXPECT_EQ(Total, 4);
}

// --- Lists that name what is not the product's ------------------------------------------------

TEST_F(RemovalPlanTest, AListOfUnprovenOriginRemovesNothingOutsideTheProduct) {
  // A list no digest vouches for (written by an older setup, or changed by someone who could
  // write where the product lies), for a product the uninstall entry puts in C:\Apps\Prod.
  Verified = false;
  InstallFolder = "C:\\Apps\\Prod\\";
  SystemFolders = {"C:\\Windows", "C:\\Windows\\system32", "C:\\Program Files", "C:\\Program Files\\Common Files"};
  SystemTrees = {"C:\\Windows"};
  Disk.LongNames = {{"c:\\progra~1", "C:\\Program Files"},
                    {"c:\\program files\\common~1", "C:\\Program Files\\Common Files"}};
  File("C:\\Windows\\system32\\kernel32.dll");
  File("C:\\Windows\\Fonts\\..\\win.ini");
  File("\\\\server\\share\\data.db", 0, 0, "", false);
  File("\\\\?\\C:\\Apps\\Other\\data.txt", 0, 0, "", false);
  File("C:\\Apps\\Prod\\NUL", 0, 0, "", false);
  File("C:\\Apps\\Prod\\Linked\\secret.txt");
  File("C:\\Apps\\Prod\\tool.exe", 0, 0, "cmd /c rd /s /q C:\\Users|%file% /cleanup");
  File("C:\\Apps\\Prod\\common.ocx", 0, 1);  // not shared here, but another product counts on it
  SetCounter("C:\\Apps\\Prod\\common.ocx", 2);
  File("C:\\Menu\\Prod\\Prod.lnk");
  Dir("S:\\Prod\\..\\", 1);
  Dir("C:\\U\\..\\Program Files\\Common Files", 1);
  Dir("C:\\PROGRA~1\\COMMON~1\\", 1);
  Dir("C:\\Apps\\Prod\\Cache\\..\\..", 1);  // the folder that holds the product
  Dir("C:\\Apps\\Other", 1);                // beside it
  Dir("C:\\Apps\\Prod\\Data", 1);
  Dir("C:\\Apps\\Prod");
  Dir("C:\\Menu\\Prod");
  Disk.AddLink("C:\\Apps\\Prod\\Linked");
  for (const char* Stranger : {"S:\\Other\\keep.txt", "C:\\Program Files\\Common Files\\Vendor\\x.dll",
                               "C:\\Apps\\Other\\data.txt", "C:\\Windows\\win.ini"})
    Disk.AddFile(Stranger);
  // Another product put a file into the folder removed as a whole, and counts on it.
  Disk.AddFile("C:\\Apps\\Prod\\Data\\theirs.dll");
  Disk.AddFile("C:\\Apps\\Prod\\Data\\cache.bin");
  SetCounter("c:\\apps\\prod\\data\\THEIRS.DLL", 1);
  const TRemovalReport Report = Run();

  EXPECT_EQ(Disk.Log, (std::vector<std::string>{"delete C:\\Menu\\Prod\\Prod.lnk", "delete C:\\Apps\\Prod\\tool.exe",
                                                "delete " + kList, "delete C:\\Apps\\Prod\\Data\\cache.bin",
                                                "rmdir C:\\Menu\\Prod"}));
  for (const char* Kept :
       {"C:\\Windows\\system32\\kernel32.dll", "C:\\Windows\\win.ini", "S:\\Other\\keep.txt",
        "C:\\Program Files\\Common Files\\Vendor\\x.dll", "C:\\Apps\\Other\\data.txt",
        "C:\\Apps\\Prod\\Linked\\secret.txt", "C:\\Apps\\Prod\\Data\\theirs.dll", "C:\\Apps\\Prod\\common.ocx"})
    EXPECT_TRUE(Disk.Has(Kept)) << Kept;
  for (const char* Refused :
       {"C:\\Windows\\system32\\kernel32.dll", "C:\\Windows\\Fonts\\..\\win.ini", "\\\\server\\share\\data.db",
        "\\\\?\\C:\\Apps\\Other\\data.txt", "C:\\Apps\\Prod\\NUL", "C:\\Apps\\Prod\\Linked\\secret.txt",
        "S:\\Prod\\..\\", "C:\\U\\..\\Program Files\\Common Files", "C:\\PROGRA~1\\COMMON~1\\",
        "C:\\Apps\\Prod\\Cache\\..\\..", "C:\\Apps\\Other"})
    EXPECT_EQ(NotesOn(Report, Refused), Kinds{TRemovalNote::Refused}) << Refused;
  EXPECT_EQ(NotesOn(Report, "cmd /c rd /s /q C:\\Users|%file% /cleanup"), Kinds{TRemovalNote::CommandRefused});
  EXPECT_EQ(NotesOn(Report, "C:\\Apps\\Prod\\Data\\theirs.dll"), Kinds{TRemovalNote::SharedInUse});
  EXPECT_EQ(NotesOn(Report, "C:\\Apps\\Prod\\common.ocx"), Kinds{TRemovalNote::SharedInUse});
  EXPECT_EQ(Counter("C:\\Apps\\Prod\\common.ocx"), 2);
  EXPECT_EQ(Report.ExitStatus(), 1);
}

TEST_F(RemovalPlanTest, AProvenListsOwnFoldersGoButNeverTheSystemsOrTheProductsParents) {
  // The installation's own record: a shared folder under Common Files, made by a DIR record.
  InstallFolder = "C:\\Apps\\Prod";
  SystemFolders = {"C:\\Windows", "C:\\Program Files", "C:\\Program Files\\Common Files"};
  SystemTrees = {"C:\\Windows"};
  File("C:\\Program Files\\Common Files\\Demo Shared\\shared.dll", 1, 0, "%file% /forget");
  SetCounter("C:\\Program Files\\Common Files\\Demo Shared\\shared.dll", 1);
  File("C:\\Windows\\Fonts\\demo.ttf");
  File("C:\\Apps\\Prod\\app.exe", 0, 0, "%file% /cleanup");
  Dir("C:\\Program Files\\Common Files\\Demo Shared");
  Dir("C:\\Windows\\Fonts", 1);
  Dir("C:\\Windows\\Help\\Demo", 1);  // inside the system's tree, whole
  Dir("C:\\Apps", 1);                 // holds the installation folder, whole
  Dir("C:\\Apps\\Prod");
  Disk.AddFile("C:\\Windows\\Help\\Demo\\x.hlp");
  Disk.AddFile("C:\\Apps\\Other\\data.txt");
  const TRemovalReport Report = Run();

  EXPECT_EQ(Disk.Log, (std::vector<std::string>{
                          "run C:\\Apps\\Prod\\app.exe /cleanup", "delete C:\\Apps\\Prod\\app.exe",
                          "run C:\\Program Files\\Common Files\\Demo Shared\\shared.dll /forget",
                          "delete C:\\Program Files\\Common Files\\Demo Shared\\shared.dll", "delete " + kList,
                          "rmdir C:\\Program Files\\Common Files\\Demo Shared", "rmdir C:\\Apps\\Prod"}));
  for (const char* Refused :
       {"C:\\Windows\\Fonts\\demo.ttf", "C:\\Windows\\Fonts", "C:\\Windows\\Help\\Demo", "C:\\Apps"})
    EXPECT_EQ(NotesOn(Report, Refused), Kinds{TRemovalNote::Refused}) << Refused;
  EXPECT_TRUE(Disk.Has("C:\\Apps\\Other\\data.txt"));
  EXPECT_TRUE(Disk.Has("C:\\Windows\\Help\\Demo\\x.hlp"));
}

TEST(FoldPath, FoldsLatinAndCyrillicAndTheTrailingBackslash) {
  EXPECT_EQ(FoldPath("C:\\ДЕМО\\Ёлка\\"), FoldPath("c:\\демо\\ёлка"));
  EXPECT_EQ(FoldPath("C:\\ПРОГРАММЫ ЯЩИК"), "c:\\программы ящик");
  EXPECT_EQ(FoldPath("C:\\"), "c:\\");
  EXPECT_NE(FoldPath("C:\\Demo1"), FoldPath("C:\\Demo"));
}
