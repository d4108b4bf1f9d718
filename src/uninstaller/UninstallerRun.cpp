#include "UninstallerRun.h"

#include <algorithm>
#include <cstdlib>

#include "UninstallerMessages.h"
#include "system/Errors.h"
#include "system/SafePaths.h"
#include "system/Text.h"

namespace setup {
namespace {

bool StartsWithSwitch(const std::string& Arg, const std::string& Switch) {
  return Arg.size() >= Switch.size() && UpperAscii(Arg.substr(0, Switch.size())) == UpperAscii(Switch);
}

std::uintptr_t HandleValue(const std::string& Text) {
  char* End = nullptr;
  const unsigned long long Value = std::strtoull(Text.c_str(), &End, 10);
  return (End && *End == '\0') ? static_cast<std::uintptr_t>(Value) : 0;
}

const char* NotePattern(TRemovalNote::Kind What) {
  switch (What) {
    case TRemovalNote::Scheduled: return UnMsg::LeftScheduled;
    case TRemovalNote::NotRemoved: return UnMsg::LeftNotRemoved;
    case TRemovalNote::NoCounter: return UnMsg::LeftNoCounter;
    case TRemovalNote::CommandFailed: return UnMsg::LeftCommandFailed;
    case TRemovalNote::Refused: return UnMsg::LeftRefused;
    case TRemovalNote::CommandRefused: return UnMsg::LeftCommandRefused;
    case TRemovalNote::SharedInUse: return UnMsg::KeptShared;
    case TRemovalNote::NotEmpty: return UnMsg::KeptNotEmpty;
  }
  return "%s";
}

void AppendSection(std::string& Text, const TRemovalReport& Report, bool Left, std::size_t MaxLines) {
  std::size_t Shown = 0, Count = 0;
  for (const auto& Note : Report.Notes) {
    if (Note.IsLeft() != Left) continue;
    ++Count;
    if (Shown == MaxLines) continue;
    Text += "\r" + FormatMessage1(NotePattern(Note.What), Note.Path);
    if (!Note.Detail.empty()) Text += " (" + Note.Detail + ")";
    ++Shown;
  }
  if (Count > Shown) Text += "\r" + FormatMessage1(UnMsg::MoreLines, std::to_string(Count - Shown));
}

}  // namespace

const char* const cSilentSwitch = "/silence";
const char* const cOriginalSwitch = "/original=";
const char* const cProcessSwitch = "/copyof=";
const char* const cStatusSwitch = "/status=";

TUninstallerArguments ParseUninstallerArguments(const std::vector<std::string>& Args) {
  TUninstallerArguments Result;
  for (const auto& Arg : Args) {
    if (UpperAscii(Arg) == UpperAscii(cSilentSwitch)) {
      Result.Silent = true;
    } else if (StartsWithSwitch(Arg, cOriginalSwitch)) {
      Result.Original = Arg.substr(std::string(cOriginalSwitch).size());
    } else if (StartsWithSwitch(Arg, cProcessSwitch)) {
      Result.OriginalProcess = HandleValue(Arg.substr(std::string(cProcessSwitch).size()));
    } else if (StartsWithSwitch(Arg, cStatusSwitch)) {
      Result.StatusPipe = HandleValue(Arg.substr(std::string(cStatusSwitch).size()));
    } else if (StartsWithSwitch(Arg, cUnregisterLibrarySwitch)) {
      Result.UnregisterLibrary = Arg.substr(std::string(cUnregisterLibrarySwitch).size());
    } else if (!Arg.empty() && Arg[0] != '/' && Result.ListFile.empty()) {
      Result.ListFile = Arg;
    }
  }
  return Result;
}

std::string CopyCommandLine(const std::string& Copy, const std::vector<std::string>& Args,
                            const std::string& Original, std::uintptr_t OriginalProcess, std::uintptr_t StatusPipe) {
  std::string Line = "\"" + Copy + "\"";
  for (const auto& Arg : Args) Line += " \"" + Arg + "\"";
  Line += " \"" + std::string(cOriginalSwitch) + Original + "\"";
  Line += " " + std::string(cProcessSwitch) + std::to_string(OriginalProcess);
  Line += " " + std::string(cStatusSwitch) + std::to_string(StatusPipe);
  return Line;
}

std::string ShownProductName(const std::string& ProductName) {
  return ProductName.empty() ? UnMsg::UnnamedProduct : ProductName;
}

std::string RemovalMutexName(const std::string& ListFile) {
  std::string Canonical;
  if (CanonicalPath(ListFile, Canonical) != TPathRefusal::prNone) Canonical = ListFile;
  return CanonicalRemovalMutexName(Canonical);
}

std::string CanonicalRemovalMutexName(const std::string& Canonical) {
  // FNV-1a over the folded form: a mutex name may not hold a backslash.
  std::uint32_t Hash = 0x811C9DC5u;
  for (const char Byte : FoldPath(Canonical)) Hash = (Hash ^ static_cast<unsigned char>(Byte)) * 0x01000193u;
  return "Global\\SetupEngine.Removal." + PaddedNumber(Hash, 8, 16);
}

std::string ReportText(const std::string& ProductName, const TRemovalReport& Report, std::size_t MaxLines) {
  const std::string Name = ShownProductName(ProductName);
  std::string Text = FormatMessage1(Report.Complete() ? UnMsg::Done : UnMsg::DoneWithLeftovers, Name);
  if (!Report.Complete()) AppendSection(Text, Report, true, MaxLines);
  const bool AnyKept = std::any_of(Report.Notes.begin(), Report.Notes.end(),
                                   [](const TRemovalNote& N) { return !N.IsLeft(); });
  if (AnyKept) {
    Text += "\r\r" + std::string(UnMsg::KeptNotes);
    AppendSection(Text, Report, false, MaxLines);
  }
  return Text;
}

}  // namespace setup
