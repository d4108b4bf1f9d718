#include <gtest/gtest.h>

#include "shared/ScriptText.h"

namespace setup {
namespace {
using test::Load;
using test::Script;

TEnvironment SampleFolders() {
  TEnvironment E;
  E.ProgramFilesDir = "C:\\Program Files\\";
  E.WindowsDir = "C:\\Windows\\";
  E.SystemDir = "C:\\Windows\\system32\\";
  E.CommonFilesDir = "C:\\Program Files\\Common Files\\";
  E.BdeDir = "C:\\BDE\\";
  E.ProgramsDir = "C:\\Menu\\Programs\\";
  E.FontsDir = "C:\\Windows\\Fonts\\";
  return E;
}

// --- Path resolution ------------------------------------------------------------------------

TEST(ModelPaths, KindsPutTheirFolderInFrontWithOneBackslashRemoved) {
  TInstallInfo Info;
  Info.Environment = SampleFolders();
  Info.InstallDir = "D:\\";
  Info.ProgramGroup = "Demo";
  EXPECT_EQ(Info.ExpandPath(0, "\\Product"), "C:\\Program Files\\Product");
  EXPECT_EQ(Info.ExpandPath(1, "\\a"), "C:\\Windows\\a");
  EXPECT_EQ(Info.ExpandPath(2, "\\a"), "C:\\Windows\\system32\\a");
  EXPECT_EQ(Info.ExpandPath(3, "\\a"), "C:\\Program Files\\Common Files\\a");
  EXPECT_EQ(Info.ExpandPath(4, ""), "D:");
  EXPECT_EQ(Info.ExpandPath(5, "\\a"), "C:\\BDE\\a");
  EXPECT_EQ(Info.ExpandPath(6, "\\a"), "C:\\Menu\\Programs\\Demo\\a");
  EXPECT_EQ(Info.ExpandPath(7, "\\a"), "C:\\Windows\\Fonts\\a");
  EXPECT_EQ(Info.ExpandPath(8, "\\a"), "\\a");
  EXPECT_EQ(Info.ExpandPath(127, "x"), "x");
  EXPECT_EQ(Info.ExpandPath(130, "\\a"), "C:\\Windows\\system32\\a") << "only the low seven bits count";
  EXPECT_EQ(Info.ExpandPath(132, ""), "D:");
}

TEST(ModelPaths, PlaceholdersAreReplacedEverywhereCaseSensitively) {
  TInstallInfo Info;
  Info.Environment = SampleFolders();
  Info.InstallDir = "C:\\P\\";
  Info.ProgramGroup = "Demo";
  EXPECT_EQ(Info.ExpandPath(8, "%Install%\\a.exe %Install%"), "C:\\P\\a.exe C:\\P");
  EXPECT_EQ(Info.ExpandPath(8, "%install%\\a.exe"), "%install%\\a.exe");
  EXPECT_EQ(Info.ExpandPath(8, "%ProgramFiles%|%WindowsFiles%|%SystemFiles%|%CommonFiles%|%BDE%|%Fonts%|%ProgramGroup%"),
            "C:\\Program Files|C:\\Windows|C:\\Windows\\system32|C:\\Program Files\\Common Files|C:\\BDE|"
            "C:\\Windows\\Fonts|C:\\Menu\\Programs\\Demo");
  EXPECT_EQ(Info.ExpandPath(4, "\\%Fonts%"), "C:\\P\\C:\\Windows\\Fonts");
}

TEST(ModelPaths, InsertedTextIsScannedOnlyByLaterPlaceholders) {
  TInstallInfo Info;
  Info.Environment.ProgramFilesDir = "C:\\%ProgramFiles%%Install%\\";
  Info.InstallDir = "D:\\I\\";
  // "%ProgramFiles%" inside its own replacement stays; "%Install%" inside it is replaced later.
  EXPECT_EQ(Info.ExpandPath(8, "%ProgramFiles%"), "C:\\%ProgramFiles%D:\\I");
}

TEST(ModelPaths, EmptyFoldersGiveRelativeResults) {
  TInstallInfo Info;
  EXPECT_EQ(Info.ExpandPath(0, "\\Product"), "\\Product");
  EXPECT_EQ(Info.ExpandPath(6, "\\x"), "\\x");
  EXPECT_EQ(Info.ExpandPath(8, "%Install%\\a"), "\\a");
}

TEST(ModelPaths, StartupDefaultsResolveTheDirectoryBeforeTheSwitches) {
  auto Make = [](TInstallInfo& Info) {
    Info.Environment = SampleFolders();
    ASSERT_EQ(Load(Info, Script({"GROUPDIRECTORY = 0", "DIRECTORY = \\Vendrix %Install%|%ProgramGroup%",
                                 "GROUPNAME = Vendrix"})),
              "");
  };
  TInstallInfo Plain;
  Make(Plain);
  Plain.ApplyStartupDefaults({"/AUTO=ON"});
  // Install folder and program group are still empty when the directory is resolved.
  EXPECT_EQ(Plain.Directory, "C:\\Program Files\\Vendrix |C:\\Menu\\Programs");
  EXPECT_EQ(Plain.InstallDir, Plain.Directory);
  EXPECT_EQ(Plain.ProgramGroup, "Vendrix");

  TInstallInfo Switched;
  Make(Switched);
  Switched.ApplyStartupDefaults({"/path=", "/GROUP=Мои программы", "/GROUP=second"});
  EXPECT_EQ(Switched.InstallDir, "") << "an empty /PATH= is taken as given";
  EXPECT_EQ(Switched.ProgramGroup, "Мои программы");
  EXPECT_EQ(Switched.Directory, Plain.Directory);
}

// --- Finding files, installation types ------------------------------------------------------

TEST(ModelFiles, FindFileReturnsTheFirstRecordWithTheNumber) {
  TInstallInfo Empty;
  EXPECT_EQ(Empty.FindFile(1), nullptr);

  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"GROUP = 1 0 0 0 0 0", "FILE = 5 1 0 0 0 0 0 0 0 10 0 0  0 0 0 0",
                               "FILE = 6 1 0 0 0 0 0 0 0 20 0 0  0 0 0 0", "FILE = 5 1 0 0 0 0 0 0 0 30 0 0  0 0 0 0"})),
            "");
  ASSERT_NE(Info.FindFile(5), nullptr);
  EXPECT_EQ(Info.FindFile(5)->Size, 10);
  EXPECT_EQ(Info.FindFile(6)->Size, 20);
  EXPECT_EQ(Info.FindFile(1), nullptr) << "a group number is no file";
  EXPECT_EQ(Info.FindFile(7), nullptr);

  // Records added after reading are found too.
  auto Extra = std::make_unique<TFileInfo>();
  Extra->ItemNo = 7;
  Info.Files.push_back(std::move(Extra));
  EXPECT_EQ(Info.FindFile(7), Info.Files.back().get());
}

TEST(ModelGroups, InstallTypesSetStatesWithoutTouchingParents) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"GROUP = 1 0 0 1 0 0", "GROUP = 2 1 0 0 1 0", "GROUP = 3 0 1 0 0 0"})), "");
  auto States = [&] {
    std::vector<int> S;
    for (const auto& G : Info.Groups) S.push_back(G->State);
    return S;
  };
  EXPECT_EQ(States(), (std::vector<int>{1, 1, 1}));
  Info.ApplyInstallType(false, true, false, false);
  EXPECT_EQ(States(), (std::vector<int>{1, 2, 2}));
  Info.ApplyInstallType(false, false, true, false);
  EXPECT_EQ(States(), (std::vector<int>{2, 1, 2}));
  Info.ApplyInstallType(false, false, false, false);
  EXPECT_EQ(States(), (std::vector<int>{2, 1, 2})) << "no type changes nothing";
  Info.ApplyInstallType(true, false, false, false);
  EXPECT_EQ(States(), (std::vector<int>{1, 1, 1}));
  Info.ApplyInstallType(false, true, false, true);
  EXPECT_EQ(States(), (std::vector<int>{1, 1, 1})) << "custom comes last";
}

// --- Rejected models ------------------------------------------------------------------------

TEST(ModelValidation, RecordsWithoutGroupAndSelfParentsAreRejectedWithTheirLine) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"GROUP = 1 0 0 0 0 0", "GROUP = 5 5 0 0 0 0", "GROUP = 6 5 0 0 0 0",
                               "DIR = 7 9 0 0 0 0", "FILE = 8 10 0 0 0 0 0 0 0 1 0 0  0 0 0 0", "GROUP = 9 0 0 0 0 0"})),
            "");
  const auto Problems = Info.FindModelProblems();
  ASSERT_EQ(Problems.size(), 3u);
  EXPECT_EQ(Problems[0].LineNo, 2);
  EXPECT_EQ(Problems[0].ItemNo, 5);
  EXPECT_NE(Problems[0].Message.find("строка 2"), std::string::npos);
  EXPECT_EQ(Problems[1].LineNo, 4);
  EXPECT_EQ(Problems[1].ItemNo, 7) << "a group that comes later does not own the directory";
  EXPECT_EQ(Problems[2].LineNo, 5);
  EXPECT_EQ(Problems[2].ItemNo, 8);
  EXPECT_NE(Problems[2].Message.find(" 8 "), std::string::npos);
  try {
    Info.Validate();
    FAIL() << "the model must be rejected";
  } catch (const EScriptError& E) {
    EXPECT_EQ(E.LineNo(), 2);
    EXPECT_EQ(std::string(E.what()), Problems[0].Message);
  }
}

TEST(ModelValidation, RepeatedFileNumbersAndPathsThatLeaveTheirFolderAreRejectedWithTheirLine) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"GROUP = 1 0 0 0 0 0",                                     // 1
                               "DIRECTORY = \\Vendor\\..\\..",                            // 2
                               "DIR = 2 1 0 0 1 0", "DIRPATH = \\Cache\\..\\..",          // 3, 4
                               "FILE = 3 1 0 0 0 1 0 0 0 1 0 0  0 0 0 0",                 // 5
                               "FILEPATH = \\a.txt", "FILESHORTCUT = ..\\Startup\\a",     // 6, 7
                               "FILE = 3 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0",                 // 8: number taken
                               "FILEPATH = \\b.txt",                                      // 9
                               "FILE = 4 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0",                 // 10
                               "FILEPATH = \\.\\c.txt", "UNINSTALLPATH = \\x\\.\\u.lst",  // 11, 12
                               "GROUPNAME = Vendor\\..", "DIR = 5 1 0 0 0 0",             // 13, 14
                               "DIRPATH = \\.config\\..data",                             // 15: names, no steps
                               "DESCRIPTION = " + std::string(256 * 2, 'x')})),           // 16: names no key
            "");
  const auto Problems = Info.FindModelProblems();
  std::vector<std::pair<int, TModelProblem::Kind>> Found;
  for (const auto& P : Problems) Found.push_back({P.LineNo, P.What});
  EXPECT_EQ(Found, (std::vector<std::pair<int, TModelProblem::Kind>>{{2, TModelProblem::mpDotPath},
                                                                     {3, TModelProblem::mpDotPath},
                                                                     {5, TModelProblem::mpDotPath},
                                                                     {8, TModelProblem::mpDuplicateFile},
                                                                     {10, TModelProblem::mpDotPath},
                                                                     {12, TModelProblem::mpDotPath},
                                                                     {13, TModelProblem::mpDotPath},
                                                                     {16, TModelProblem::mpLongName}}));
  ASSERT_EQ(Problems.size(), 8u);
  EXPECT_NE(Problems[1].Message.find("строка 3"), std::string::npos) << Problems[1].Message;
  EXPECT_NE(Problems[1].Message.find("\\Cache\\..\\.."), std::string::npos) << Problems[1].Message;
  EXPECT_NE(Problems[3].Message.find("номер файла 3 уже занят файлом в строке 5"), std::string::npos)
      << Problems[3].Message;
  EXPECT_THROW(Info.Validate(), EScriptError);
  // 255 letters (two bytes each here) still name a key.
  std::string Name;
  for (int I = 0; I < 255; ++I) Name += "Я";
  TInstallInfo Fits;
  ASSERT_EQ(Load(Fits, Script({"DESCRIPTION = " + Name})), "");
  EXPECT_TRUE(Fits.FindModelProblems().empty());
}

TEST(ModelValidation, CyclesMadeAfterReadingAreFoundAndEveryMemberIsNamed) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"GROUP = 1 0 0 0 0 0", "GROUP = 2 1 0 0 0 0", "GROUP = 3 2 0 0 0 0", "GROUP = 4 3 0 0 0 0"})), "");
  EXPECT_NO_THROW(Info.Validate());
  Info.Groups[0]->Parent = Info.Groups[2].get();
  const auto Problems = Info.FindModelProblems();
  ASSERT_EQ(Problems.size(), 3u) << "groups 1, 2 and 3 form the loop; 4 only hangs from it";
  EXPECT_EQ(Problems[0].ItemNo, 1);
  EXPECT_EQ(Problems[1].ItemNo, 2);
  EXPECT_EQ(Problems[2].ItemNo, 3);
}

TEST(ModelValidation, AValidScriptPasses) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"GROUP = 1 0 0 0 0 0", "GROUP = 2 1 0 0 0 0", "DIR = 3 2 0 0 0 0", test::cFile6,
                               "GROUP = 3 1 0 0 0 0", "FILE = 7 3 0 0 0 0 0 0 0 1 0 0  0 0 0 0"})),
            "");
  // cFile6 names group 3, which only comes after it.
  ASSERT_EQ(Info.FindModelProblems().size(), 1u);
  Info.Files[0]->Group = Info.Groups[2].get();
  EXPECT_NO_THROW(Info.Validate());
}

}  // namespace
}  // namespace setup
