#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/Messages.h"
#include "wizard/WizardFlow.h"

namespace setup {
namespace {

void Read(TInstallInfo& Info, const std::vector<std::string>& Lines) {
  for (const auto& L : Lines) Info.ParseLine(L);
}

std::string Choice(const TTypeChoice& C) {
  return std::string(C.Full ? "F" : "-") + (C.Typical ? "T" : "-") + (C.Minimal ? "M" : "-") + (C.Custom ? "C" : "-");
}

// The pages visited by Next from the start, until the wizard closes.
std::vector<int> Walk(const TInstallInfo& Info, bool Custom) {
  std::vector<int> Pages;
  for (int P = StepPage(Info, pgNone, 1, Custom); Pages.size() < 20; P = StepPage(Info, P, 1, Custom)) {
    Pages.push_back(P);
    if (P == pgClosed) break;
  }
  return Pages;
}

TEST(WizardTypes, PreselectionFromSwitchAndScriptFlags) {
  struct Case {
    std::vector<std::string> Flags;
    std::string Switch;
    std::string Expected;
  };
  const std::vector<Case> Cases = {
      {{"TYPICALINSTALL = 1"}, "", "-T--"},  // one type: exactly its own button
      {{"CUSTOMINSTALL = 1"}, "", "---C"},
      {{}, "", "F---"},  // no type at all: full
      {{"TYPICALINSTALL = 1", "MINIMALINSTALL = 1"}, "", "-T--"},  // the first offered, never a hidden one
      {{"MINIMALINSTALL = 1", "CUSTOMINSTALL = 1"}, "", "--M-"},
      {{"FULLINSTALL = 1", "MINIMALINSTALL = 1"}, "minimal", "--M-"},
      {{"FULLINSTALL = 1", "TYPICALINSTALL = 1"}, "Typical", "-T--"},
      {{"TYPICALINSTALL = 1"}, "FULL", "F---"},  // the switch wins over the single type
      {{"CUSTOMINSTALL = 1", "FULLINSTALL = 1"}, "custom", "----"},  // never from the command line
      {{"FULLINSTALL = 1"}, "FULLX", "----"},
  };
  for (const auto& C : Cases) {
    TInstallInfo Info;
    Read(Info, C.Flags);
    EXPECT_EQ(Choice(PreselectInstallType(Info, C.Switch, false)), C.Expected)
        << "switch '" << C.Switch << "' flags " << C.Flags.size();
  }
}

TEST(WizardTypes, TheWizardNeverChecksAButtonTheScriptHides) {
  // Unattended, the administrator's switch is taken as given; in the wizard a hidden button
  // checked by it would stay checked beside the one the user clicks, and win.
  const std::vector<std::pair<std::vector<std::string>, std::string>> Cases = {
      {{"FULLINSTALL = 1", "MINIMALINSTALL = 1"}, "F---"},
      {{"TYPICALINSTALL = 1", "MINIMALINSTALL = 1", "CUSTOMINSTALL = 1"}, "--M-"},
      {{"CUSTOMINSTALL = 1", "FULLINSTALL = 1"}, "F---"},
  };
  for (const auto& [Flags, WizardExpected] : Cases) {
    TInstallInfo Info;
    Read(Info, Flags);
    const std::string Switch = Flags.size() == 3 ? "minimal" : "typical";
    EXPECT_EQ(Choice(PreselectInstallType(Info, Switch, true)), WizardExpected) << Switch;
    EXPECT_EQ(Choice(PreselectInstallType(Info, Switch, false)), Switch == "typical" ? "-T--" : "--M-") << Switch;
  }
}

TEST(WizardTypes, TypeAndComponentSwitchesAreCheckedAgainstTheScript) {
  // Scripts: 0 offers FULL, TYPICAL and CUSTOM over groups 1, 2 (child of 1) and hidden 3;
  // 1 offers no type; 2 offers only TYPICAL.
  const std::vector<std::string> Groups = {"GROUP = 1 0 0 1 0 0", "GROUP = 2 1 0 1 0 0", "GROUP = 3 0 1 1 0 0"};
  const std::vector<std::string> Scripts[] = {{"FULLINSTALL = 1", "TYPICALINSTALL = 1", "CUSTOMINSTALL = 1"}, {},
                                              {"TYPICALINSTALL = 1"}};
  struct Case {
    int Script;
    std::vector<std::string> Args;
    const char* Expected;  // the chosen group numbers, or "refused"
  };
  const Case Cases[] = {
      {0, {"/AUTO=ON", "/type=typical"}, ""},
      {0, {"/AUTO=ON", "/TYPE=Custom"}, ""},
      {0, {"/AUTO=ON", "/TYPE=LARGE"}, "refused"},
      {0, {"/TYPE=MINIMAL"}, "refused"},  // not offered, attended as well
      {0, {"/AUTO=ON", "/TYPE="}, "refused"},
      {1, {"/AUTO=ON", "/TYPE=FULL"}, ""},  // what a script without types installs
      {1, {"/AUTO=ON", "/TYPE=CUSTOM"}, "refused"},
      {2, {"/AUTO=ON", "/TYPE=FULL"}, "refused"},
      {0, {"/AUTO=ON", "/components=2,1,2"}, "2 1 2"},
      {0, {"/AUTO=ON", "/TYPE=custom", "/COMPONENTS=1"}, "1"},
      {0, {"/AUTO=ON", "/TYPE=FULL", "/COMPONENTS=1"}, "refused"},
      {0, {"/AUTO=OFF", "/COMPONENTS=1"}, "refused"},
      {2, {"/AUTO=ON", "/COMPONENTS=1"}, "refused"},  // no custom type in the script
      {0, {"/AUTO=ON", "/COMPONENTS=3"}, "refused"},  // hidden
      {0, {"/AUTO=ON", "/COMPONENTS=4"}, "refused"},
      {0, {"/AUTO=ON", "/COMPONENTS=1,,2"}, "refused"},
      {0, {"/AUTO=ON", "/COMPONENTS=1,"}, "refused"},
      {0, {"/AUTO=ON", "/COMPONENTS="}, "refused"},
      {0, {"/AUTO=ON", "/COMPONENTS=1 2"}, "refused"},
      {0, {"/AUTO=ON", "/COMPONENTS=-1"}, "refused"},
      {0, {"/AUTO=ON", "/COMPONENTS=4294967297"}, "refused"},
  };
  for (const Case& C : Cases) {
    TInstallInfo Info;
    Read(Info, Scripts[C.Script]);
    Read(Info, Groups);
    std::vector<TGroupInfo*> Chosen;
    const char* Refusal = CheckTypeSwitches(Info, C.Args, C.Args[0] == "/AUTO=ON", Chosen);
    std::string Got = Refusal ? "refused" : "";
    for (const TGroupInfo* G : Chosen)
      if (!Refusal) Got += (Got.empty() ? "" : " ") + std::to_string(G->ItemNo);
    EXPECT_EQ(Got, C.Expected) << C.Args.back() << " in script " << C.Script;
  }
}

TEST(WizardPages, WhichPagesTakePartAndWhereNextAndBackLead) {
  TInstallInfo Info;
  Read(Info, {"DIALOGREADME = 1", "FULLINSTALL = 1"});
  EXPECT_EQ(Walk(Info, false), (std::vector<int>{1, 3, 4, 9, 10, 11}));
  EXPECT_EQ(Walk(Info, true), (std::vector<int>{1, 3, 4, 9, 10, 11})) << "no custom type in the script";

  TInstallInfo All;
  Read(All, {"DIALOGLICENSE = 1", "DIALOGREADME = 1", "DIALOGGROUP = 1", "DIALOG1S = 1", "FULLINSTALL = 1",
             "CUSTOMINSTALL = 1"});
  EXPECT_EQ(Walk(All, true), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(Walk(All, false), (std::vector<int>{1, 2, 3, 4, 5, 7, 8, 9, 10, 11}));
  EXPECT_EQ(StepPage(All, pg1C, -1, false), pgGroup);
  EXPECT_EQ(StepPage(All, pgGroup, -1, false), pgType) << "the components page only after the custom type";

  TInstallInfo LicenseOnly;
  Read(LicenseOnly, {"DIALOGLICENSE = 1", "CUSTOMINSTALL = 1"});
  EXPECT_EQ(StepPage(LicenseOnly, pgDirectory, -1, false), pgLicense);
  EXPECT_FALSE(PageEnabled(LicenseOnly, pgType, true)) << "a single type has no type page";
  EXPECT_TRUE(PageEnabled(LicenseOnly, pgComponents, true));
  EXPECT_EQ(StepPage(LicenseOnly, pgWelcome, -1, false), pgNone);
  // Steps that would leave the pages stay put rather than search for ever.
  EXPECT_EQ(StepPage(LicenseOnly, pgNone, -1, false), pgNone);
  EXPECT_EQ(StepPage(LicenseOnly, pgClosed, 1, false), pgClosed);
  EXPECT_FALSE(PageEnabled(LicenseOnly, 12, false));
  EXPECT_FALSE(PageEnabled(LicenseOnly, -1, false));
}

TEST(WizardPages, ButtonsOnEntry) {
  std::string Back, Next;
  for (int P = pgWelcome; P <= pgFinish; ++P) {
    Back += BackEnabled(P) ? "B" : "-";
    Next += NextEnabledOnEntry(P) ? "N" : "-";
  }
  EXPECT_EQ(Back, "-BBBBBBB--");
  EXPECT_EQ(Next, "N-NNNNNN--");
}

TEST(WizardComponents, NothingSelectedCountsOnlyVisibleGroupsThatAreUnselected) {
  TInstallInfo Info;
  Read(Info, {"GROUP = 1 0 0 0 0 0", "GROUP = 2 0 1 0 0 0", "GROUP = 3 1 0 0 0 0"});
  auto Set = [&](std::int32_t A, std::int32_t Hidden, std::int32_t C) {
    Info.Groups[0]->State = A;
    Info.Groups[1]->State = Hidden;
    Info.Groups[2]->State = C;
  };
  Set(2, 1, 2);
  EXPECT_TRUE(NoComponentSelected(Info)) << "only a hidden group selected";
  Set(2, 2, 3);
  EXPECT_FALSE(NoComponentSelected(Info));
  Set(2, 2, -1);
  EXPECT_FALSE(NoComponentSelected(Info)) << "a visible group without a mark is not unselected";
  Set(1, 2, 2);
  EXPECT_FALSE(NoComponentSelected(Info));
  TInstallInfo Empty;
  EXPECT_TRUE(NoComponentSelected(Empty));
}

TEST(WizardRunBefore, CommandsAreCutAtBarsWithEmptyOnesSkippedAndFileReplaced) {
  TInstallInfo Info;
  Info.InstallDir = "C:\\Prod";
  TFileInfo F;
  F.RunBefore = true;
  F.RunParams = "|%file% /s||\"%file%\" -x %file%%file%| %FILE% |%file|";
  const std::string P = "C:\\Temp\\runbefore.exe";
  EXPECT_EQ(RunBeforeCommands(Info, F, P),
            (std::vector<std::string>{P + " /s", "\"" + P + "\" -x " + P + P, " %FILE% ", "%file"}));
  F.RunParams = "";
  EXPECT_TRUE(RunBeforeCommands(Info, F, P).empty());
  F.RunParams = "%file%";
  F.RunBefore = false;
  EXPECT_TRUE(RunBeforeCommands(Info, F, P).empty()) << "only flagged records run before installation";
  // A path that itself contains the placeholder is not replaced again.
  F.RunBefore = true;
  EXPECT_EQ(RunBeforeCommands(Info, F, "%file%x"), (std::vector<std::string>{"%file%x"}));
  // The folder placeholders come after it.
  F.RunParams = "%file% /data=%Install%\\data";
  EXPECT_EQ(RunBeforeCommands(Info, F, P), (std::vector<std::string>{P + " /data=C:\\Prod\\data"}));
}

TEST(WizardFinish, CancelRestartAndFinishText) {
  EXPECT_EQ(CancelAction(pgProgress, true, true), TCancelAction::AskThenStopRun);
  for (int P : {pgWelcome, pgLicense, pgDirectory, pgComponents, pg1C})
    EXPECT_EQ(CancelAction(P, true, true), TCancelAction::AskThenClose) << P;
  EXPECT_EQ(CancelAction(pgFinish, true, true), TCancelAction::RestartThenClose);
  EXPECT_EQ(CancelAction(pgFinish, true, false), TCancelAction::Close) << "restart later is preselected";
  EXPECT_EQ(CancelAction(pgFinish, false, true), TCancelAction::Close);

  EXPECT_TRUE(OfferRestart(true, true));
  EXPECT_FALSE(OfferRestart(false, true)) << "a cancelled or failed run never offers a restart";
  EXPECT_FALSE(OfferRestart(true, false));
  EXPECT_STREQ(FinishText(true, true), Msg::FinishRestart);
  EXPECT_STREQ(FinishText(true, false), Msg::FinishSucceeded);
  EXPECT_STREQ(FinishText(false, true), Msg::FinishIncomplete);
  EXPECT_STREQ(FinishText(false, false), Msg::FinishIncomplete);
  const std::string Success = FinishText(true, false);
  const std::string Tail = "Завершить\"";
  ASSERT_GT(Success.size(), Tail.size());
  EXPECT_EQ(Success.substr(Success.size() - Tail.size()), Tail) << "no full stop after the quote";
}

TEST(WizardDirectory, KeyFilterDropsForbiddenCharactersAndMisplacedColons) {
  for (char16_t K : {u'"', u'*', u'/', u'<', u'>', u'?', u'|'}) EXPECT_FALSE(AcceptDirectoryKey(u"C:\\a", 4, K)) << int(K);
  for (char16_t K : {u'\\', u'a', u' ', u'.', char16_t(8), char16_t(1), u'Я', char16_t(0x80), u'€'})
    EXPECT_TRUE(AcceptDirectoryKey(u"C:\\a", 4, K)) << int(K);
  EXPECT_FALSE(AcceptDirectoryKey(u"", 0, u':')) << "a colon at the start of an empty edit";
  EXPECT_TRUE(AcceptDirectoryKey(u"C", 1, u':'));
  EXPECT_FALSE(AcceptDirectoryKey(u"C:", 2, u':')) << "a second colon";
  EXPECT_FALSE(AcceptDirectoryKey(u"C:\\a", 1, u':')) << "a colon elsewhere in the text";
  EXPECT_TRUE(AcceptDirectoryKey(u"CProgram", 1, u':')) << "the caret after the drive letter counts, not the length";
  EXPECT_FALSE(AcceptDirectoryKey(u"CD", 2, u':'));
}

}  // namespace
}  // namespace setup
