#include "Text.h"

#include "Errors.h"

namespace setup {

std::string FormatMessage1(const std::string& Pattern, const std::string& Argument) {
  std::string Result = Pattern;
  const auto At = Result.find("%s");
  if (At != std::string::npos) Result.replace(At, 2, Argument);
  return Result;
}

std::string TextBetween(std::string_view S, std::string_view StartMarker, std::string_view EndMarker) {
  const auto Start = S.find(StartMarker);
  if (Start == std::string_view::npos) return {};
  const auto From = Start + StartMarker.size();
  if (EndMarker.empty()) return std::string(S.substr(From));
  const auto End = S.find(EndMarker, From);
  if (End == std::string_view::npos) return {};
  return std::string(S.substr(From, End - From));
}

std::string ReplaceAll(std::string_view S, std::string_view Pattern, std::string_view Replacement) {
  if (Pattern.empty()) return std::string(S);
  std::string Result;
  Result.reserve(S.size());
  std::size_t From = 0;
  for (;;) {
    const auto At = S.find(Pattern, From);
    if (At == std::string_view::npos) break;
    Result.append(S.substr(From, At - From));
    Result.append(Replacement);
    From = At + Pattern.size();
  }
  Result.append(S.substr(From));
  return Result;
}

bool NextToken(std::string_view S, std::string_view Separators, bool AllowTrailingEmpty,
               std::size_t& Position, std::string& Token) {
  Token.clear();
  if (Position < 1) Position = 1;
  if (Position > S.size()) {
    if (AllowTrailingEmpty && !S.empty() && Position == S.size() + 1) {
      ++Position;
      return true;
    }
    return false;
  }
  const auto Start = Position - 1;
  const auto Separator = S.find_first_of(Separators, Start);
  if (Separator == std::string_view::npos) {
    Token.assign(S.substr(Start));
    Position = S.size() + 2;
  } else {
    Token.assign(S.substr(Start, Separator - Start));
    Position = Separator + 2;  // 1-based position of the separator plus one
  }
  return true;
}

int SplitFields(std::string_view S, std::string_view Separators, std::vector<std::string>& Fields) {
  for (auto& Field : Fields) Field.clear();
  int Count = 0;
  std::size_t Start = 0;
  while (Start < S.size()) {
    auto End = S.find_first_of(Separators, Start);
    if (End == std::string_view::npos) End = S.size();
    if (static_cast<std::size_t>(Count) < Fields.size()) Fields[Count].assign(S.substr(Start, End - Start));
    ++Count;
    Start = End + 1;
    // A separator right before the end of S leaves nothing to start another field.
  }
  return Count;
}

std::uint32_t IntToSet(std::uint32_t Value, int Size) {
  switch (Size) {
    case 1: return Value & 0xFFu;
    case 2: return Value & 0xFFFFu;
    case 4: return Value;
    default: throw Exception("Invalid size of set");
  }
}

std::string UpperAscii(std::string_view S) {
  std::string Result(S);
  for (auto& C : Result)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return Result;
}

std::string PaddedNumber(std::uint32_t Value, int MinDigits, unsigned Base) {
  char Digits[32];
  int Count = 0;
  do {
    Digits[Count++] = "0123456789ABCDEF"[Value % Base];
    Value /= Base;
  } while (Value != 0);
  while (Count < MinDigits && Count < static_cast<int>(sizeof Digits)) Digits[Count++] = '0';
  std::string Text(static_cast<std::size_t>(Count), '0');
  for (int I = 0; I < Count; ++I) Text[I] = Digits[Count - 1 - I];
  return Text;
}

}  // namespace setup
