#include "CommandLine.h"

#include "Text.h"

namespace setup {

std::vector<std::string> SplitCommandLine(std::string_view CommandLine) {
  std::vector<std::string> Args;
  std::size_t I = 0;
  const auto N = CommandLine.size();
  auto IsBlank = [](char C) { return static_cast<unsigned char>(C) <= ' '; };
  while (I < N) {
    while (I < N && IsBlank(CommandLine[I])) ++I;
    if (I >= N) break;
    std::string Arg;
    bool Quoted = false;
    while (I < N && (Quoted || !IsBlank(CommandLine[I]))) {
      if (CommandLine[I] == '"')
        Quoted = !Quoted;
      else
        Arg.push_back(CommandLine[I]);
      ++I;
    }
    Args.push_back(std::move(Arg));
  }
  return Args;
}

std::string GetSwitchValue(const std::vector<std::string>& Args, std::string_view Switch,
                           const std::string& Default) {
  // The switches are ASCII, so comparing the ASCII upper case of the leading bytes is the same
  // as comparing the upper case of the leading characters.
  const std::string Wanted = UpperAscii(Switch);
  for (const auto& Arg : Args) {
    if (Arg.size() >= Wanted.size() && UpperAscii(std::string_view(Arg).substr(0, Wanted.size())) == Wanted)
      return Arg.substr(Wanted.size());
  }
  return Default;
}

}  // namespace setup
