#include "wizard/WizardFlow.h"

#include <cstring>

#include "system/Messages.h"
#include "system/ProgramCommand.h"
#include "system/Text.h"

namespace setup {

TTypeChoice PreselectInstallType(const TInstallInfo& Info, const std::string& TypeSwitch, bool Attended) {
  const std::string T = UpperAscii(TypeSwitch);
  const int Enabled = int(Info.FullInstall) + int(Info.TypicalInstall) + int(Info.MinimalInstall) +
                      int(Info.CustomInstall);
  TTypeChoice Choice;
  if (T.empty() && Enabled == 1) {
    Choice.Full = Info.FullInstall;
    Choice.Typical = Info.TypicalInstall;
    Choice.Minimal = Info.MinimalInstall;
    Choice.Custom = Info.CustomInstall;
    return Choice;
  }
  // The custom type can never come from the command line.
  Choice.Full = T == "FULL";
  Choice.Typical = T == "TYPICAL";
  Choice.Minimal = T == "MINIMAL";
  const bool Offered = (Choice.Full && Info.FullInstall) || (Choice.Typical && Info.TypicalInstall) ||
                       (Choice.Minimal && Info.MinimalInstall);
  // Without a switch, or in the wizard with a switch naming a button the script hides (the
  // user could not see it checked, and it would win over the button they click), the first
  // type the script offers is preselected; the full type when it offers none.
  if (T.empty() || (Attended && !Offered)) {
    Choice = TTypeChoice{};
    if (Info.FullInstall || Enabled == 0) Choice.Full = true;
    else if (Info.TypicalInstall) Choice.Typical = true;
    else if (Info.MinimalInstall) Choice.Minimal = true;
    else Choice.Custom = true;
  }
  return Choice;
}

namespace {

// The first N characters of A and B agree, ASCII letters compared in either case.
bool SameText(const char* A, const char* B, std::size_t N) {
  for (std::size_t I = 0; I < N; ++I) {
    const char X = A[I] >= 'a' && A[I] <= 'z' ? A[I] - 32 : A[I];
    if (X != (B[I] >= 'a' && B[I] <= 'z' ? B[I] - 32 : B[I])) return false;
  }
  return true;
}

// The value of the first argument that starts with Switch (as GetSwitchValue finds it), or null.
const char* SwitchText(const std::vector<std::string>& Args, const char* Switch) {
  const std::size_t Length = std::strlen(Switch);
  for (const std::string& Arg : Args)
    if (Arg.size() >= Length && SameText(Arg.c_str(), Switch, Length)) return Arg.c_str() + Length;
  return nullptr;
}

}  // namespace

const char* CheckTypeSwitches(const TInstallInfo& Info, const std::vector<std::string>& Args, bool Unattended,
                              std::vector<TGroupInfo*>& Chosen) {
  // FULL is also what a script that offers no type installs.
  const bool Offered[] = {Info.FullInstall || !(Info.TypicalInstall || Info.MinimalInstall || Info.CustomInstall),
                          Info.TypicalInstall, Info.MinimalInstall, Info.CustomInstall, false};
  const char* const Type = SwitchText(Args, "/TYPE=");
  int Given = 0;  // the type's index; 4: unknown
  if (Type) {
    for (const char* Name = "FULL\0TYPICAL\0MINIMAL\0CUSTOM\0"; *Name; Name += std::strlen(Name) + 1, ++Given)
      if (SameText(Type, Name, std::strlen(Name) + 1)) break;
    if (!Offered[Given]) return Msg::BadInstallType;
  }
  const char* List = SwitchText(Args, "/COMPONENTS=");
  if (!List) return nullptr;
  if (!Unattended || !Info.CustomInstall || (Type && Given != 3)) return Msg::BadComponents;
  for (int Number = -1;; ++List) {  // -1: no digit yet
    if (*List >= '0' && *List <= '9' && Number < 100000000) {
      Number = (Number < 0 ? 0 : Number * 10) + (*List - '0');
      continue;
    }
    if ((*List != ',' && *List) || Number < 0) return Msg::BadComponents;
    TGroupInfo* Found = nullptr;
    for (const auto& G : Info.Groups)
      if (G->ItemNo == Number && !G->Hidden) Found = G.get();
    if (!Found) return Msg::BadComponents;
    Chosen.push_back(Found);
    if (!*List) return nullptr;
    Number = -1;
  }
}

bool PageEnabled(const TInstallInfo& Info, int Page, bool Custom) {
  switch (Page) {
    case pgNone:
    case pgWelcome:
    case pgDirectory:
    case pgProgress:
    case pgFinish:
    case pgClosed:
      return true;
    case pgLicense:
      return Info.DialogLicense;
    case pgReadme:
      return Info.DialogReadme;
    case pgType:
      return int(Info.FullInstall) + int(Info.TypicalInstall) + int(Info.MinimalInstall) + int(Info.CustomInstall) > 1;
    case pgComponents:
      return Info.CustomInstall && Custom;
    case pgGroup:
      return Info.DialogGroup;
    case pg1C:
      return Info.Dialog1S;
    default:
      return false;
  }
}

int StepPage(const TInstallInfo& Info, int Page, int Step, bool Custom) {
  if (Step == 0) return Page;
  // Pages 0 and 11 always take part, so a step from inside the range ends inside it; a step
  // that would leave the range (Back from 0, Next from 11) stays where it is instead of
  // searching for ever.
  for (int P = Page + Step; P >= pgNone && P <= pgClosed; P += Step)
    if (PageEnabled(Info, P, Custom)) return P;
  return Page;
}

bool BackEnabled(int Page) { return Page >= pgLicense && Page <= pg1C; }

bool NextEnabledOnEntry(int Page) { return Page == pgWelcome || (Page >= pgReadme && Page <= pg1C); }

bool NoComponentSelected(const TInstallInfo& Info) {
  // Hidden groups do not count: a tree whose visible groups are all unselected has nothing
  // the user chose, whatever the hidden ones say. A visible group without a mark (-1) is
  // not "unselected" and lets the page go.
  for (const auto& G : Info.Groups)
    if (!G->Hidden && G->State != gsNotSelected) return false;
  return true;
}

std::vector<std::string> RunBeforeCommands(const TInstallInfo& Info, const TFileInfo& File, const std::string& ProgramPath) {
  if (!File.RunBefore) return {};
  std::vector<std::string> Commands = CommandList(File.RunParams, ProgramPath);
  for (std::string& Command : Commands) Command = Info.ExpandPath(fkPlaceholdersOnly, Command);
  return Commands;
}

TCancelAction CancelAction(int Page, bool DialogReboot, bool RebootChecked) {
  if (Page == pgProgress) return TCancelAction::AskThenStopRun;
  if (Page == pgFinish)
    return DialogReboot && RebootChecked ? TCancelAction::RestartThenClose : TCancelAction::Close;
  return TCancelAction::AskThenClose;
}

bool OfferRestart(bool InstallSucceeded, bool DialogReboot) { return InstallSucceeded && DialogReboot; }

const char* FinishText(bool InstallSucceeded, bool DialogReboot) {
  if (OfferRestart(InstallSucceeded, DialogReboot)) return Msg::FinishRestart;
  return InstallSucceeded ? Msg::FinishSucceeded : Msg::FinishIncomplete;
}

bool AcceptDirectoryKey(const std::u16string& Text, std::size_t Caret, char16_t Key) {
  switch (Key) {
    case u'"':
    case u'*':
    case u'/':
    case u'<':
    case u'>':
    case u'?':
    case u'|':
      return false;
    case u':':
      // Only as the drive letter's colon: right after the first character, and only once.
      return Text.find(u':') == std::u16string::npos && Caret == 1;
    default:
      return true;
  }
}

}  // namespace setup
