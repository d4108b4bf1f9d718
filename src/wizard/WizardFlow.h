#pragma once
// Which wizard pages take part, where Next and Back lead, what leaving a page does to the
// model, what Cancel does on each page and which text the finish page shows. The window
// shows what this says; none of it needs a window.
#include <string>
#include <vector>

#include "model/untData.h"

namespace setup {

// Page numbers: 0 before the first page, 1 welcome ... 10 finish, 11 the wizard closes.
enum TWizardPage : int {
  pgNone = 0,
  pgWelcome = 1,
  pgLicense = 2,
  pgReadme = 3,
  pgDirectory = 4,
  pgType = 5,
  pgComponents = 6,
  pgGroup = 7,
  pg1C = 8,
  pgProgress = 9,
  pgFinish = 10,
  pgClosed = 11
};

// The checked states of the four installation-type buttons.
struct TTypeChoice {
  bool Full = false, Typical = false, Minimal = false, Custom = false;
};

// The type buttons checked before the user touches them, from the "/TYPE=" switch (already
// upper-cased by the caller or not: compared after upper-casing) and the script's flags.
// Attended: only a button the script shows is ever checked.
TTypeChoice PreselectInstallType(const TInstallInfo& Info, const std::string& TypeSwitch, bool Attended);

// The switches /TYPE= and /COMPONENTS= checked against the script before anything changes.
// Returns the message that refuses them, or null. /TYPE= must name a type the script
// offers (FULL also when it offers none, as that is what it installs); /COMPONENTS= is a list
// of visible group numbers ("1,8"), only with /AUTO=ON, and asks for a custom installation:
// the script must offer that type and no other /TYPE= may be given. Chosen gets the groups.
const char* CheckTypeSwitches(const TInstallInfo& Info, const std::vector<std::string>& Args, bool Unattended,
                              std::vector<TGroupInfo*>& Chosen);

// True when Page takes part in this wizard. Custom is whether the custom type button is
// checked (the components page follows only from it).
bool PageEnabled(const TInstallInfo& Info, int Page, bool Custom);

// The page reached from Page by Step (+1 Next, -1 Back), skipping pages that do not take part.
int StepPage(const TInstallInfo& Info, int Page, int Step, bool Custom);

// Whether Back and Next are enabled when Page is entered (Next on the licence page waits for
// one of the two answers).
bool BackEnabled(int Page);
bool NextEnabledOnEntry(int Page);

// Leaving the components page: true when every group that is not hidden has State 2 (not
// selected); the page must then stay with an error. A visible group without a mark (-1) is
// not "not selected", and a model without visible groups has nothing selected.
bool NoComponentSelected(const TInstallInfo& Info);

// The run-before commands of one FILE record: its parameters cut at each "|", empty ones
// skipped, every "%file%" replaced by ProgramPath, then the folder placeholders of Info.
// Empty when the record is not flagged.
std::vector<std::string> RunBeforeCommands(const TInstallInfo& Info, const TFileInfo& File, const std::string& ProgramPath);

// What the Cancel button does on a page.
enum class TCancelAction {
  AskThenClose,       // ordinary pages: confirmation, Yes closes the wizard
  AskThenStopRun,     // progress page: confirmation, Yes sets the worker's Cancelled flag
  Close,              // finish page, no restart chosen: closes without a question
  RestartThenClose    // finish page with the restart chosen
};
TCancelAction CancelAction(int Page, bool DialogReboot, bool RebootChecked);

// The finish page: whether the restart choice shows, and the text above it.
bool OfferRestart(bool InstallSucceeded, bool DialogReboot);
const char* FinishText(bool InstallSucceeded, bool DialogReboot);

// The directory edit's key filter: whether Key, typed with the caret at Caret (in characters)
// into Text, is accepted. Text and Key are UTF-16 code units, as the edit holds them.
bool AcceptDirectoryKey(const std::u16string& Text, std::size_t Caret, char16_t Key);

}  // namespace setup
