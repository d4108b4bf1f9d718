#include "RemovalList.h"

#include <unordered_map>

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
  const TNameValueList Strings = TNameValueList::FromText(AnsiToUtf8(AnsiBytes));
  // Each name's first value, by its upper-case name: looking keys up line by line would make
  // a long list take quadratic time.
  std::unordered_map<std::string, std::string> Values;
  for (std::size_t I = 0; I < Strings.Count(); ++I) {
    const std::string& Line = Strings.Line(I);
    const auto Equals = Line.find('=');
    if (Equals == std::string::npos) continue;
    Values.emplace(UpperAscii(std::string_view(Line).substr(0, Equals)), Line.substr(Equals + 1));
  }
  auto Value = [&](const std::string& Name) {
    const auto It = Values.find(UpperAscii(Name));
    return It == Values.end() ? std::string() : It->second;
  };

  const std::string Version = Value("VersionFile");
  if (Version != "1") Damaged(UnMsg::BadVersion, Version);

  // Each item takes at least two lines (its type and a number), so a count beyond half the
  // lines cannot be right; checking it first keeps a damaged count from running long.
  const std::string CountText = Value("Count");
  bool CountValid = !CountText.empty() && CountText.size() <= 9;
  for (char C : CountText) CountValid = CountValid && C >= '0' && C <= '9';
  const long Count = CountValid ? std::stol(CountText) : -1;
  if (!CountValid || Count > static_cast<long>(Strings.Count() / 2)) Damaged(UnMsg::BadCount, CountText);

  TRemovalList List;
  List.ProductName = Value("ProductName");
  for (int N = 0; N < Count; ++N) {
    const std::string Number = std::to_string(N);
    const std::string Type = Value("ItemType" + Number);
    // The item's own keys, read by the items' own reader.
    TNameValueList ItemStrings;
    for (const char* Key : {"FileName", "SharedFile", "UnRegister", "RunParams", "DirName", "UnInstallWhole"})
      ItemStrings.SetValue(Key + Number, Value(Key + Number));
    std::unique_ptr<TUnInstallCustom> Item;
    std::string Path;
    try {
      if (SameTextIgnoringAsciiCase(Type, "File")) {
        auto File = TUnInstallFile::CreateFromStrings(ItemStrings, N);
        Path = File->FileName;
        Item = std::move(File);
      } else if (SameTextIgnoringAsciiCase(Type, "Dir")) {
        auto Dir = TUnInstallDir::CreateFromStrings(ItemStrings, N);
        Path = Dir->DirName;
        Item = std::move(Dir);
      }
    } catch (const Exception&) {
      Damaged(UnMsg::BadNumber, Number);
    }
    if (!Item) Damaged(UnMsg::BadItemType, Number + (Type.empty() ? std::string() : " «" + Type + "»"));
    if (!Path.empty() && !IsAbsoluteWindowsPath(Path)) Damaged(UnMsg::RelativePath, Path);
    List.Items.Add(std::move(Item));
  }
  return List;
}

}  // namespace setup
