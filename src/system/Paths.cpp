#include "Paths.h"

namespace setup {

void AddBackslash(std::string& S) {
  if (!S.empty() && S.back() != '\\') S.push_back('\\');
}

std::string WithBackslash(std::string S) {
  AddBackslash(S);
  return S;
}

void DelBackslash(std::string& S) {
  if (!S.empty() && S.back() == '\\') S.pop_back();
}

std::string WithoutBackslash(std::string S) {
  DelBackslash(S);
  return S;
}

std::string NormalizeDir(std::string_view S) {
  if (S.empty()) return {};
  if (S.front() == '"' && S.back() == '"') {
    S = S.size() <= 2 ? std::string_view() : S.substr(1, S.size() - 2);
    if (S.empty()) return {};
  }
  std::string Result(S);
  if (Result.size() == 1 && ((Result[0] >= 'A' && Result[0] <= 'Z') || (Result[0] >= 'a' && Result[0] <= 'z')))
    Result.push_back(':');
  AddBackslash(Result);
  return Result;
}

std::string ExtractFilePath(std::string_view Path) {
  const auto At = Path.find_last_of("\\:");
  return At == std::string_view::npos ? std::string() : std::string(Path.substr(0, At + 1));
}

std::string ExtractFileName(std::string_view Path) {
  const auto At = Path.find_last_of("\\:");
  return std::string(At == std::string_view::npos ? Path : Path.substr(At + 1));
}

}  // namespace setup
