#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/wait.h>

#include "shared/MiniJson.h"
#include "shared/ScriptText.h"
#include "ScriptTool.h"

namespace setup {
namespace {
using test::Json;
using test::Script;

// The lines the checker reports for one kind.
std::vector<int> LinesOf(const TCheckResult& R, TCheckKind Kind) {
  std::vector<int> Lines;
  for (const auto& I : R.Issues)
    if (I.Kind == Kind) Lines.push_back(I.LineNo);
  return Lines;
}

using Lines = std::vector<int>;

// --- setupscript check ----------------------------------------------------------------------

TEST(SetupScriptCheck, ACleanScriptHasNothingToReport) {
  const auto R = CheckScript(Script({"DESCRIPTION = Demo", "GROUP = 1 0 0 1 1 0", "GROUPCAPTION = Main",
                                     "GROUP = 2 1 0 0 0 4", "DIR = 3 2 0 0 0 0", "DIRPATH = \\data",
                                     "FILE = 4 2 0 0 0 0 0 0 0 10 0 0  0 0 0 0", "FILEPATH = \\a.exe", "DEPEND = 1 2",
                                     "README = ", "README = ", "EXEPATH = x", "", "   ", "VERSION = 2.1.0",
                                     "PUBLISHER = ООО \"Вендор\"", "URLINFOABOUT = https://example.test/"}));
  EXPECT_TRUE(R.Issues.empty()) << R.Issues.front().Text;
  EXPECT_TRUE(R.Ok());
}

TEST(SetupScriptCheck, LinesThatAreIgnored) {
  const auto R = CheckScript(Script({"GROUP = 1 0 0 0 0 0",   // 1
                                     "DIR=4 1 0 0 0 0",       // 2 spacing: key DI
                                     "GROUPNAME  = x",        // 3 spacing: two blanks
                                     " DESCRIPTION = x",      // 4 spacing: blank before the key
                                     "GROUPCAPTION =x",       // 5 spacing: read, value cut
                                     "Description = x",       // 6 case
                                     "COMMENT = x",           // 7 unknown
                                     "just text",             // 8 no "="
                                     "FILEPATH = \\a"}));     // 9 before any FILE
  EXPECT_EQ(LinesOf(R, TCheckKind::Spacing), (Lines{2, 3, 4, 5}));
  EXPECT_EQ(LinesOf(R, TCheckKind::KeyCase), (Lines{6}));
  EXPECT_EQ(LinesOf(R, TCheckKind::UnknownKey), (Lines{7}));
  EXPECT_EQ(LinesOf(R, TCheckKind::NoEquals), (Lines{8}));
  EXPECT_EQ(LinesOf(R, TCheckKind::OrphanAttribute), (Lines{9}));
  EXPECT_TRUE(R.Ok()) << "the program reads all this without complaint";
  EXPECT_NE(R.Issues[0].Text.find("'DI'"), std::string::npos);
}

TEST(SetupScriptCheck, AttributesThatLandSomewhereUnexpected) {
  const auto R = CheckScript(Script({"GROUP = 1 0 0 0 0 0",                        // 1
                                     "DIR = 2 1 0 0 0 0",                          // 2
                                     "FILE = 3 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0",    // 3
                                     "DIRPATH = \\d",                              // 4 sets DIR 2
                                     "FILEPATH = \\a", "FILEPATH = \\b",           // 5, 6 overwrite
                                     "DESCRIPTION = a", "DESCRIPTION = b"}));      // 7, 8 overwrite
  EXPECT_EQ(LinesOf(R, TCheckKind::DistantAttribute), (Lines{4}));
  EXPECT_EQ(LinesOf(R, TCheckKind::Overwritten), (Lines{6, 8}));
  EXPECT_TRUE(R.Ok());
}

TEST(SetupScriptCheck, DependenciesWithoutEffect) {
  const auto R = CheckScript(Script({"DEPEND = 1 2",                               // 1 both later
                                     "GROUP = 1 0 0 0 0 0",                        // 2
                                     "FILE = 3 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0",    // 3
                                     "DIR = 4 1 0 0 0 0",                          // 4
                                     "DEPEND = 1 3",                               // 5 a file
                                     "DEPEND = 4 1",                               // 6 a directory
                                     "DEPEND = 1 99",                              // 7 nothing
                                     "GROUP = 2 0 0 0 0 0", "DEPEND = 1 2"}));     // 8, 9 fine
  EXPECT_EQ(LinesOf(R, TCheckKind::DependLater), (Lines{1, 1}));
  EXPECT_EQ(LinesOf(R, TCheckKind::DependNotGroup), (Lines{5, 6}));
  EXPECT_EQ(LinesOf(R, TCheckKind::DependMissing), (Lines{7}));
  EXPECT_TRUE(R.Ok());
}

TEST(SetupScriptCheck, DuplicateNumbersAndParents) {
  const auto R = CheckScript(Script({"GROUP = 1 0 0 0 0 0",                         // 1
                                     "GROUP = 1 0 0 0 0 0",                         // 2 duplicate
                                     "GROUP = 2 3 0 0 0 0",                         // 3 parent later: top-level
                                     "GROUP = 3 0 0 0 0 0",                         // 4
                                     "FILE = 5 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0"}));  // 5
  EXPECT_EQ(LinesOf(R, TCheckKind::DuplicateGroup), (Lines{2}));
  EXPECT_EQ(LinesOf(R, TCheckKind::ParentNotEarlier), (Lines{3}));
  EXPECT_TRUE(R.Ok());
}

TEST(SetupScriptCheck, RejectedModelsAreErrors) {
  const auto R = CheckScript(Script({"GROUP = 1 0 0 0 0 0",                        // 1
                                     "GROUP = 5 5 0 0 0 0",                        // 2 own parent
                                     "DIR = 6 7 0 0 0 0",                          // 3 group later
                                     "GROUP = 7 0 0 0 0 0",                        // 4
                                     "FILE = 8 9 0 0 0 0 0 0 0 1 0 0  0 0 0 0"})); // 5 no group
  EXPECT_EQ(LinesOf(R, TCheckKind::Cycle), (Lines{2}));
  EXPECT_EQ(LinesOf(R, TCheckKind::MissingOwner), (Lines{3, 5}));
  EXPECT_FALSE(R.Ok());
}

TEST(SetupScriptCheck, RepeatedFileNumbersAndPathsThatLeaveTheirFolderAreErrors) {
  const auto R = CheckScript(Script({"GROUP = 1 0 0 0 0 0",                             // 1
                                     "DIR = 2 1 0 0 1 0", "DIRPATH = \\Cache\\..\\..",  // 2, 3
                                     "FILE = 5 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0",         // 4
                                     "FILE = 5 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0",         // 5 duplicate
                                     "UNINSTALLPATH = \\..\\uninst.lst"}));             // 6
  EXPECT_EQ(LinesOf(R, TCheckKind::DotPath), (Lines{2, 6}));
  EXPECT_EQ(LinesOf(R, TCheckKind::DuplicateFile), (Lines{5}));
  for (const auto& Issue : R.Issues) {
    EXPECT_TRUE(Issue.Error) << Issue.Text;
    EXPECT_NE(Issue.Text.find("the program refuses the script"), std::string::npos) << Issue.Text;
  }
  EXPECT_NE(R.Issues[0].Text.find("DIR 2 has a '.' or '..' component"), std::string::npos) << R.Issues[0].Text;
  EXPECT_FALSE(R.Ok());
}

// A file's folder must be there or be made first: a DIR record's path makes the folders above it,
// and a DIR of another kind that resolves to the same folder counts.
TEST(SetupScriptCheck, AFileInAFolderNothingMakesIsAnError) {
  const auto R = CheckScript(Script({"GROUPDIRECTORY = 0", "DIRECTORY = \\Demo",             // 1, 2
                                     "GROUP = 1 0 0 1 1 4", "GROUP = 2 0 0 1 1 0",            // 3, 4
                                     "DIR = 3 1 0 0 0 0", "DIRPATH = \\lib\\x86",               // 5, 6
                                     "DIR = 4 2 0 0 0 0", "DIRPATH = \\Demo\\data",             // 7, 8
                                     "FILE = 5 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0", "FILEPATH = \\a.exe",  // 9, 10
                                     "FILE = 6 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0", "FILEPATH = \\lib\\b.dll",
                                     "FILE = 7 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0", "FILEPATH = \\data\\c.dat",
                                     "FILE = 8 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0", "FILEPATH = \\bin\\d.exe",  // 15
                                     "FILE = 9 2 0 0 0 0 0 0 0 1 0 0  0 0 0 0", "FILEPATH = \\Other\\e.txt"}));  // 17
  EXPECT_EQ(LinesOf(R, TCheckKind::NoFolder), (Lines{15, 17}));
  EXPECT_NE(R.Issues[0].Text.find("'DIRPATH = \\bin'"), std::string::npos) << R.Issues[0].Text;
  EXPECT_FALSE(R.Ok());
}

// UnInstall.exe must come with every installation: in a hidden group of the typical and the
// minimal installation that no DEPEND names, and so must every group above it.
TEST(SetupScriptCheck, AnUninstallerAnInstallationCanLeaveOutIsAnError) {
  const std::vector<std::pair<std::vector<std::string>, bool>> Cases = {
      {{"GROUP = 1 0 1 1 1 4"}, true},
      {{"GROUP = 1 0 0 1 1 4"}, false},                           // shown
      {{"GROUP = 1 0 1 0 1 4"}, false},                           // not typical
      {{"GROUP = 1 0 1 1 1 4", "GROUP = 2 0 0 1 1 4", "DEPEND = 2 1"}, false},  // needed by a DEPEND
      {{"GROUP = 3 0 0 0 0 4", "GROUP = 1 3 1 1 1 4"}, false},    // under an optional group
  };
  for (const auto& [Groups, Ok] : Cases) {
    std::vector<std::string> Lines = {"UNINSTALL = 1"};
    Lines.insert(Lines.end(), Groups.begin(), Groups.end());
    Lines.push_back("FILE = 9 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0");
    Lines.push_back("FILEPATH = \\UnInstall.exe");
    std::string Text;
    for (const auto& L : Lines) Text += L + "\r\n";
    const auto R = CheckScript(Text);
    EXPECT_EQ(LinesOf(R, TCheckKind::OptionalUninstaller).empty(), Ok) << Groups.back();
  }
}

// The resource is code page 1251: a script saved in UTF-8 (with or without BOM) would show
// garbled texts, and is refused at its first Russian line; code page 1251 text is not.
TEST(SetupScriptCheck, AScriptInUtf8IsAnErrorAtItsFirstRussianLine) {
  const std::string Utf8 = "GROUP = 1 0 0 0 0 0\r\nGROUPCAPTION = Main\nDESCRIPTION = Продукт\rGROUPNAME = Группа\r\n";
  EXPECT_EQ(LinesOf(CheckScript(Utf8), TCheckKind::Utf8Text), (Lines{3}));
  EXPECT_EQ(LinesOf(CheckScript("\xEF\xBB\xBFGROUP = 1 0 0 0 0 0\r\n"), TCheckKind::Utf8Text), (Lines{1}));
  EXPECT_FALSE(CheckScript(Utf8).Ok());
  // «ООО РОС» and "Ри" in code page 1251 hold single UTF-8-like pairs.
  EXPECT_TRUE(
      LinesOf(CheckScript(Script({"DESCRIPTION = «ООО РОС» Ри", "GROUPNAME = Группа"})), TCheckKind::Utf8Text).empty());
}

TEST(SetupScriptCheck, ConversionErrorIsReportedWithTheProgramsMessageAndEndsTheCheck) {
  const auto R = CheckScript(Script({"GROUP = 1 0 0 0 0 0", "GROUPDIRECTORY = 4 ", "COMMENT = not read",
                                     "DIR = 2 9 0 0 0 0"}));
  ASSERT_EQ(R.Issues.size(), 1u) << "nothing after the stop is read, so nothing there is reported";
  EXPECT_EQ(R.Issues[0].Kind, TCheckKind::Conversion);
  EXPECT_EQ(R.Issues[0].LineNo, 2);
  EXPECT_NE(R.Issues[0].Text.find("'4 ' is not a valid integer value."), std::string::npos);
  EXPECT_FALSE(R.Ok());

  const auto Short = CheckScript(Script({"GROUP = 1 0 0 0 0 0", "FILE = 6 1 0 0 0 0 0 0 0 1 0 0 1.0 0 0 0"}));
  ASSERT_EQ(LinesOf(Short, TCheckKind::Conversion), (Lines{2}));
  EXPECT_NE(Short.Issues[0].Text.find("'' is not a valid integer value."), std::string::npos);
}

// --- setupscript dump -----------------------------------------------------------------------

Json Parse(const std::string& Text) { return test::JsonReader(Text).Parse(); }

std::vector<std::string> Strings(const Json& Array) {
  std::vector<std::string> Out;
  for (const auto& I : Array.Items) Out.push_back(I.S);
  return Out;
}

TEST(SetupScriptDump, EveryFieldRoundTrips) {
  const std::string Bytes = Script({
      "DESCRIPTION = Демо \"quoted\" \\ back", "DIALOG1S = 1", "DIALOGREBOOT = 1", "DIALOGREADME = 0",
      "DIALOGLICENSE = 1", "UNINSTALL = 1", "README = первая", "README = ", "LICENSE = l\tx",
      "DIRECTORY = \\Vendrix", "DOWNLOADWEBPAGE = http://example.test/", "SELECTDIRETORYFROM1C = 1",
      "GROUPDIRECTORY = 3", "GROUPNAME = Группа", "TYPICALINSTALL = 1", "MINIMALINSTALL = 0",
      "CUSTOMINSTALL = 1", "FULLINSTALL = 1", "DIALOGGROUP = 1", "UNINSTALLPATH = \\u.lst", "PRODUCTID = {ID}",
      "GROUPUNINSTALLPATH = 4", "NAMEFONT = Impact,36,0,16777215,204", "VERSION = 2.1.0 beta",
      "PUBLISHER = ООО Вендор", "URLINFOABOUT = https://example.test/about",
      "GROUP = 10 0 1 1 0 5", "GROUPCAPTION = Первая", "GROUP = 11 10 0 0 1 4", "GROUP = 12 0 0 0 0 0",
      "DIR = 20 11 1 0 1 1", "DIRPATH = \\d", "DIRCFGNAME = База", "DIRSHORTCUT = Ярлык",
      "FILE = 30 11 1 0 1 0 1 0 1 4096 1 0 1.2.3.4 1 0 1 7", "FILEPATH = \\a.exe", "FILESHORTCUT = A",
      "FILESHORTCUTPARAMS = -p", "FILERUNPARAMS = %file% i", "FILERUNPARAMSUNINSTALL = %file% u",
      "FILE = 31 12 0 1 0 1 0 1 0 -5 0 1  0 1 0 0",
      "DEPEND = 10 12", "DEPEND = 10 11", "DEPEND = 10 12", "EXEPATH = %Install%\\x.exe \"a b\"", "EXEPATH = "});
  TInstallInfo Info;
  Info.LoadScript(Bytes);
  std::string Text;
  ASSERT_TRUE(DumpScript(Bytes, Text)) << Text;
  const Json J = Parse(Text);
  EXPECT_FALSE(J.Has("error"));
  EXPECT_FALSE(J.Has("rejected"));

  EXPECT_EQ(J["Description"].S, Info.Description);
  EXPECT_EQ(J["Dialog1S"].B, Info.Dialog1S);
  EXPECT_EQ(J["DialogReboot"].B, Info.DialogReboot);
  EXPECT_EQ(J["DialogReadme"].B, Info.DialogReadme);
  EXPECT_EQ(J["DialogLicense"].B, Info.DialogLicense);
  EXPECT_EQ(J["UnInstall"].B, Info.UnInstall);
  EXPECT_EQ(Strings(J["Readme"]), Info.Readme);
  EXPECT_EQ(Strings(J["License"]), Info.License);
  EXPECT_EQ(J["InstallDir"].S, Info.InstallDir);
  EXPECT_EQ(J["Directory"].S, Info.Directory);
  EXPECT_EQ(J["DownloadWebPage"].S, Info.DownloadWebPage);
  EXPECT_EQ(J["SelectDirectoryFrom1C"].B, Info.SelectDirectoryFrom1C);
  EXPECT_EQ(J["GroupDirectory"].N, Info.GroupDirectory);
  EXPECT_EQ(J["ProgramGroup"].S, Info.ProgramGroup);
  EXPECT_EQ(J["GroupName"].S, Info.GroupName);
  EXPECT_EQ(J["TypicalInstall"].B, Info.TypicalInstall);
  EXPECT_EQ(J["MinimalInstall"].B, Info.MinimalInstall);
  EXPECT_EQ(J["CustomInstall"].B, Info.CustomInstall);
  EXPECT_EQ(J["FullInstall"].B, Info.FullInstall);
  EXPECT_EQ(J["DialogGroup"].B, Info.DialogGroup);
  EXPECT_EQ(J["UnInstallInfo"]["ListFileName"].S, Info.UnInstallInfo.ListFileName);
  EXPECT_EQ(J["UnInstallInfo"]["ProductName"].S, Info.UnInstallInfo.ProductName);
  EXPECT_EQ(J["UnInstallInfo"]["ProductID"].S, Info.UnInstallInfo.ProductID);
  EXPECT_EQ(J["UnInstallInfo"]["Version"].S, "2.1.0 beta");
  EXPECT_EQ(J["UnInstallInfo"]["Publisher"].S, "ООО Вендор");
  EXPECT_EQ(J["UnInstallInfo"]["UrlInfoAbout"].S, "https://example.test/about");
  EXPECT_EQ(J["GroupUnInstallPath"].N, Info.GroupUnInstallPath);
  EXPECT_EQ(J["NameFont"].S, Info.NameFont);
  EXPECT_EQ(J["Description"].S, "Демо \"quoted\" \\ back");
  EXPECT_EQ(J["License"][0].S, "l\tx");

  ASSERT_EQ(J["Groups"].Items.size(), Info.Groups.size());
  for (std::size_t I = 0; I < Info.Groups.size(); ++I) {
    const auto& G = *Info.Groups[I];
    const Json& X = J["Groups"][I];
    EXPECT_EQ(X.Order, (std::vector<std::string>{"Line", "Caption", "State", "FolderKind", "ItemNo", "ParentNo",
                                                 "Parent", "Hidden", "InMinimal", "InTypical", "Depends"}));
    EXPECT_EQ(X["Caption"].S, G.Caption);
    EXPECT_EQ(X["State"].N, G.State);
    EXPECT_EQ(X["FolderKind"].N, G.FolderKind);
    EXPECT_EQ(X["ItemNo"].N, G.ItemNo);
    EXPECT_EQ(X["ParentNo"].N, G.ParentNo);
    if (G.Parent) EXPECT_EQ(X["Parent"].N, G.Parent->ItemNo);
    else EXPECT_EQ(X["Parent"].Kind, Json::Null);
    EXPECT_EQ(X["Hidden"].B, G.Hidden);
    EXPECT_EQ(X["InMinimal"].B, G.InMinimal);
    EXPECT_EQ(X["InTypical"].B, G.InTypical);
    ASSERT_EQ(X["Depends"].Items.size(), G.Depends.size());
    for (std::size_t D = 0; D < G.Depends.size(); ++D) EXPECT_EQ(X["Depends"][D].N, G.Depends[D]->ItemNo);
  }
  EXPECT_EQ(J["Groups"][0]["Depends"].Items.size(), 3u);

  ASSERT_EQ(J["Dirs"].Items.size(), 1u);
  const auto& D = *Info.Dirs[0];
  const Json& XD = J["Dirs"][0];
  EXPECT_EQ(XD.Order, (std::vector<std::string>{"Line", "ItemNo", "ParentNo", "Group", "Path", "FullPath", "Register1C75",
                                                "Register1C77", "CfgName", "UnInstallWhole", "MakeShortcut", "Shortcut"}));
  EXPECT_EQ(XD["ItemNo"].N, D.ItemNo);
  EXPECT_EQ(XD["ParentNo"].N, D.ParentNo);
  EXPECT_EQ(XD["Group"].N, D.Group->ItemNo);
  EXPECT_EQ(XD["Path"].S, D.Path);
  EXPECT_EQ(XD["Register1C75"].B, D.Register1C75);
  EXPECT_EQ(XD["Register1C77"].B, D.Register1C77);
  EXPECT_EQ(XD["CfgName"].S, D.CfgName);
  EXPECT_EQ(XD["UnInstallWhole"].B, D.UnInstallWhole);
  EXPECT_EQ(XD["MakeShortcut"].B, D.MakeShortcut);
  EXPECT_EQ(XD["Shortcut"].S, D.Shortcut);

  ASSERT_EQ(J["Files"].Items.size(), 2u);
  for (std::size_t I = 0; I < 2; ++I) {
    const auto& F = *Info.Files[I];
    const Json& X = J["Files"][I];
    EXPECT_EQ(X.Order.size(), 25u);
    EXPECT_EQ(X["Line"].N, F.LineNo);
    EXPECT_EQ(X["ItemNo"].N, F.ItemNo);
    EXPECT_EQ(X["Size"].N, F.Size);
    EXPECT_EQ(X["ParentNo"].N, F.ParentNo);
    EXPECT_EQ(X["Group"].N, F.Group->ItemNo);
    EXPECT_EQ(X["RegisterDll"].B, F.RegisterDll);
    EXPECT_EQ(X["RegisterExe"].B, F.RegisterExe);
    EXPECT_EQ(X["Reserved17"].N, F.Reserved17);
    EXPECT_EQ(X["DeleteAfter"].B, F.DeleteAfter);
    EXPECT_EQ(X["MakeShortcut"].B, F.MakeShortcut);
    EXPECT_EQ(X["ShortcutParams"].S, F.ShortcutParams);
    EXPECT_EQ(X["CopyTo1C75"].B, F.CopyTo1C75);
    EXPECT_EQ(X["CopyTo1C77"].B, F.CopyTo1C77);
    EXPECT_EQ(X["CopyTo1C8"].B, F.CopyTo1C8);
    EXPECT_EQ(X["Path"].S, F.Path);
    EXPECT_EQ(X["FullPath"].S, F.FullPath);
    EXPECT_EQ(X["Shortcut"].S, F.Shortcut);
    EXPECT_EQ(X["CheckVersion"].B, F.CheckVersion);
    EXPECT_EQ(X["SharedFile"].B, F.SharedFile);
    EXPECT_EQ(X["Version"].S, F.Version);
    EXPECT_EQ(X["RunAfter"].B, F.RunAfter);
    EXPECT_EQ(X["RunBefore"].B, F.RunBefore);
    EXPECT_EQ(X["RunOnUninstall"].B, F.RunOnUninstall);
    EXPECT_EQ(X["RunParams"].S, F.RunParams);
    EXPECT_EQ(X["UninstallRunParams"].S, F.UninstallRunParams);
  }
  EXPECT_EQ(J["Files"][1]["Size"].N, -5);
  EXPECT_EQ(J["Files"][0]["Reserved17"].N, 7);

  ASSERT_EQ(J["ExePaths"].Items.size(), 2u);
  EXPECT_EQ(J["ExePaths"][0]["CommandLine"].S, "%Install%\\x.exe \"a b\"");
  EXPECT_EQ(J["ExePaths"][1]["CommandLine"].S, "");
}

TEST(SetupScriptDump, StoppedReadingShowsWhatWasReadAndWhere) {
  std::string Text;
  EXPECT_FALSE(DumpScript(Script({"GROUP = 1 0 0 0 0 0", "README = \x01", "GROUP = 2 0 0 0 0", "GROUP = 3 0 0 0 0 0"}), Text));
  const Json J = Parse(Text);
  EXPECT_EQ(J["error"]["message"].S, "'' is not a valid integer value.");
  EXPECT_EQ(J["error"]["line"].N, 3);
  ASSERT_EQ(J["Groups"].Items.size(), 1u);
  EXPECT_EQ(J["Readme"][0].S, "\x01");
}

TEST(SetupScriptDump, RejectedModelIsMarked) {
  std::string Text;
  EXPECT_FALSE(DumpScript(Script({"DIR = 1 2 0 0 0 0"}), Text));
  const Json J = Parse(Text);
  ASSERT_EQ(J["rejected"].Items.size(), 1u);
  EXPECT_EQ(J["rejected"][0]["line"].N, 1);
  EXPECT_EQ(J["Dirs"][0]["Group"].Kind, Json::Null);
}

// --- The tool itself ------------------------------------------------------------------------

int RunTool(const std::string& Args, std::string& Out) {
  Out.clear();
  FILE* P = popen((std::string(SETUPSCRIPT_EXE) + " " + Args + " 2>&1").c_str(), "r");
  if (!P) return -1;
  char Buffer[4096];
  std::size_t N;
  while ((N = fread(Buffer, 1, sizeof Buffer, P)) > 0) Out.append(Buffer, N);
  const int Status = pclose(P);
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

TEST(SetupScriptTool, ReadsCodePage1251FilesAndSetsTheExitStatus) {
  const std::string Dir = testing::TempDir();
  const std::string Good = Dir + "/setupscript-good.txt";
  const std::string Bad = Dir + "/setupscript-bad.txt";
  std::ofstream(Good, std::ios::binary) << Script({"DESCRIPTION = Демо", "GROUP = 1 0 0 0 0 0", "Group = 2 0 0 0 0 0"});
  std::ofstream(Bad, std::ios::binary) << Script({"GROUP = 1 0 0 0 0 0", "DIR = 2 3 0 0 0 0"});
  std::string Out;
  EXPECT_EQ(RunTool("check " + Good, Out), 0) << Out;
  EXPECT_NE(Out.find(Good + ":3: warning: key 'Group'"), std::string::npos) << Out;
  EXPECT_EQ(RunTool("check " + Bad, Out), 1) << Out;
  EXPECT_NE(Out.find(Bad + ":2: error: DIR 2 names group 3"), std::string::npos) << Out;
  EXPECT_EQ(RunTool("dump " + Good, Out), 0);
  EXPECT_EQ(Parse(Out)["Description"].S, "Демо");
  EXPECT_EQ(RunTool("check " + Dir + "/no-such-file", Out), 2);
  std::remove(Good.c_str());
  std::remove(Bad.c_str());
}

}  // namespace
}  // namespace setup
