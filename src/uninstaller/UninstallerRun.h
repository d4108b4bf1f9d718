#pragma once
// The uninstaller's command line and its final report, apart from the windows that show them.
//
// The user (or the control panel, or an installer removing an earlier installation) starts
//   UnInstall.exe "<list file>" [/silence]
// That program copies itself, under its own file name, into a new folder of its own in the
// temporary folder (system/RunFolderWin.h), starts the copy with the same arguments and the
// internal switches below, and waits for the outcome the copy reports through a pipe: the copy
// does the work, so that the installation folder, the first program included, can be removed.
// Once the first program has ended, the copy removes its file and the folders that held only
// it, and ends; its own file is deleted as it closes, and its folder by the next run.
#include <cstdint>
#include <string>
#include <vector>

#include "RemovalPlan.h"

namespace setup {

struct TUninstallerArguments {
  std::string ListFile;  // the first argument that is no switch
  bool Silent = false;   // "/silence": no window that waits for a person
  // Set in the temporary copy: the program that started it, a handle of that process to wait
  // for, and the pipe to report the outcome through (handle values, inherited).
  std::string Original;
  std::uintptr_t OriginalProcess = 0;
  std::uintptr_t StatusPipe = 0;
  // Set when the program only has to unregister this library.
  std::string UnregisterLibrary;

  bool IsCopy() const { return OriginalProcess != 0; }
};

// The switch that makes the uninstaller unregister one library and end.
inline constexpr const char* cUnregisterLibrarySwitch = "/unregdll=";

// Switches are matched without regard to letter case; unknown switches are ignored.
TUninstallerArguments ParseUninstallerArguments(const std::vector<std::string>& Args);

// The copy's command line: the program, the arguments it was given, and the internal switches.
std::string CopyCommandLine(const std::string& Copy, const std::vector<std::string>& Args,
                            const std::string& Original, std::uintptr_t OriginalProcess, std::uintptr_t StatusPipe);

// Exit statuses.
enum : int { usRemoved = 0, usSomethingLeft = 1, usNotStarted = 2 };

// The name of the mutex that the uninstaller working on a list holds while it works: one list
// (whatever the letter case or form of its path) is never worked on by two at once.
std::string RemovalMutexName(const std::string& ListFile);
// The same for a list path known to be canonical already (setup's own, which it resolved).
std::string CanonicalRemovalMutexName(const std::string& Canonical);

// The text of the final message: what went, what stayed and why ("\r" between lines). At most
// MaxLines lines per section; the rest is counted.
std::string ReportText(const std::string& ProductName, const TRemovalReport& Report, std::size_t MaxLines = 15);

// The product's name as the messages show it.
std::string ShownProductName(const std::string& ProductName);

}  // namespace setup
