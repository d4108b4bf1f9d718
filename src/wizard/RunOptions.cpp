#include "wizard/RunOptions.h"

#include "system/CommandLine.h"
#include "system/SafePaths.h"
#include "system/Text.h"

namespace setup {

TRunOptions ReadRunOptions(const std::vector<std::string>& Args) {
  TRunOptions Options;
  Options.Unattended = UpperAscii(GetSwitchValue(Args, "/AUTO=", "OFF")) == "ON";
  // Quiet without unattended would leave a wizard nobody may answer: it needs both.
  Options.Quiet = Options.Unattended && UpperAscii(GetSwitchValue(Args, "/QUIET=", "OFF")) == "ON";
  Options.LogPath = GetSwitchValue(Args, "/LOG=", "");
  for (const std::string& Arg : Args) {
    const std::string Upper = UpperAscii(Arg);
    if (Upper == "/?" || Upper == "/HELP" || Upper == "-?") Options.Help = true;
  }
  // A marker default tells "not given" from "given empty".
  const std::string NotGiven(1, '\0');
  const std::string Path = GetSwitchValue(Args, "/PATH=", NotGiven);
  Options.BadPath = Path != NotGiven && !IsInstallFolder(Path);
  const std::string Group = GetSwitchValue(Args, "/GROUP=", NotGiven);
  Options.BadGroup = Group != NotGiven && !IsProgramGroupName(Group);
  return Options;
}

bool IsAbsoluteFolder(const std::string& Folder) {
  const auto Letter = [](char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); };
  if (Folder.size() >= 3 && Letter(Folder[0]) && Folder[1] == ':' && Folder[2] == '\\') return true;
  // \\server\share: at least one character of server name after the two backslashes.
  return Folder.size() >= 5 && Folder[0] == '\\' && Folder[1] == '\\' && Folder[2] != '\\' &&
         Folder.find('\\', 3) != std::string::npos && Folder.find('\\', 3) + 1 < Folder.size();
}

bool IsInstallFolder(const std::string& Folder) { return IsAbsoluteFolder(Folder) && !HasDotComponent(Folder); }

bool IsProgramGroupName(const std::string& Group) {
  // A colon anywhere is a drive ("C:x") or a stream ("x:y"), neither a folder name.
  return !Group.empty() && Group[0] != '\\' && Group[0] != '/' && Group.find(':') == std::string::npos &&
         !HasDotComponent(Group);
}

int UnattendedExitStatus(bool Succeeded, bool AnySkipped, bool RestartWanted) {
  if (!Succeeded) return exitFailed;
  // A restart is what the administrator must act on; the skipped files are in the log.
  if (RestartWanted) return exitRestartRequired;
  return AnySkipped ? exitPartly : exitSucceeded;
}

std::string OneLine(const std::string& Text) {
  std::string Line;
  Line.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == '\r' || Text[I] == '\n') {
      if (Text[I] == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
      Line += " | ";
    } else {
      Line += Text[I];
    }
  }
  return Line;
}

}  // namespace setup
