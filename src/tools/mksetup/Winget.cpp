#include "Winget.h"

#include <filesystem>

#include "Packager.h"
#include "system/Encoding.h"
#include "system/Files.h"
#include "system/Sha256.h"

namespace setup::mksetup {

const char* const cWingetUsage =
    "\nA winget manifest set, for a setup.exe that is downloaded as one file:\n"
    "  --winget DIR           also write a winget manifest set for setup.exe into DIR (the\n"
    "                         script needs VERSION and PUBLISHER)\n"
    "  --winget-url URL       where setup.exe will be downloaded from (required with --winget)\n"
    "  --winget-id ID         the package identifier, Publisher.Product (default: from the\n"
    "                         script's PUBLISHER and DESCRIPTION)\n";

namespace {

// One code point of UTF-8 text at I; I moves past it.
std::string NextChar(const std::string& Text, std::size_t& I) {
  std::size_t End = I + 1;
  while (End < Text.size() && (static_cast<unsigned char>(Text[End]) & 0xC0) == 0x80) ++End;
  std::string Char = Text.substr(I, End - I);
  I = End;
  return Char;
}

// What a part of a package identifier may not hold: a dot, blanks, path and wildcard
// characters, control characters.
bool ForbiddenInId(const std::string& Char) {
  return Char.size() == 1 ? static_cast<unsigned char>(Char[0]) <= ' ' || std::string(".\\/:*?\"<>|").find(Char[0]) != std::string::npos
                          : Char == "\u00A0";
}

// A name made fit for one part of an identifier: forbidden characters left out, at most 32.
std::string IdPart(const std::string& Name) {
  std::string Part;
  int Count = 0;
  for (std::size_t I = 0; I < Name.size() && Count < 32;)
    if (const std::string Char = NextChar(Name, I); !ForbiddenInId(Char)) {
      Part += Char;
      ++Count;
    }
  return Part;
}

// Publisher.Package with up to seven more parts, each 1 to 32 characters.
bool IsPackageId(const std::string& Id) {
  int Parts = 1, Count = 0;
  for (std::size_t I = 0; I < Id.size();) {
    const std::string Char = NextChar(Id, I);
    if (Char == ".") {
      if (Count == 0) return false;
      ++Parts;
      Count = 0;
    } else if (ForbiddenInId(Char) || ++Count > 32) {
      return false;
    }
  }
  return Count > 0 && Parts >= 2 && Parts <= 8;
}

bool IsWebAddress(const std::string& Url) {
  for (const char* Scheme : {"https://", "http://"})
    if (Url.rfind(Scheme, 0) == 0 && Url.size() > std::string(Scheme).size() &&
        Url.find_first_of(" \t\r\n") == std::string::npos)
      return true;
  return false;
}

// The value of the script's key, as the setup program reads it: the text before the character
// in front of the first "=" is the key, the value starts after the character behind it. The
// last line with the key counts. UTF-8; empty when the key is not there.
std::string ScriptValue(const std::string& Cp1251, const std::string& Key) {
  std::string Value;
  for (std::size_t Start = 0; Start < Cp1251.size();) {
    std::size_t End = Cp1251.find('\n', Start);
    if (End == std::string::npos) End = Cp1251.size();
    std::string Line = Cp1251.substr(Start, End - Start);
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    const std::size_t Equals = Line.find('=');
    if (Equals != std::string::npos && Equals > 0 && Line.compare(0, Equals - 1, Key) == 0 && Equals - 1 == Key.size())
      Value = Cp1251ToUtf8(Equals + 2 <= Line.size() ? Line.substr(Equals + 2) : "");
    Start = End + 1;
  }
  return Value;
}

// A YAML scalar in single quotes, where only the quote itself is doubled.
std::string Quoted(const std::string& Text) {
  std::string Result = "'";
  for (const char C : Text) Result += C == '\'' ? "''" : std::string(1, C);
  return Result + "'";
}

std::string Header(const char* Type, const TWingetManifest& M) {
  return std::string("# yaml-language-server: $schema=https://aka.ms/winget-manifest.") + Type +
         ".1.6.0.schema.json\n\nPackageIdentifier: " + Quoted(M.Id) + "\nPackageVersion: " + Quoted(M.Version) + "\n";
}

std::string Footer(const char* Type) { return std::string("ManifestType: ") + Type + "\nManifestVersion: 1.6.0\n"; }

}  // namespace

TWingetOptions TakeWingetArguments(std::vector<std::string>& Args) {
  TWingetOptions Options;
  std::vector<std::string> Rest;
  for (std::size_t I = 0; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    if (Arg == "--") {
      Rest.insert(Rest.end(), Args.begin() + static_cast<std::ptrdiff_t>(I), Args.end());
      break;
    }
    const std::size_t Equals = Arg.find('=');
    const std::string Key = Arg.substr(0, Equals);
    std::string* Target = Key == "--winget" ? &Options.Dir : Key == "--winget-id" ? &Options.Id
                        : Key == "--winget-url"                  ? &Options.Url
                                                                 : nullptr;
    if (!Target) {
      Rest.push_back(Arg);
      continue;
    }
    if (Equals != std::string::npos) {
      *Target = Arg.substr(Equals + 1);
    } else {
      if (I + 1 >= Args.size()) throw TUsageError{"missing value after " + Key};
      *Target = Args[++I];
    }
    if (Target->empty()) throw TUsageError{"empty value for " + Key};
  }
  Args = std::move(Rest);
  if (Options.Dir.empty()) {
    if (!Options.Id.empty() || !Options.Url.empty()) throw TUsageError{"--winget-id and --winget-url need --winget DIR"};
    return Options;
  }
  if (!IsWebAddress(Options.Url))
    throw TUsageError{"--winget needs --winget-url with the web address (https://...) setup.exe is downloaded from"};
  if (!Options.Id.empty() && !IsPackageId(Options.Id))
    throw TUsageError{"--winget-id '" + Options.Id +
                      "' is not Publisher.Product (2 to 8 parts of 1 to 32 characters, no blanks or \\/:*?\"<>|)"};
  return Options;
}

TWingetManifest ReadWingetManifest(const TWingetOptions& Options, const std::string& ScriptCp1251) {
  TWingetManifest M;
  M.Name = ScriptValue(ScriptCp1251, "DESCRIPTION");
  M.Version = ScriptValue(ScriptCp1251, "VERSION");
  M.Publisher = ScriptValue(ScriptCp1251, "PUBLISHER");
  M.AboutUrl = ScriptValue(ScriptCp1251, "URLINFOABOUT");
  M.InstallerUrl = Options.Url;
  M.ProductCode = M.Name;
  M.Id = Options.Id.empty() ? IdPart(M.Publisher) + "." + IdPart(M.Name) : Options.Id;
  std::string Problems;
  if (M.Name.empty()) Problems += "\n  the script has no DESCRIPTION (the product's name and its uninstall entry)";
  if (M.Publisher.empty()) Problems += "\n  the script has no PUBLISHER";
  if (M.Version.empty() || M.Version.size() > 128 || M.Version.find_first_of("\\/:*?\"<>|") != std::string::npos)
    Problems += "\n  the script has no VERSION fit for a package version (for example 2.1.0)";
  else if (!IsPackageId(M.Id))
    Problems += "\n  no package identifier can be made from PUBLISHER and DESCRIPTION: give --winget-id";
  if (!Problems.empty()) throw Exception("mksetup --winget:" + Problems);
  return M;
}

std::vector<std::string> WriteWingetManifests(const TWingetManifest& M, const std::string& Dir,
                                              const std::string& SetupPath) {
  TSha256 Hash;
  Hash.Add(LoadBytesFromFile(SetupPath));
  const std::string Installer =
      Header("installer", M) +
      "InstallerType: exe\n"
      "Scope: machine\n"
      "InstallModes:\n- interactive\n- silent\n- silentWithProgress\n"
      "InstallerSwitches:\n"
      "  Silent: '/AUTO=ON /QUIET=ON'\n"
      "  SilentWithProgress: '/AUTO=ON'\n"
      "  Log: '/LOG=\"<LOGPATH>\"'\n"
      "  InstallLocation: '/PATH=\"<INSTALLPATH>\"'\n"
      "InstallerSuccessCodes:\n- 3\n"
      "ExpectedReturnCodes:\n"
      "- InstallerReturnCode: 1618\n  ReturnResponse: installInProgress\n"
      "- InstallerReturnCode: 3010\n  ReturnResponse: rebootRequiredToFinish\n"
      "AppsAndFeaturesEntries:\n"
      "- DisplayName: " + Quoted(M.Name) + "\n  Publisher: " + Quoted(M.Publisher) +
      "\n  DisplayVersion: " + Quoted(M.Version) + "\n  ProductCode: " + Quoted(M.ProductCode) +
      "\nInstallers:\n"
      "- Architecture: x86\n  InstallerUrl: " + Quoted(M.InstallerUrl) + "\n  InstallerSha256: " + Hash.Hex() + "\n" +
      Footer("installer");
  const std::string Locale = Header("defaultLocale", M) + "PackageLocale: ru-RU\nPublisher: " + Quoted(M.Publisher) +
                             "\n" + (M.AboutUrl.empty() ? "" : "PackageUrl: " + Quoted(M.AboutUrl) + "\n") +
                             "PackageName: " + Quoted(M.Name) + "\nLicense: 'Proprietary'\nShortDescription: " +
                             Quoted(M.Name) + "\n" + Footer("defaultLocale");
  const std::string Version = Header("version", M) + "DefaultLocale: ru-RU\n" + Footer("version");

  const std::filesystem::path Folder(std::u8string(Dir.begin(), Dir.end()));
  std::filesystem::create_directories(Folder);
  std::vector<std::string> Written;
  for (const auto& [Suffix, Text] : {std::pair<const char*, const std::string&>{".yaml", Version},
                                     {".installer.yaml", Installer},
                                     {".locale.ru-RU.yaml", Locale}}) {
    const std::u8string Path = (Folder / std::u8string(M.Id.begin(), M.Id.end())).u8string() +
                               std::u8string(Suffix, Suffix + std::char_traits<char>::length(Suffix));
    Written.emplace_back(Path.begin(), Path.end());
    SaveBytesToFile(Written.back(), Text);
  }
  return Written;
}

}  // namespace setup::mksetup
