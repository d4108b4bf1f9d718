#pragma once
// How a run was asked to go: the switches that decide whether anybody is there to answer,
// where the log goes, and the exit status a deployment tool reads afterwards.
#include <string>
#include <vector>

namespace setup {

// The program's exit status. exitPartly: installed, but some files were kept or skipped (the
// log lists them); exitRestartRequired: installed, and the product wants Windows restarted,
// which an unattended run never does itself; exitAnotherRunning: an unattended run found
// another copy of the product's setup running (the status deployment tools try again on).
enum : int {
  exitSucceeded = 0,
  exitFailed = 1,
  exitNotStarted = 2,
  exitPartly = 3,
  exitAnotherRunning = 1618,
  exitRestartRequired = 3010
};

struct TRunOptions {
  bool Unattended = false;  // /AUTO=ON: no question is asked, every question takes its safe answer
  bool Quiet = false;       // /QUIET=ON with /AUTO=ON: no window waits for a person, not even an error box
  bool Help = false;        // /? or /HELP
  std::string LogPath;      // /LOG=<file>; empty: no log
  // /PATH= given with a value that cannot be an installation folder (empty, relative, or with
  // a "." or ".." component).
  bool BadPath = false;
  // /GROUP= given with a value that is not a folder inside the Start menu's programs folder.
  bool BadGroup = false;
};

TRunOptions ReadRunOptions(const std::vector<std::string>& Args);

// A folder the product can be installed into: a drive letter with its backslash ("C:\...")
// or a network path ("\\server\share..."). An empty or relative folder would land the product
// wherever the current folder happens to be.
bool IsAbsoluteFolder(const std::string& Folder);
// An absolute folder without "." or ".." components: what is checked, removed and recorded
// for the uninstaller is the folder that was named, not one beside or above it.
bool IsInstallFolder(const std::string& Folder);
// A program group: one or more folder names below the Start menu's programs folder. Empty, a
// drive, a leading backslash, a network path or a "." or ".." component would put the
// shortcuts (and the uninstaller's removal of the group) elsewhere.
bool IsProgramGroupName(const std::string& Group);

// The status of an unattended run that got to its end (Succeeded) or not.
int UnattendedExitStatus(bool Succeeded, bool AnySkipped, bool RestartWanted);

// A text on one line, as the log keeps it: line breaks become " | ".
std::string OneLine(const std::string& Text);

}  // namespace setup
