#pragma once
// Registers one installation with the system's uninstall machinery: the list file, the
// shared-file counters, the uninstall entry, and the removal of an earlier installation of
// the same product in the same place.
#include <cstdint>
#include <functional>
#include <string>

#include "system/Registry.h"
#include "untUnInstallFiles.h"

namespace setup {

inline constexpr const char* cUninstallKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall";
inline constexpr const char* cSharedDllsKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
// The value of the uninstall entry that holds the SHA-256 digest (hexadecimal) of the list the
// installation wrote: the uninstaller refuses a list that no longer matches it.
inline constexpr const char* cListDigestValue = "UninstallListDigest";

// The installation folder of an earlier installation of ProductID registered on this machine:
// the folder of the first uninstall entry with that identifier that names one; empty when there
// is none (or no identifier).
std::string EarlierInstallLocation(IRegistry& Registry, const std::string& ProductID);

// "<dir of list>UnInstall.exe" "<list>", both quoted, one blank between.
std::string UninstallCommandLine(const std::string& ListFileName);
// The date as YYYYMMDD, and today's local date so.
std::string DateText(unsigned Year, unsigned Month, unsigned Day);
std::string TodayText();

class TUnInstall {
 public:
  TUnInstallList Items;
  std::string ListFileName;
  std::string ProductName;
  std::string ProductID;
  // The product's version, maker and web page (the script's VERSION, PUBLISHER, URLINFOABOUT):
  // three texts, each may be empty, that the model owns; null when there are none.
  const std::string* ProductTexts = nullptr;
  // The picture the list of programs shows for the entry and the room the installation takes
  // (kilobytes). The entry's date is the day it is written.
  std::string DisplayIcon;
  std::uint32_t EstimatedSize = 0;
  // The digest of the list SaveList wrote, which WriteUninstallKey records.
  std::string ListDigest;

  // How an earlier installation's uninstaller is run and waited for. On Windows these are the
  // system routines below; elsewhere nothing can run until a test sets them. WaitForUninstaller
  // is false when the uninstaller (its temporary copy, that is) is still at work after its wait.
  std::function<bool(const std::string&)> RunUninstaller;
  std::function<bool(const std::string&)> WaitForUninstaller;
  // Asked (with the uninstaller's path) when an earlier uninstaller is still at work after the
  // wait: true waits again. Without it, or on false, RemovePrevious raises: the installation
  // must not go on into a folder that the old uninstaller may still be emptying.
  std::function<bool(const std::string&)> WaitAgain;
  // Called every few thousand items while a long list is saved and counted, so that the
  // windows stay responsive.
  std::function<void()> KeepResponding;
  // Called with the entry's key name and command line just before its uninstaller is run.
  std::function<void(const std::string&, const std::string&)> BeforeUninstaller;
  // What RemovePrevious ran last: the earlier uninstaller's command line (empty when it ran
  // none) and, where the system tells it, its exit status.
  std::string PreviousCommand;
  std::uint32_t PreviousStatus = 0;

  TUnInstall();

  void RemovePrevious(IRegistry& Registry);
  void CreateUninstall(IRegistry& Registry, const std::string& InstallDir);
  void SaveList();
  void AddSharedRefs(IRegistry& Registry);
  void WriteUninstallKey(IRegistry& Registry, const std::string& InstallDir);
};

#ifdef _WIN32
// Starts CommandLine + " /silence" and waits for it; true when it started and the wait worked.
// Whatever it starts in turn (its temporary copy, which does the work and outlives it) is
// kept track of for the routine below.
bool RunUninstallerSilent(const std::string& CommandLine);
// The exit status of the program RunUninstallerSilent last waited for.
std::uint32_t LastUninstallerStatus();
// Waits (at most a minute) until every program that the uninstaller last started by
// RunUninstallerSilent started in turn has ended; false when one still runs. Then removes the
// folder its copy ran from.
bool WaitForStartedUninstaller(const std::string& CommandLine);
#endif

}  // namespace setup
