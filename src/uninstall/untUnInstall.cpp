#include "untUnInstall.h"

#include <ctime>
#include <iterator>

#include "system/Encoding.h"
#include "system/Errors.h"
#include "system/Files.h"
#include "system/Messages.h"
#include "system/Paths.h"
#include "system/Sha256.h"
#include "system/Text.h"

namespace setup {

std::string UninstallCommandLine(const std::string& ListFileName) {
  return "\"" + ExtractFilePath(ListFileName) + "UnInstall.exe\" \"" + ListFileName + "\"";
}

namespace {
const char* const cProductTextNames[] = {"DisplayVersion", "Publisher", "URLInfoAbout"};
}  // namespace

std::string DateText(unsigned Year, unsigned Month, unsigned Day) {
  unsigned Value = Year % 10000 * 10000 + Month % 100 * 100 + Day % 100;
  std::string Text(8, '0');
  for (int I = 7; I >= 0; --I, Value /= 10) Text[I] = static_cast<char>('0' + Value % 10);
  return Text;
}

#ifndef _WIN32
std::string TodayText() {
  const std::time_t Now = std::time(nullptr);
  const std::tm* Local = std::localtime(&Now);
  return DateText(Local->tm_year + 1900, Local->tm_mon + 1, Local->tm_mday);
}
#endif

TUnInstall::TUnInstall() {
#ifdef _WIN32
  RunUninstaller = RunUninstallerSilent;
  WaitForUninstaller = WaitForStartedUninstaller;
#endif
}

void TUnInstall::SaveList() {
  TNameValueList Strings;
  Items.SaveToStrings(Strings, KeepResponding);
  Strings.Append("ProductName", ProductName);  // no item key has this name
  // The uninstaller reads the list in the system's ANSI code page.
  const std::string Bytes = Utf8ToAnsi(Strings.Text());
  SaveBytesToFile(ListFileName, Bytes);
  ListDigest = Sha256Hex(Bytes);
}

void TUnInstall::AddSharedRefs(IRegistry& Registry) {
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  if (!Registry.OpenKey(cSharedDllsKey, false)) return;
  // Their earlier counts are recorded all at once, before the first is changed.
  std::vector<std::string> Names;
  for (int I = 0; I < Items.Count(); ++I)
    if (const auto* File = Items.Items(I).AsFile(); File && File->SharedFile != 0) Names.push_back(File->FileName);
  Registry.WillChange(Names);
  for (int I = 0; I < Items.Count(); ++I) {
    if (KeepResponding && I % 2048 == 2047) KeepResponding();
    const auto* File = Items.Items(I).AsFile();
    if (!File || File->SharedFile == 0) continue;
    // Before anything is unpacked, a file on disk is a copy some earlier installation left:
    // it keeps its count. A count left behind for a file that is gone starts over.
    std::int32_t Count = 0;
    if (Registry.ValueExists(File->FileName) && IsExistingFile(File->FileName))
      Count = Registry.ReadInteger(File->FileName);
    Registry.WriteInteger(File->FileName, Count + 1);
  }
  Registry.CloseKey();
}

void TUnInstall::WriteUninstallKey(IRegistry& Registry, const std::string& InstallDir) {
  // Without a product name the key would be the uninstall key itself: write nothing there.
  if (ProductName.empty()) return;
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  if (!Registry.OpenKey(std::string(cUninstallKey) + "\\" + ProductName, true)) return;
  const std::string Command = UninstallCommandLine(ListFileName);
  // The four values every entry has, then what the list of programs shows and the command
  // deployment tools run to remove the product without questions (texts only when given). The
  // uninstaller neither changes nor repairs an installation.
  const std::string Quiet = Command + " /silence", Date = TodayText();
  const std::pair<const char*, const std::string*> Texts[] = {
      {"DisplayName", &ProductName}, {"UnInstallString", &Command},    {"InstallLocation", &InstallDir},
      {"ProductID", &ProductID},     {"QuietUninstallString", &Quiet}, {"DisplayIcon", &DisplayIcon},
      {"InstallDate", &Date}};
  std::vector<std::pair<std::string, const std::string*>> Strings;
  for (std::size_t I = 0; I < std::size(Texts); ++I)
    if (I < 4 || !Texts[I].second->empty()) Strings.emplace_back(Texts[I].first, Texts[I].second);
  for (int I = 0; ProductTexts && I < 3; ++I)
    if (!ProductTexts[I].empty()) Strings.emplace_back(cProductTextNames[I], &ProductTexts[I]);
  const std::pair<const char*, std::uint32_t> Numbers[] = {{"EstimatedSize", EstimatedSize}, {"NoModify", 1}, {"NoRepair", 1}};
  // The entry is written by administrators only, the list may lie where others write: the
  // digest lets the uninstaller tell the list it is given from the one written here.
  std::vector<std::string> Names(ListDigest.empty() ? 0 : 1, cListDigestValue);
  for (const auto& Text : Strings) Names.push_back(Text.first);
  for (const auto& Number : Numbers) Names.push_back(Number.first);
  // What the entry held before is recorded in one go, not value by value.
  Registry.WillChange(Names);
  for (const auto& [Name, Text] : Strings) Registry.WriteString(Name, *Text);
  for (const auto& [Name, Value] : Numbers) Registry.WriteInteger(Name, static_cast<std::int32_t>(Value));
  if (!ListDigest.empty()) Registry.WriteString(cListDigestValue, ListDigest);
  Registry.CloseKey();
}

void TUnInstall::CreateUninstall(IRegistry& Registry, const std::string& InstallDir) {
  SaveList();
  AddSharedRefs(Registry);
  WriteUninstallKey(Registry, InstallDir);
}

std::string EarlierInstallLocation(IRegistry& Registry, const std::string& ProductID) {
  if (ProductID.empty()) return {};
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  if (!Registry.OpenKeyReadOnly(cUninstallKey)) return {};
  const std::vector<std::string> Names = Registry.GetKeyNames();
  Registry.CloseKey();
  for (const auto& Name : Names) {
    if (!Registry.OpenKeyReadOnly(std::string(cUninstallKey) + "\\" + Name)) continue;
    const std::string Id = Registry.ReadStringOrEmpty("ProductID");
    const std::string Location = Registry.ReadStringOrEmpty("InstallLocation");
    Registry.CloseKey();
    if (Id == ProductID && !Location.empty()) return Location;
  }
  return {};
}

void TUnInstall::RemovePrevious(IRegistry& Registry) {
  // Without an identifier or a place of its own, "the same product in the same place" would
  // match entries of other products (an MSI product's entry has no identifier either).
  const std::string OwnDir = ExtractFilePath(ListFileName);
  if (ProductID.empty() || OwnDir.empty()) return;
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  if (!Registry.OpenKey(cUninstallKey, false)) return;
  const std::vector<std::string> Names = Registry.GetKeyNames();
  Registry.CloseKey();
  for (const auto& Name : Names) {
    std::string Id, CommandLine;
    try {
      if (!Registry.OpenKey(std::string(cUninstallKey) + "\\" + Name, false)) continue;
      try {
        Id = Registry.ReadString("ProductID");
        CommandLine = Registry.ReadString("UnInstallString");
      } catch (...) {
        Registry.CloseKey();
        throw;
      }
      Registry.CloseKey();
    } catch (const Exception&) {
      // One broken entry must not keep the others from being looked at.
      continue;
    }
    if (Id != ProductID) continue;
    const std::string Program = TextBetween(CommandLine, "\"", "\"");
    if (ExtractFilePath(Program) != OwnDir) continue;
    if (BeforeUninstaller) BeforeUninstaller(Name, CommandLine);
    if (!RunUninstaller || !RunUninstaller(CommandLine)) continue;
    PreviousCommand = CommandLine;
#ifdef _WIN32
    PreviousStatus = LastUninstallerStatus();
#endif
    while (WaitForUninstaller && !WaitForUninstaller(CommandLine))
      if (!WaitAgain || !WaitAgain(Program)) throw Exception(FormatMessage1(Msg::PreviousNotRemoved, Program));
  }
}

}  // namespace setup
