#include "untUnInstallFiles.h"

#include <cstdlib>

#include "system/Errors.h"

namespace setup {
namespace {

bool SameNameIgnoringCase(const std::string& A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    auto Fold = [](char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C; };
    if (Fold(A[I]) != Fold(B[I])) return false;
  }
  return true;
}

// A stored number is plain decimal; anything else is a damaged list.
std::uint8_t ReadNumber(const TNameValueList& Strings, const std::string& Key) {
  const std::string Text = Strings.Value(Key);
  bool Valid = !Text.empty() && Text.size() <= 11;
  std::size_t Start = (Valid && (Text[0] == '-' || Text[0] == '+')) ? 1 : 0;
  if (Start == Text.size()) Valid = false;
  for (std::size_t I = Start; Valid && I < Text.size(); ++I) Valid = Text[I] >= '0' && Text[I] <= '9';
  if (!Valid) throw Exception("'" + Text + "' is not a valid integer value.");
  return static_cast<std::uint8_t>(std::strtol(Text.c_str(), nullptr, 10));
}

}  // namespace

int TNameValueList::IndexOfName(const std::string& Name) const {
  for (std::size_t I = 0; I < FLines.size(); ++I) {
    const auto& Line = FLines[I];
    const auto Equals = Line.find('=');
    const std::string_view LineName =
        Equals == std::string::npos ? std::string_view(Line) : std::string_view(Line).substr(0, Equals);
    if (SameNameIgnoringCase(Name, LineName)) return static_cast<int>(I);
  }
  return -1;
}

std::string TNameValueList::Value(const std::string& Name) const {
  const int I = IndexOfName(Name);
  if (I < 0) return {};
  const auto& Line = FLines[I];
  const auto Equals = Line.find('=');
  return Equals == std::string::npos ? std::string() : Line.substr(Equals + 1);
}

void TNameValueList::SetValue(const std::string& Name, const std::string& Value) {
  const int I = IndexOfName(Name);
  if (Value.empty()) {
    if (I >= 0) FLines.erase(FLines.begin() + I);
  } else if (I >= 0) {
    FLines[I] = Name + "=" + Value;
  } else {
    FLines.push_back(Name + "=" + Value);
  }
}

void TNameValueList::Append(const std::string& Name, const std::string& Value) {
  if (!Value.empty()) FLines.push_back(Name + "=" + Value);
}

std::string TNameValueList::Text() const {
  std::size_t Size = 0;
  for (const auto& Line : FLines) Size += Line.size() + 2;
  std::string Out;
  Out.reserve(Size);
  for (const auto& Line : FLines) {
    Out += Line;
    Out += "\r\n";
  }
  return Out;
}

TNameValueList TNameValueList::FromText(const std::string& Text) {
  TNameValueList List;
  std::size_t I = 0;
  while (I < Text.size()) {
    auto End = Text.find_first_of("\r\n", I);
    if (End == std::string::npos) End = Text.size();
    List.FLines.push_back(Text.substr(I, End - I));
    if (End < Text.size() && Text[End] == '\r' && End + 1 < Text.size() && Text[End + 1] == '\n') ++End;
    I = End + 1;
  }
  return List;
}

std::unique_ptr<TUnInstallFile> TUnInstallFile::CreateFromStrings(const TNameValueList& Strings, int Index) {
  const std::string N = std::to_string(Index);
  return std::make_unique<TUnInstallFile>(Strings.Value("FileName" + N), ReadNumber(Strings, "SharedFile" + N),
                                          ReadNumber(Strings, "UnRegister" + N), Strings.Value("RunParams" + N));
}

void TUnInstallFile::SaveToStrings(TNameValueList& Strings, int Index) const {
  const std::string N = std::to_string(Index);
  Strings.Append("ItemType" + N, "File");
  Strings.Append("FileName" + N, FileName);
  Strings.Append("SharedFile" + N, std::to_string(SharedFile));
  Strings.Append("UnRegister" + N, std::to_string(UnRegister));
  Strings.Append("RunParams" + N, RunParams);
}

std::unique_ptr<TUnInstallDir> TUnInstallDir::CreateFromStrings(const TNameValueList& Strings, int Index) {
  const std::string N = std::to_string(Index);
  return std::make_unique<TUnInstallDir>(Strings.Value("DirName" + N), ReadNumber(Strings, "UnInstallWhole" + N));
}

void TUnInstallDir::SaveToStrings(TNameValueList& Strings, int Index) const {
  const std::string N = std::to_string(Index);
  Strings.Append("ItemType" + N, "Dir");
  Strings.Append("DirName" + N, DirName);
  Strings.Append("UnInstallWhole" + N, std::to_string(UnInstallWhole));
}

int TUnInstallList::Add(std::unique_ptr<TUnInstallCustom> Item) {
  FItems.push_back(std::move(Item));
  return Count() - 1;
}

TUnInstallCustom& TUnInstallList::Items(int Index) const {
  if (Index < 0 || Index >= Count())
    throw Exception("List index out of bounds (" + std::to_string(Index) + ")");
  return *FItems[Index];
}

void TUnInstallList::SaveToStrings(TNameValueList& Strings, const std::function<void()>& KeepResponding) const {
  // Every key is new: the items' keys end in their own numbers.
  Strings.Clear();
  Strings.Append("VersionFile", "1");
  Strings.Append("Count", std::to_string(Count()));
  for (int N = 0; N < Count(); ++N) {
    FItems[N]->SaveToStrings(Strings, N);
    if (KeepResponding && N % 2048 == 2047) KeepResponding();
  }
}

}  // namespace setup
