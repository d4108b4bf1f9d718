#pragma once
// mksetup --winget DIR: the manifest set (version, installer, default locale; schema 1.6.0)
// with which the Windows package manager and the deployment tools built on it install the
// setup.exe that mksetup made, without questions, and recognise it afterwards.
#include <string>
#include <vector>

namespace setup::mksetup {

struct TWingetOptions {
  std::string Dir;  // empty: no manifests
  std::string Id;   // --winget-id Publisher.Product; empty: from PUBLISHER and DESCRIPTION
  std::string Url;  // --winget-url: where setup.exe is downloaded from
};

extern const char* const cWingetUsage;

// Takes --winget, --winget-id and --winget-url (with their values) out of Args and checks
// them. Raises TUsageError.
TWingetOptions TakeWingetArguments(std::vector<std::string>& Args);

// What the manifests say, from the options and the script's keys (code page 1251 text, as
// DecodeScript gives it). Raises Exception naming whatever the script lacks.
struct TWingetManifest {
  std::string Id, Version, Name, Publisher, AboutUrl, InstallerUrl;
  std::string ProductCode;  // the uninstall entry's key name
};
TWingetManifest ReadWingetManifest(const TWingetOptions& Options, const std::string& ScriptCp1251);

// Writes the three files into Dir (made when missing) for the program at SetupPath; returns
// their paths.
std::vector<std::string> WriteWingetManifests(const TWingetManifest& Manifest, const std::string& Dir,
                                              const std::string& SetupPath);

}  // namespace setup::mksetup
