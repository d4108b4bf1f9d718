#include "RemovalList.h"

#include <iterator>
#include <vector>

#include "UninstallerMessages.h"
#include "system/Encoding.h"
#include "system/Errors.h"
#include "system/SafePaths.h"
#include "system/Sha256.h"
#include "system/Text.h"
#include "uninstall/untUnInstall.h"

namespace setup {
namespace {

[[noreturn]] void Damaged(const std::string& Pattern, const std::string& Argument) {
  throw Exception(FormatMessage1(UnMsg::ListDamaged, FormatMessage1(Pattern, Argument)));
}

bool SameTextIgnoringAsciiCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    auto Fold = [](char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; };
    if (Fold(A[I]) != Fold(B[I])) return false;
  }
  return true;
}

// The encoding a list was saved again in, or empty for the ANSI code page it is written in.
// Text in code page 1251 is almost never valid UTF-8 once it holds a letter beyond ASCII:
// its small letters (0xE0-0xFF) would each have to be followed by two or three of the bytes
// 0x80-0xBF, which are punctuation and rare letters there.
std::string ForeignEncoding(std::string_view Bytes) {
  if (Bytes.rfind("\xEF\xBB\xBF", 0) == 0) return "UTF-8";
  if (Bytes.rfind("\xFF\xFE", 0) == 0 || Bytes.rfind("\xFE\xFF", 0) == 0 || Bytes.find('\0') != std::string_view::npos)
    return "UTF-16";
  bool Multibyte = false;
  for (std::size_t I = 0; I < Bytes.size();) {
    const auto B = static_cast<unsigned char>(Bytes[I]);
    if (B < 0x80) {
      ++I;
      continue;
    }
    const std::size_t Length = B >= 0xC2 && B <= 0xDF ? 2 : B >= 0xE0 && B <= 0xEF ? 3 : B >= 0xF0 && B <= 0xF4 ? 4 : 0;
    if (Length == 0 || I + Length > Bytes.size()) return {};
    for (std::size_t K = 1; K < Length; ++K)
      if ((static_cast<unsigned char>(Bytes[I + K]) & 0xC0) != 0x80) return {};
    Multibyte = true;
    I += Length;
  }
  return Multibyte ? "UTF-8" : std::string();
}

}  // namespace

bool CommandNamesList(const std::string& CommandLine, const std::string& ListFileName) {
  return FoldPath(CommandLine).find("\"" + FoldPath(ListFileName) + "\"") != std::string::npos;
}

TListEntry FindListEntry(IRegistry& Registry, const std::string& ProductName, const std::string& ListFileName) {
  TListEntry Entry;
  Registry.SetRootKey(RegistryRoot::LocalMachine);
  if (!Registry.OpenKeyReadOnly(cUninstallKey)) return Entry;
  std::vector<std::string> Names = Registry.GetKeyNames();
  Registry.CloseKey();
  // The entry the list's product name gives is the likely one; any other that names the list
  // is looked at after it.
  if (!ProductName.empty()) Names.insert(Names.begin(), ProductName);
  for (const auto& Name : Names) {
    if (!Registry.OpenKeyReadOnly(std::string(cUninstallKey) + "\\" + Name)) continue;
    if (CommandNamesList(Registry.ReadStringOrEmpty("UnInstallString"), ListFileName)) {
      Entry = {true, Name, Registry.ReadStringOrEmpty("InstallLocation"), Registry.ReadStringOrEmpty(cListDigestValue)};
      Registry.CloseKey();
      return Entry;
    }
    Registry.CloseKey();
  }
  return Entry;
}

TListOrigin CheckListOrigin(const TListEntry& Entry, std::string_view ListBytes) {
  if (!Entry.Found || Entry.Digest.empty()) return TListOrigin::loUnknown;
  // Hexadecimal digits in either case.
  return FoldPath(Entry.Digest) == FoldPath(Sha256Hex(ListBytes)) ? TListOrigin::loProven : TListOrigin::loChanged;
}

bool IsAbsoluteWindowsPath(std::string_view Path) {
  const bool Drive = Path.size() >= 3 && ((Path[0] >= 'A' && Path[0] <= 'Z') || (Path[0] >= 'a' && Path[0] <= 'z')) &&
                     Path[1] == ':' && Path[2] == '\\';
  const bool Network = Path.size() >= 3 && Path[0] == '\\' && Path[1] == '\\' && Path[2] != '\\';
  return Drive || Network;
}

TRemovalList ReadRemovalList(std::string_view AnsiBytes) {
  if (const std::string Encoding = ForeignEncoding(AnsiBytes); !Encoding.empty())
    Damaged(UnMsg::OtherEncoding, Encoding);
  const std::string Text = AnsiToUtf8(AnsiBytes);
  // One pass over the lines, each name looked at once: the header's keys by name, an item's
  // keys by their number. A name's first line counts; a line without "=" is none.
  static constexpr const char* cItemKeys[] = {"ItemType",  "FileName", "SharedFile",    "UnRegister",
                                              "RunParams", "DirName",  "UnInstallWhole"};
  struct TItemLine {
    std::size_t Number;
    std::size_t Key;
    std::string_view Value;
  };
  std::vector<TItemLine> ItemLines;
  std::string_view Header[3];  // VersionFile, Count, ProductName
  bool HeaderSeen[3] = {};
  std::size_t Lines = 0;
  for (std::size_t I = 0; I < Text.size(); ++Lines) {
    std::size_t End = I;
    while (End < Text.size() && Text[End] != '\r' && Text[End] != '\n') ++End;
    const std::string_view Line(Text.data() + I, End - I);
    if (End < Text.size() && Text[End] == '\r' && End + 1 < Text.size() && Text[End + 1] == '\n') ++End;
    I = End + 1;
    const auto Equals = Line.find('=');
    if (Equals == std::string_view::npos) continue;
    const std::string_view Name = Line.substr(0, Equals), Value = Line.substr(Equals + 1);
    std::size_t Digits = Name.size();
    while (Digits > 0 && Name[Digits - 1] >= '0' && Name[Digits - 1] <= '9') --Digits;
    const std::string_view Prefix = Name.substr(0, Digits), Number = Name.substr(Digits);
    if (Number.empty()) {
      std::size_t K = 0;
      for (const char* Key : {"VersionFile", "Count", "ProductName"}) {
        if (SameTextIgnoringAsciiCase(Name, Key) && !HeaderSeen[K]) {
          HeaderSeen[K] = true;
          Header[K] = Value;
        }
        ++K;
      }
      continue;
    }
    // Item numbers are written without leading zeros; a longer one names no item a count allows.
    if ((Number.size() > 1 && Number[0] == '0') || Number.size() > 9) continue;
    for (std::size_t K = 0; K < std::size(cItemKeys); ++K)
      if (SameTextIgnoringAsciiCase(Prefix, cItemKeys[K]))
        ItemLines.push_back({static_cast<std::size_t>(std::stoul(std::string(Number))), K, Value});
  }

  const std::string Version(Header[0]);
  if (Version != "1") Damaged(UnMsg::BadVersion, Version);

  // Each item takes at least two lines (its type and a number), so a count beyond half the
  // lines cannot be right; checking it first keeps a damaged count from running long.
  const std::string CountText(Header[1]);
  bool CountValid = !CountText.empty() && CountText.size() <= 9;
  for (char C : CountText) CountValid = CountValid && C >= '0' && C <= '9';
  const long Count = CountValid ? std::stol(CountText) : -1;
  if (!CountValid || Count > static_cast<long>(Lines / 2)) Damaged(UnMsg::BadCount, CountText);

  // Each item's keys, the first line of each.
  struct TItemKeys {
    std::string_view Values[std::size(cItemKeys)];
    unsigned Seen = 0;
  };
  std::vector<TItemKeys> Keys(static_cast<std::size_t>(Count));
  for (const TItemLine& Line : ItemLines) {
    if (Line.Number >= Keys.size() || (Keys[Line.Number].Seen & (1u << Line.Key))) continue;
    Keys[Line.Number].Seen |= 1u << Line.Key;
    Keys[Line.Number].Values[Line.Key] = Line.Value;
  }

  TRemovalList List;
  List.ProductName = std::string(Header[2]);
  for (int N = 0; N < Count; ++N) {
    const std::string Number = std::to_string(N);
    const TItemKeys& Item = Keys[static_cast<std::size_t>(N)];
    const std::string Type(Item.Values[0]);
    // The item's own keys, read by the items' own reader.
    TNameValueList ItemStrings;
    for (std::size_t K = 1; K < std::size(cItemKeys); ++K)
      ItemStrings.Append(cItemKeys[K] + Number, std::string(Item.Values[K]));
    std::unique_ptr<TUnInstallCustom> Entry;
    std::string Path;
    try {
      if (SameTextIgnoringAsciiCase(Type, "File")) {
        auto File = TUnInstallFile::CreateFromStrings(ItemStrings, N);
        Path = File->FileName;
        Entry = std::move(File);
      } else if (SameTextIgnoringAsciiCase(Type, "Dir")) {
        auto Dir = TUnInstallDir::CreateFromStrings(ItemStrings, N);
        Path = Dir->DirName;
        Entry = std::move(Dir);
      }
    } catch (const Exception&) {
      Damaged(UnMsg::BadNumber, Number);
    }
    if (!Entry) Damaged(UnMsg::BadItemType, Number + (Type.empty() ? std::string() : " «" + Type + "»"));
    if (!Path.empty() && !IsAbsoluteWindowsPath(Path)) Damaged(UnMsg::RelativePath, Path);
    List.Items.Add(std::move(Entry));
  }
  return List;
}

}  // namespace setup
