#include "ProgramCommand.h"

#include "Paths.h"
#include "Text.h"

namespace setup {

namespace {

bool StartsWithAbsolutePath(std::string_view S) {
  if (S.size() >= 2 && S[0] == '\\' && S[1] == '\\') return true;
  if (S.size() >= 3 && S[1] == ':' && S[2] == '\\') return true;
  return S.size() >= 4 && S[2] == ':' && S[3] == '\\';
}

}  // namespace

std::string CommandWorkingDirectory(std::string_view CommandLine,
                                    const std::function<bool(const std::string&)>& IsFile) {
  if (!StartsWithAbsolutePath(CommandLine)) return {};
  if (CommandLine[0] == '"') {
    const auto Closing = CommandLine.find('"', 1);
    if (Closing != std::string_view::npos) return ExtractFilePath(CommandLine.substr(1, Closing - 1));
  } else {
    for (std::size_t End = CommandLine.find(' '); ; End = CommandLine.find(' ', End + 1)) {
      const std::string Candidate(CommandLine.substr(0, End));
      if (IsFile(Candidate) || IsFile(Candidate + ".exe")) return ExtractFilePath(Candidate);
      if (End == std::string_view::npos) break;
    }
  }
  return ReplaceAll(ExtractFilePath(CommandLine), "\"", "");
}

std::vector<std::string> CommandList(std::string_view RunParams, const std::string& FilePath) {
  std::vector<std::string> Commands;
  std::size_t Position = 1;
  std::string Piece;
  while (NextToken(RunParams, "|", true, Position, Piece))
    if (!Piece.empty()) Commands.push_back(ReplaceAll(Piece, "%file%", FilePath));
  return Commands;
}

}  // namespace setup
