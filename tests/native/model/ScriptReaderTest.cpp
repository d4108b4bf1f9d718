#include <gtest/gtest.h>

#include "shared/ScriptText.h"

namespace setup {
namespace {
using test::Load;
using test::Script;

// --- Line grammar -------------------------------------------------------------------------

TEST(ScriptLineGrammar, OnlyOneBlankEachSideOfTheFirstEqualsMakesAStatement) {
  TInstallInfo Info;
  EXPECT_EQ(Load(Info, Script({"GROUP = 3 0 0 0 0 0", "DIR=4 3 0 0 0 0", "dir = 5 3 0 0 0 0",
                               "FILE= 6 3 0 0 0 0 0 0 0 1 0 0 1 0 0 0 0", "DESCRIPTION", "",
                               "Description = lower", "DESCRIPTION  = two blanks"})),
            "");
  EXPECT_TRUE(Info.Dirs.empty());
  EXPECT_TRUE(Info.Files.empty());
  EXPECT_EQ(Info.Description, "");
  EXPECT_EQ(Info.Lines.size(), 8u);
}

TEST(ScriptLineGrammar, ValueIsVerbatimAndMayHoldEqualsAndBlanks) {
  TInstallInfo Info;
  Load(Info, Script({"DESCRIPTION =  a = b  ", "GROUPNAME = ", "PRODUCTID = x=y"}));
  EXPECT_EQ(Info.Description, " a = b  ");
  EXPECT_EQ(Info.UnInstallInfo.ProductName, " a = b  ");
  EXPECT_EQ(Info.GroupName, "");
  EXPECT_EQ(Info.UnInstallInfo.ProductID, "x=y");
}

TEST(ScriptLineGrammar, LineEndsAreCrLfCrOrLfAndNulEndsTheText) {
  TInstallInfo Info;
  Load(Info, std::string("README = a\r\nREADME = b\rREADME = c\nREADME = d\r\n\r\nREADME = e"));
  EXPECT_EQ(Info.Readme, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(Info.Lines.size(), 6u);

  TInstallInfo Cut;
  Load(Cut, std::string("README = a\r\nREADME = b\0\r\nREADME = c\r\n", 33));
  EXPECT_EQ(Cut.Readme, (std::vector<std::string>{"a", "b"}));
}

TEST(ScriptLineGrammar, TextIsDecodedFromCodePage1251) {
  TInstallInfo Info;
  Load(Info, std::string("DESCRIPTION = \xC4\xE5\xEC\xEE\r\nGROUP = 1 0 0 0 0 0\r\nGROUPCAPTION = \xCE\xF1\xED\xEE\xE2\xED\xE0\xFF"));
  EXPECT_EQ(Info.Description, "Демо");
  EXPECT_EQ(Info.Groups.at(0)->Caption, "Основная");
}

TEST(ScriptLineGrammar, TheCharactersAroundEqualsAreCutWhateverTheyAre) {
  // One character is cut on each side of "=", even a Cyrillic one (one byte in the script).
  EXPECT_EQ(LineKey("GROUPЖ= x"), "GROUP");
  EXPECT_EQ(LineValue("KEY =Жvalue"), "value");
  EXPECT_EQ(LineField("KEY =Ж1 2", 1), "1");
  EXPECT_EQ(LineKey("A= x"), "");
  EXPECT_EQ(LineKey("no equals"), "");
  EXPECT_EQ(LineValue("no equals"), "");
  EXPECT_EQ(LineValue("KEY ="), "");
  TInstallInfo Info;
  Load(Info, Script({"GROUPX= 1 0 0 0 0 0"}));
  EXPECT_EQ(Info.Groups.size(), 1u) << "the key is read as GROUP";
}

TEST(ScriptLineGrammar, BooleansAreTrueOnlyForOneAfterTrimming) {
  TInstallInfo Info;
  Load(Info, Script({"DIALOGREADME = 1 ", "DIALOGLICENSE = 2", "DIALOGREBOOT = ", "DIALOGGROUP = true",
                     "UNINSTALL = \t1", "FULLINSTALL = 01", "SELECTDIRETORYFROM1C = 1"}));
  EXPECT_TRUE(Info.DialogReadme);
  EXPECT_FALSE(Info.DialogLicense);
  EXPECT_FALSE(Info.DialogReboot);
  EXPECT_FALSE(Info.DialogGroup);
  EXPECT_TRUE(Info.UnInstall);
  EXPECT_FALSE(Info.FullInstall);
  EXPECT_TRUE(Info.SelectDirectoryFrom1C);
}

TEST(ScriptLineGrammar, SingleValuedKeysKeepTheLastAndTextsAccumulate) {
  TInstallInfo Info;
  std::initializer_list<std::string> Lines = {"DESCRIPTION = first", "README = ", "DESCRIPTION = second",
                                              "LICENSE = l1", "README = r2", "DIALOGREADME = 1", "DIALOGREADME = 0"};
  Load(Info, Script(Lines));
  EXPECT_EQ(Info.Description, "second");
  EXPECT_EQ(Info.UnInstallInfo.ProductName, "second");
  EXPECT_EQ(Info.Readme, (std::vector<std::string>{"", "r2"}));
  EXPECT_EQ(Info.License, (std::vector<std::string>{"l1"}));
  EXPECT_FALSE(Info.DialogReadme);

  TInstallInfo Twenty;
  std::string Text;
  for (int I = 0; I < 20; ++I) Text += "README = line\r\n";
  Load(Twenty, Text);
  EXPECT_EQ(Twenty.Readme.size(), 20u);
}

// --- Columns -----------------------------------------------------------------------------

TEST(ScriptColumns, FileRecordTakesSeventeenColumnsInOrder) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"GROUP = 3 0 0 0 0 0", "FILE = 6 3 1 2 3 4 5 6 7 638976 8 9 4.8.10.0 10 11 12 13 extra"})), "");
  const auto& F = *Info.Files.at(0);
  EXPECT_EQ(F.ItemNo, 6);
  EXPECT_EQ(F.ParentNo, 3);
  EXPECT_EQ(F.Group, Info.Groups[0].get());
  EXPECT_TRUE(F.RegisterDll && F.RegisterExe && F.DeleteAfter && F.MakeShortcut);
  EXPECT_TRUE(F.CopyTo1C75 && F.CopyTo1C77 && F.CopyTo1C8 && F.CheckVersion && F.SharedFile);
  EXPECT_EQ(F.Size, 638976);
  EXPECT_EQ(F.Version, "4.8.10.0");
  EXPECT_TRUE(F.RunAfter && F.RunBefore && F.RunOnUninstall);
  EXPECT_EQ(F.Reserved17, 13);
  EXPECT_EQ(F.FullPath, "");
}

TEST(ScriptColumns, TwoBlanksMakeAnEmptyVersion) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"GROUP = 20 0 0 0 0 0", "FILE = 26 20 0 0 0 0 0 0 0 2113863 0 0  0 0 0 0"})), "");
  const auto& F = *Info.Files.at(0);
  EXPECT_EQ(F.Size, 2113863);
  EXPECT_EQ(F.Version, "");
  EXPECT_FALSE(F.RunAfter || F.RunBefore || F.RunOnUninstall || F.CheckVersion || F.SharedFile);
  EXPECT_EQ(F.Reserved17, 0);
}

TEST(ScriptColumns, GroupAndDirColumnsInOrder) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"GROUP = 2 0 1 0 1 4", "DIR = 4 2 1 0 1 0", "DIR = 5 2 0 1 0 1"})), "");
  const auto& G = *Info.Groups.at(0);
  EXPECT_EQ(G.ItemNo, 2);
  EXPECT_TRUE(G.Hidden);
  EXPECT_FALSE(G.InTypical);
  EXPECT_TRUE(G.InMinimal);
  EXPECT_EQ(G.FolderKind, 4);
  EXPECT_EQ(G.State, 1);
  const auto& D4 = *Info.Dirs.at(0);
  EXPECT_TRUE(D4.Register1C75);
  EXPECT_FALSE(D4.Register1C77);
  EXPECT_TRUE(D4.UnInstallWhole);
  EXPECT_FALSE(D4.MakeShortcut);
  const auto& D5 = *Info.Dirs.at(1);
  EXPECT_TRUE(D5.Register1C77 && D5.MakeShortcut);
  EXPECT_FALSE(D5.Register1C75 || D5.UnInstallWhole);
}

TEST(ScriptColumns, LineFieldCutsAtSingleBlanksAndTabsAreText) {
  const std::string Line = "FILE = 1 2  \t4";
  EXPECT_EQ(LineField(Line, 1), "1");
  EXPECT_EQ(LineField(Line, 2), "2");
  EXPECT_EQ(LineField(Line, 3), "");
  EXPECT_EQ(LineField(Line, 4), "\t4");
  EXPECT_EQ(LineField(Line, 5), "");
  EXPECT_EQ(LineField("X = a ", 2), "");
  EXPECT_EQ(LineField("X = ", 1), "");
}

// --- Conversions -------------------------------------------------------------------------

TEST(ScriptConversions, AcceptedIntegerForms) {
  std::int32_t V = 0;
  struct Case { const char* Text; std::int32_t Value; };
  for (const auto& C : {Case{"0", 0}, Case{"  42", 42}, Case{"+7", 7}, Case{"-7", -7}, Case{"$1F", 31},
                        Case{"0x1f", 31}, Case{"0X10", 16}, Case{"-$10", -16}, Case{"2147483647", 2147483647},
                        Case{"-2147483648", INT32_MIN}, Case{"$FFFFFFFF", -1}, Case{"007", 7}}) {
    EXPECT_TRUE(TryScriptStrToInt(C.Text, V)) << C.Text;
    EXPECT_EQ(V, C.Value) << C.Text;
  }
}

TEST(ScriptConversions, RejectedIntegerForms) {
  std::int32_t V = 0;
  for (const char* Text : {"", " ", "4 ", "1a", "x", "+", "-", "$", "0x", "1.0", "\t1", "2147483648",
                           "-2147483649", "$100000000", "1 2", "0x 1", "١"}) {
    EXPECT_FALSE(TryScriptStrToInt(Text, V)) << '"' << Text << '"';
  }
}

TEST(ScriptConversions, ErrorStopsReadingAndKeepsWhatCameBefore) {
  TInstallInfo Info;
  int Line = 0;
  EXPECT_EQ(Load(Info, Script({"DESCRIPTION = kept", "GROUP = 1 0 0 0 0 0", "GROUPDIRECTORY = 4 ",
                               "GROUP = 2 0 0 0 0 0", "GROUPNAME = never"}),
                 &Line),
            "'4 ' is not a valid integer value.");
  EXPECT_EQ(Line, 3);
  EXPECT_EQ(Info.Description, "kept");
  EXPECT_EQ(Info.Groups.size(), 1u);
  EXPECT_EQ(Info.GroupName, "");
  EXPECT_EQ(Info.Lines.size(), 5u) << "the whole text is still kept as lines";
}

TEST(ScriptConversions, FailingRecordIsNotAdded) {
  TInstallInfo Info;
  int Line = 0;
  // Sixteen columns: the seventeenth is missing and shows as empty quotes.
  EXPECT_EQ(Load(Info, Script({"GROUP = 3 0 0 0 0 0", "FILE = 6 3 0 0 0 0 0 0 0 1 0 0 1.0 0 0 0"}), &Line),
            "'' is not a valid integer value.");
  EXPECT_EQ(Line, 2);
  EXPECT_TRUE(Info.Files.empty());
  EXPECT_EQ(Info.FindFile(6), nullptr);

  TInstallInfo Groups;
  EXPECT_EQ(Load(Groups, Script({"GROUP = 1 0 x 0 0 0"})), "'x' is not a valid integer value.");
  EXPECT_TRUE(Groups.Groups.empty());

  TInstallInfo Dirs;
  EXPECT_EQ(Load(Dirs, Script({"GROUP = 1 0 0 0 0 0", "DIR = 2 1 0 0 0"})), "'' is not a valid integer value.");
  EXPECT_TRUE(Dirs.Dirs.empty());
}

TEST(ScriptConversions, FlagsKeepTheLowByteAndFolderKindsToo) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"GROUP = 1 0 2 256 -1 132", "GROUPDIRECTORY = 260", "GROUPUNINSTALLPATH = $107"})), "");
  const auto& G = *Info.Groups[0];
  EXPECT_TRUE(G.Hidden);
  EXPECT_FALSE(G.InTypical);
  EXPECT_TRUE(G.InMinimal);
  EXPECT_EQ(G.FolderKind, 132);
  EXPECT_EQ(Info.GroupDirectory, 4);
  EXPECT_EQ(Info.GroupUnInstallPath, 7);
}

TEST(ScriptConversions, DependColumnsAreConvertedEvenWithoutGroups) {
  TInstallInfo Info;
  EXPECT_EQ(Load(Info, Script({"DEPEND = 1"})), "'' is not a valid integer value.");
}

// --- Attachment of attributes -------------------------------------------------------------

TEST(ScriptAttributes, AttachToTheLastRecordOfTheirOwnKind) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"GROUP = 3 0 0 0 0 0", "GROUPCAPTION = Main", "DIR = 4 3 0 0 0 0", test::cFile6,
                               "DIRPATH = \\data", "DIRCFGNAME = Base", "DIRSHORTCUT = Data", "FILEPATH = \\a.exe",
                               "FILESHORTCUT = Sub\\A", "FILESHORTCUTPARAMS = -x", "FILERUNPARAMS = %file% i|",
                               "FILERUNPARAMSUNINSTALL = %file% u", "GROUPCAPTION = Renamed"})),
            "");
  const auto& D = *Info.Dirs[0];
  EXPECT_EQ(D.Path, "\\data");
  EXPECT_EQ(D.CfgName, "Base");
  EXPECT_EQ(D.Shortcut, "Data");
  const auto& F = *Info.Files[0];
  EXPECT_EQ(F.Path, "\\a.exe");
  EXPECT_EQ(F.Shortcut, "Sub\\A");
  EXPECT_EQ(F.ShortcutParams, "-x");
  EXPECT_EQ(F.RunParams, "%file% i|");
  EXPECT_EQ(F.UninstallRunParams, "%file% u");
  EXPECT_EQ(Info.Groups[0]->Caption, "Renamed");
}

TEST(ScriptAttributes, BeforeAnyRecordOfTheirKindAreIgnored) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"FILEPATH = \\lost", "GROUPCAPTION = lost", "GROUP = 3 0 0 0 0 0",
                               "DIRPATH = lost", test::cFile6})),
            "");
  EXPECT_EQ(Info.Groups[0]->Caption, "");
  EXPECT_EQ(Info.Files[0]->Path, "");
  EXPECT_TRUE(Info.Dirs.empty());
}

// --- Dependencies --------------------------------------------------------------------------

TEST(ScriptDependencies, OnlyBetweenGroupsAlreadyRead) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"DEPEND = 1 2", "GROUP = 1 0 0 0 0 0", "GROUP = 2 0 0 0 0 0",
                               "FILE = 137 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0", "DEPEND = 1 137", "DEPEND = 1 9",
                               "DEPEND = 1 2", "DEPEND = 1 2", "DEPEND = 2 1"})),
            "");
  const auto& G1 = *Info.Groups[0];
  const auto& G2 = *Info.Groups[1];
  ASSERT_EQ(G1.Depends.size(), 2u) << "the early line and the lines naming a file or a missing group do nothing";
  EXPECT_EQ(G1.Depends[0], &G2);
  EXPECT_EQ(G1.Depends[1], &G2);
  ASSERT_EQ(G2.Depends.size(), 1u);
  EXPECT_EQ(G2.Depends[0], &G1);
}

TEST(ScriptDependencies, DuplicateGroupNumbersParentsTakeTheFirstDependTheLast) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"GROUP = 7 0 0 0 0 0", "GROUP = 7 0 0 0 0 0", "GROUP = 9 0 0 0 0 0",
                               "GROUP = 8 7 0 0 0 0", "DIR = 10 7 0 0 0 0", "FILE = 11 7 0 0 0 0 0 0 0 1 0 0  0 0 0 0",
                               "DEPEND = 7 9"})),
            "");
  const TGroupInfo* First = Info.Groups[0].get();
  const TGroupInfo* Second = Info.Groups[1].get();
  EXPECT_EQ(Info.Groups[3]->Parent, First);
  EXPECT_EQ(Info.Dirs[0]->Group, First);
  EXPECT_EQ(Info.Files[0]->Group, First);
  EXPECT_TRUE(First->Depends.empty());
  ASSERT_EQ(Second->Depends.size(), 1u);
  EXPECT_EQ(Second->Depends[0], Info.Groups[2].get());
}

TEST(ScriptDependencies, ParentsAreEarlierGroupsOrNone) {
  TInstallInfo Info;
  ASSERT_EQ(Load(Info, Script({"GROUP = 1 2 0 0 0 0", "GROUP = 2 0 0 0 0 0", "GROUP = 3 2 0 0 0 0"})), "");
  EXPECT_EQ(Info.Groups[0]->Parent, nullptr) << "a later parent leaves the group at the top";
  EXPECT_EQ(Info.Groups[2]->Parent, Info.Groups[1].get());
}

}  // namespace
}  // namespace setup
