// Reading the installation script into the model.
#include <algorithm>
#include <array>
#include <unordered_map>

#include "system/Messages.h"
#include "model/untData.h"
#include "system/Encoding.h"
#include "system/Text.h"

namespace setup {
namespace {

enum Key : int {
  keyNone,
  // records
  keyGroup, keyDir, keyFile,
  // attributes
  keyGroupCaption, keyDirPath, keyDirCfgName, keyDirShortcut, keyFilePath, keyFileShortcut,
  keyFileShortcutParams, keyFileRunParams, keyFileRunParamsUninstall,
  // self-contained lines
  keyDepend, keyExePath,
  // booleans
  keyDialog1S, keyDialogReadme, keyDialogLicense, keyDialogReboot, keyDialogGroup, keyUnInstall,
  keyTypicalInstall, keyCustomInstall, keyMinimalInstall, keyFullInstall, keySelectDirectoryFrom1C,
  // integers
  keyGroupUnInstallPath, keyGroupDirectory,
  // texts
  keyUnInstallPath, keyProductId, keyNameFont, keyDescription, keyGroupName, keyDirectory,
  keyDownloadWebPage, keyReadme, keyLicense, keyVersion, keyPublisher, keyUrlInfoAbout,
};

const std::unordered_map<std::string_view, Key>& KeyTable() {
  static const std::unordered_map<std::string_view, Key> Table = {
      {"GROUP", keyGroup},
      {"DIR", keyDir},
      {"FILE", keyFile},
      {"GROUPCAPTION", keyGroupCaption},
      {"DIRPATH", keyDirPath},
      {"DIRCFGNAME", keyDirCfgName},
      {"DIRSHORTCUT", keyDirShortcut},
      {"FILEPATH", keyFilePath},
      {"FILESHORTCUT", keyFileShortcut},
      {"FILESHORTCUTPARAMS", keyFileShortcutParams},
      {"FILERUNPARAMS", keyFileRunParams},
      {"FILERUNPARAMSUNINSTALL", keyFileRunParamsUninstall},
      {"DEPEND", keyDepend},
      {"EXEPATH", keyExePath},
      {"DIALOG1S", keyDialog1S},
      {"DIALOGREADME", keyDialogReadme},
      {"DIALOGLICENSE", keyDialogLicense},
      {"DIALOGREBOOT", keyDialogReboot},
      {"DIALOGGROUP", keyDialogGroup},
      {"UNINSTALL", keyUnInstall},
      {"TYPICALINSTALL", keyTypicalInstall},
      {"CUSTOMINSTALL", keyCustomInstall},
      {"MINIMALINSTALL", keyMinimalInstall},
      {"FULLINSTALL", keyFullInstall},
      {"SELECTDIRETORYFROM1C", keySelectDirectoryFrom1C},
      {"GROUPUNINSTALLPATH", keyGroupUnInstallPath},
      {"GROUPDIRECTORY", keyGroupDirectory},
      {"UNINSTALLPATH", keyUnInstallPath},
      {"PRODUCTID", keyProductId},
      {"NAMEFONT", keyNameFont},
      {"DESCRIPTION", keyDescription},
      {"GROUPNAME", keyGroupName},
      {"DIRECTORY", keyDirectory},
      {"DOWNLOADWEBPAGE", keyDownloadWebPage},
      {"README", keyReadme},
      {"LICENSE", keyLicense},
      {"VERSION", keyVersion},
      {"PUBLISHER", keyPublisher},
      {"URLINFOABOUT", keyUrlInfoAbout},
  };
  return Table;
}

// Length in bytes of the UTF-8 sequence that starts with B. The text comes from the code page
// decoder, so it is well formed; a stray continuation byte still counts as one character.
std::size_t CharLength(unsigned char B) {
  if (B >= 0xF0) return 4;
  if (B >= 0xE0) return 3;
  if (B >= 0xC0) return 2;
  return 1;
}

// The key is the text before the first "=" less its last character, the value the text after
// it less its first character: the reader expects exactly "KEY = value" and does not check
// what the two removed characters are.
struct SplitLine {
  bool HasEquals = false;
  std::string_view Key;
  std::string_view Value;
};

SplitLine Split(std::string_view Line) {
  SplitLine Result;
  const auto Eq = Line.find('=');
  if (Eq == std::string_view::npos) return Result;
  Result.HasEquals = true;
  if (Eq > 0) {
    // Step back over one whole character before "=".
    std::size_t Last = Eq - 1;
    while (Last > 0 && (static_cast<unsigned char>(Line[Last]) & 0xC0) == 0x80) --Last;
    Result.Key = Line.substr(0, Last);
  }
  std::size_t ValueStart = Eq + 1;
  if (ValueStart < Line.size()) ValueStart += CharLength(static_cast<unsigned char>(Line[ValueStart]));
  if (ValueStart < Line.size()) Result.Value = Line.substr(ValueStart);
  return Result;
}

// Columns of a record value: cut at every single blank; only the first Count are kept and
// missing ones stay empty.
template <std::size_t Count>
std::array<std::string_view, Count> Columns(std::string_view Value) {
  std::array<std::string_view, Count> Result{};
  std::size_t From = 0;
  for (std::size_t I = 0; I < Count; ++I) {
    const auto Blank = Value.find(' ', From);
    if (Blank == std::string_view::npos) {
      Result[I] = Value.substr(From);
      break;
    }
    Result[I] = Value.substr(From, Blank - From);
    From = Blank + 1;
  }
  return Result;
}

bool IsTrimmable(char C) { return static_cast<unsigned char>(C) <= ' '; }

bool ScriptBool(std::string_view Value) {
  while (!Value.empty() && IsTrimmable(Value.front())) Value.remove_prefix(1);
  while (!Value.empty() && IsTrimmable(Value.back())) Value.remove_suffix(1);
  return Value == "1";
}

bool Flag(std::string_view Text) { return (ScriptStrToInt(Text) & 0xFF) != 0; }
std::uint8_t LowByte(std::string_view Text) { return static_cast<std::uint8_t>(ScriptStrToInt(Text) & 0xFF); }

}  // namespace

bool TryScriptStrToInt(std::string_view Text, std::int32_t& Value) {
  std::size_t I = 0;
  const auto N = Text.size();
  while (I < N && Text[I] == ' ') ++I;
  bool Negative = false;
  if (I < N && (Text[I] == '+' || Text[I] == '-')) Negative = Text[I++] == '-';
  unsigned Base = 10;
  if (I < N && Text[I] == '$') {
    Base = 16;
    ++I;
  } else if (I + 1 < N && Text[I] == '0' && (Text[I + 1] == 'x' || Text[I + 1] == 'X')) {
    Base = 16;
    I += 2;
  }
  if (I >= N) return false;
  // Hexadecimal numbers may use all 32 bits (they wrap to negative); decimal ones must fit.
  const std::uint64_t Limit = Base == 16 ? 0xFFFFFFFFull : (Negative ? 0x80000000ull : 0x7FFFFFFFull);
  std::uint64_t Magnitude = 0;
  for (; I < N; ++I) {
    const char C = Text[I];
    unsigned Digit;
    if (C >= '0' && C <= '9') Digit = C - '0';
    else if (Base == 16 && C >= 'a' && C <= 'f') Digit = C - 'a' + 10;
    else if (Base == 16 && C >= 'A' && C <= 'F') Digit = C - 'A' + 10;
    else return false;
    Magnitude = Magnitude * Base + Digit;
    if (Magnitude > Limit) return false;
  }
  auto Bits = static_cast<std::uint32_t>(Magnitude);
  if (Negative) Bits = 0u - Bits;
  Value = static_cast<std::int32_t>(Bits);
  return true;
}

std::int32_t ScriptStrToInt(std::string_view Text) {
  std::int32_t Value;
  if (!TryScriptStrToInt(Text, Value)) throw EConvertError(FormatMessage1(Msg::InvalidInteger, std::string(Text)));
  return Value;
}

std::string LineKey(std::string_view Line) { return std::string(Split(Line).Key); }
std::string LineValue(std::string_view Line) { return std::string(Split(Line).Value); }

std::string LineField(std::string_view Line, int N) {
  const auto Parts = Split(Line);
  if (!Parts.HasEquals || N < 1) return {};
  std::string_view Value = Parts.Value;
  for (int I = 1; I < N; ++I) {
    const auto Blank = Value.find(' ');
    if (Blank == std::string_view::npos) return {};
    Value.remove_prefix(Blank + 1);
  }
  return std::string(Value.substr(0, Value.find(' ')));
}

bool IsScriptKey(std::string_view Key) { return KeyTable().count(Key) != 0; }

const std::vector<std::string_view>& ScriptKeys() {
  static const std::vector<std::string_view> Keys = [] {
    std::vector<std::string_view> Result;
    for (const auto& Entry : KeyTable()) Result.push_back(Entry.first);
    return Result;
  }();
  return Keys;
}

void TInstallInfo::LoadScript(std::string_view Bytes) {
  const auto Nul = Bytes.find('\0');
  if (Nul != std::string_view::npos) Bytes = Bytes.substr(0, Nul);
  Lines.clear();
  FText = Cp1251ToUtf8(Bytes);
  const std::string_view Text = FText;

  Lines.reserve(static_cast<std::size_t>(std::count(Text.begin(), Text.end(), '\n')) + 1);
  const std::size_t Size = Text.size();
  std::size_t From = 0;
  while (From < Size) {
    std::size_t End = From;
    while (End < Size && Text[End] != '\r' && Text[End] != '\n') ++End;
    Lines.push_back(Text.substr(From, End - From));
    if (End == Size) break;
    From = End + 1;
    if (Text[End] == '\r' && From < Size && Text[From] == '\n') ++From;
  }

  for (std::size_t I = 0; I < Lines.size(); ++I) {
    if (Lines[I].empty()) continue;
    FCurrentLine = static_cast<int>(I + 1);
    try {
      ParseLine(Lines[I]);
    } catch (const EConvertError& E) {
      FCurrentLine = 0;
      throw EScriptError(E.what(), static_cast<int>(I + 1));
    }
  }
  FCurrentLine = 0;
}

void TInstallInfo::SyncIndex() const {
  if (Groups.size() < FIndexedGroups) {
    FFirstGroup.clear();
    FLastGroup.clear();
    FIndexedGroups = 0;
  }
  for (; FIndexedGroups < Groups.size(); ++FIndexedGroups) {
    TGroupInfo* G = Groups[FIndexedGroups].get();
    FFirstGroup.emplace(G->ItemNo, G);
    FLastGroup[G->ItemNo] = G;
  }
  if (Files.size() < FIndexedFiles) {
    FFirstFile.clear();
    FIndexedFiles = 0;
  }
  for (; FIndexedFiles < Files.size(); ++FIndexedFiles) {
    TFileInfo* F = Files[FIndexedFiles].get();
    FFirstFile.emplace(F->ItemNo, F);
  }
}

TFileInfo* TInstallInfo::FindFile(std::int32_t ItemNo) {
  SyncIndex();
  const auto It = FFirstFile.find(ItemNo);
  return It == FFirstFile.end() ? nullptr : It->second;
}

void TInstallInfo::ParseRecordLine(int K, std::string_view Value) {
  SyncIndex();
  auto FirstGroup = [this](std::int32_t No) -> TGroupInfo* {
    const auto It = FFirstGroup.find(No);
    return It == FFirstGroup.end() ? nullptr : It->second;
  };
  switch (K) {
    case keyGroup: {
      const auto C = Columns<6>(Value);
      auto G = std::make_unique<TGroupInfo>();
      G->ItemNo = ScriptStrToInt(C[0]);
      G->ParentNo = ScriptStrToInt(C[1]);
      G->Hidden = Flag(C[2]);
      G->InTypical = Flag(C[3]);
      G->InMinimal = Flag(C[4]);
      G->FolderKind = LowByte(C[5]);
      G->State = gsSelected;
      G->LineNo = FCurrentLine;
      TGroupInfo* Added = G.get();
      Groups.push_back(std::move(G));
      SyncIndex();
      // The new group takes part in the search, so a group may name itself as its parent.
      Added->Parent = FirstGroup(Added->ParentNo);
      break;
    }
    case keyDir: {
      const auto C = Columns<6>(Value);
      auto D = std::make_unique<TDirInfo>();
      D->ItemNo = ScriptStrToInt(C[0]);
      D->ParentNo = ScriptStrToInt(C[1]);
      D->Register1C75 = Flag(C[2]);
      D->Register1C77 = Flag(C[3]);
      D->UnInstallWhole = Flag(C[4]);
      D->MakeShortcut = Flag(C[5]);
      D->LineNo = FCurrentLine;
      D->Group = FirstGroup(D->ParentNo);
      Dirs.push_back(std::move(D));
      break;
    }
    case keyFile: {
      const auto C = Columns<17>(Value);
      auto F = std::make_unique<TFileInfo>();
      F->ItemNo = ScriptStrToInt(C[0]);
      F->ParentNo = ScriptStrToInt(C[1]);
      F->RegisterDll = Flag(C[2]);
      F->RegisterExe = Flag(C[3]);
      F->DeleteAfter = Flag(C[4]);
      F->MakeShortcut = Flag(C[5]);
      F->CopyTo1C75 = Flag(C[6]);
      F->CopyTo1C77 = Flag(C[7]);
      F->CopyTo1C8 = Flag(C[8]);
      F->Size = ScriptStrToInt(C[9]);
      F->CheckVersion = Flag(C[10]);
      F->SharedFile = Flag(C[11]);
      F->Version = std::string(C[12]);
      F->RunAfter = Flag(C[13]);
      F->RunBefore = Flag(C[14]);
      F->RunOnUninstall = Flag(C[15]);
      F->Reserved17 = LowByte(C[16]);
      F->LineNo = FCurrentLine;
      F->Group = FirstGroup(F->ParentNo);
      Files.push_back(std::move(F));
      SyncIndex();
      break;
    }
    case keyDepend: {
      const auto C = Columns<2>(Value);
      const auto A = ScriptStrToInt(C[0]);
      const auto B = ScriptStrToInt(C[1]);
      const auto ItA = FLastGroup.find(A);
      const auto ItB = FLastGroup.find(B);
      if (ItA != FLastGroup.end() && ItB != FLastGroup.end()) ItA->second->Depends.push_back(ItB->second);
      break;
    }
    default:
      break;
  }
}

void TInstallInfo::ParseLine(std::string_view Line) {
  const auto Parts = Split(Line);
  if (!Parts.HasEquals) return;
  const auto& Table = KeyTable();
  const auto Found = Table.find(Parts.Key);
  if (Found == Table.end()) return;
  const std::string_view Value = Parts.Value;

  auto SetFlag = [&](bool& Field) { Field = ScriptBool(Value); };
  switch (Found->second) {
    case keyGroup:
    case keyDir:
    case keyFile:
    case keyDepend:
      ParseRecordLine(Found->second, Value);
      break;
    case keyGroupCaption:
      if (!Groups.empty()) Groups.back()->Caption = Value;
      break;
    case keyDirPath:
      if (!Dirs.empty()) Dirs.back()->Path = Value;
      break;
    case keyDirCfgName:
      if (!Dirs.empty()) Dirs.back()->CfgName = Value;
      break;
    case keyDirShortcut:
      if (!Dirs.empty()) Dirs.back()->Shortcut = Value;
      break;
    case keyFilePath:
      if (!Files.empty()) Files.back()->Path = Value;
      break;
    case keyFileShortcut:
      if (!Files.empty()) Files.back()->Shortcut = Value;
      break;
    case keyFileShortcutParams:
      if (!Files.empty()) Files.back()->ShortcutParams = Value;
      break;
    case keyFileRunParams:
      if (!Files.empty()) Files.back()->RunParams = Value;
      break;
    case keyFileRunParamsUninstall:
      if (!Files.empty()) Files.back()->UninstallRunParams = Value;
      break;
    case keyExePath: {
      auto E = std::make_unique<TExeInfo>();
      E->CommandLine = Value;
      ExePaths.push_back(std::move(E));
      break;
    }
    case keyDialog1S: SetFlag(Dialog1S); break;
    case keyDialogReadme: SetFlag(DialogReadme); break;
    case keyDialogLicense: SetFlag(DialogLicense); break;
    case keyDialogReboot: SetFlag(DialogReboot); break;
    case keyDialogGroup: SetFlag(DialogGroup); break;
    case keyUnInstall: SetFlag(UnInstall); break;
    case keyTypicalInstall: SetFlag(TypicalInstall); break;
    case keyCustomInstall: SetFlag(CustomInstall); break;
    case keyMinimalInstall: SetFlag(MinimalInstall); break;
    case keyFullInstall: SetFlag(FullInstall); break;
    case keySelectDirectoryFrom1C: SetFlag(SelectDirectoryFrom1C); break;
    case keyGroupUnInstallPath: GroupUnInstallPath = LowByte(Value); break;
    case keyGroupDirectory: GroupDirectory = LowByte(Value); break;
    case keyUnInstallPath:
      UnInstallInfo.ListFileName = Value;
      UnInstallPathLineNo = FCurrentLine;
      break;
    case keyProductId: UnInstallInfo.ProductID = Value; break;
    case keyNameFont: NameFont = Value; break;
    case keyDescription:
      Description = Value;
      UnInstallInfo.ProductName = Description;
      DescriptionLineNo = FCurrentLine;
      break;
    case keyGroupName:
      GroupName = Value;
      GroupNameLineNo = FCurrentLine;
      break;
    case keyDirectory:
      Directory = Value;
      DirectoryLineNo = FCurrentLine;
      break;
    case keyDownloadWebPage: DownloadWebPage = Value; break;
    case keyReadme: Readme.emplace_back(Value); break;
    case keyLicense: License.emplace_back(Value); break;
    case keyVersion:
    case keyPublisher:
    case keyUrlInfoAbout: UnInstallInfo.ProductTexts[Found->second - keyVersion] = Value; break;
    case keyNone: break;
  }
}

}  // namespace setup
