// The checks of `setupscript check`. The script is read with the program's own reader; the
// checks then look at the lines and records for what that reader would skip without a word.
#include <algorithm>
#include <map>
#include <unordered_map>

#include "ScriptTool.h"
#include "model/untData.h"
#include "system/Text.h"

namespace setup {
namespace {

std::string Quote(std::string_view S) { return "'" + std::string(S) + "'"; }
std::string Num(long long N) { return std::to_string(N); }

bool IsBlankOrTab(char C) { return C == ' ' || C == '\t'; }

std::string_view Trim(std::string_view S) {
  while (!S.empty() && IsBlankOrTab(S.front())) S.remove_prefix(1);
  while (!S.empty() && IsBlankOrTab(S.back())) S.remove_suffix(1);
  return S;
}

// Which record kind an attribute key belongs to ('G', 'D', 'F'), or 0.
char AttributeKind(std::string_view Key) {
  if (Key == "GROUPCAPTION") return 'G';
  if (Key == "DIRPATH" || Key == "DIRCFGNAME" || Key == "DIRSHORTCUT") return 'D';
  if (Key == "FILEPATH" || Key == "FILESHORTCUT" || Key == "FILESHORTCUTPARAMS" || Key == "FILERUNPARAMS" ||
      Key == "FILERUNPARAMSUNINSTALL")
    return 'F';
  return 0;
}

char RecordKind(std::string_view Key) {
  if (Key == "GROUP") return 'G';
  if (Key == "DIR") return 'D';
  if (Key == "FILE") return 'F';
  return 0;
}

const char* KindName(char Kind) { return Kind == 'G' ? "GROUP" : Kind == 'D' ? "DIR" : "FILE"; }

bool IsMultiOrSelfContained(std::string_view Key) {
  return Key == "README" || Key == "LICENSE" || Key == "DEPEND" || Key == "EXEPATH";
}

class Checker {
 public:
  explicit Checker(std::string_view Bytes) : FBytes(Bytes) {
    try {
      FInfo.LoadScript(Bytes);
    } catch (const EScriptError& E) {
      FStopLine = E.LineNo();
      FStopMessage = E.what();
    }
  }

  TCheckResult Run() {
    IndexRecords();
    ScanLines();
    CheckRecords();
    CheckEncoding();
    std::stable_sort(FResult.Issues.begin(), FResult.Issues.end(),
                     [](const TCheckIssue& A, const TCheckIssue& B) { return A.LineNo < B.LineNo; });
    return std::move(FResult);
  }

 private:
  std::string_view FBytes;

  void Add(int Line, bool Error, TCheckKind Kind, std::string Text) {
    FResult.Issues.push_back({Line, Error, Kind, std::move(Text)});
  }

  // The program reads the script in code page 1251, where a Russian letter in UTF-8 is two
  // other signs ("Рџ"): a file saved in UTF-8 would show garbled texts (mksetup converts such a
  // script; the resource must not be one). Told once, at its first line with two such letters
  // in a row, which no code page 1251 text has.
  void CheckEncoding() {
    const auto Letter = [this](std::size_t I) {
      return I + 1 < FBytes.size() && (FBytes[I] == '\xD0' || FBytes[I] == '\xD1') &&
             (static_cast<unsigned char>(FBytes[I + 1]) & 0xC0) == 0x80;
    };
    int LineNo = 1;
    for (std::size_t I = 0; I < FBytes.size(); ++I) {
      if (FBytes[I] == '\n' || (FBytes[I] == '\r' && (I + 1 == FBytes.size() || FBytes[I + 1] != '\n'))) ++LineNo;
      if ((I == 0 && FBytes.substr(0, 3) == "\xEF\xBB\xBF") || (Letter(I) && Letter(I + 2))) {
        Add(LineNo, true, TCheckKind::Utf8Text,
            "UTF-8 text: the program reads the script in code page 1251 and would show it garbled");
        return;
      }
    }
  }

  void IndexRecords() {
    for (const auto& G : FInfo.Groups) FGroupLines[G->ItemNo].push_back(G->LineNo);
    for (const auto& D : FInfo.Dirs) FDirLines.emplace(D->ItemNo, D->LineNo);
    for (const auto& F : FInfo.Files) FFileLines.emplace(F->ItemNo, F->LineNo);
  }

  // The line of the first group with that number, 0 when there is none.
  int FirstGroupLine(std::int32_t No) const {
    const auto It = FGroupLines.find(No);
    return It == FGroupLines.end() ? 0 : It->second.front();
  }

  void ScanLines() {
    const int LastLine = FStopLine ? FStopLine : static_cast<int>(FInfo.Lines.size());
    // The record each attribute kind currently attaches to: its line and item number.
    std::map<char, std::pair<int, std::int32_t>> Current;
    char LastRecordKind = 0;
    std::map<std::string, int> SetAt;  // key (with record line for attributes) -> line
    for (int LineNo = 1; LineNo <= LastLine; ++LineNo) {
      const std::string_view Line = FInfo.Lines[LineNo - 1];
      if (Trim(Line).empty()) continue;
      const auto Eq = Line.find('=');
      if (Eq == std::string_view::npos) {
        Add(LineNo, false, TCheckKind::NoEquals, "no '=' in the line; the line is ignored");
        continue;
      }
      const std::string Key = LineKey(Line);
      const std::string_view Written = Trim(Line.substr(0, Eq));
      const bool SpacingOk = Eq >= 1 && Line[Eq - 1] == ' ' && Key == Written &&
                             (Eq + 1 >= Line.size() || Line[Eq + 1] == ' ');
      if (!SpacingOk) {
        if (IsScriptKey(Key))
          Add(LineNo, false, TCheckKind::Spacing,
              "wrong spacing around '=': the program reads the key " + Quote(Key) + " and the value " +
                  Quote(LineValue(Line)) + "; write 'KEY = value'");
        else
          Add(LineNo, false, TCheckKind::Spacing,
              "wrong spacing around '=': the program reads the key " + Quote(Key) +
                  " and ignores the line; write " + Quote(std::string(Written) + " = value"));
        continue;
      }
      if (!IsScriptKey(Key)) {
        if (IsScriptKey(UpperAscii(Key)))
          Add(LineNo, false, TCheckKind::KeyCase,
              "key " + Quote(Key) + " must be written " + Quote(UpperAscii(Key)) + "; the line is ignored");
        else
          Add(LineNo, false, TCheckKind::UnknownKey, "unknown key " + Quote(Key) + "; the line is ignored");
        continue;
      }
      if (LineNo == FStopLine) break;  // reported with the records below

      if (const char R = RecordKind(Key)) {
        const auto No = FieldNumber(Line, 1);
        Current[R] = {LineNo, No};
        LastRecordKind = R;
        continue;
      }
      if (const char A = AttributeKind(Key)) {
        const auto It = Current.find(A);
        if (It == Current.end()) {
          Add(LineNo, false, TCheckKind::OrphanAttribute,
              Key + " before any " + KindName(A) + " record; the line is ignored");
          continue;
        }
        const auto [RecordLine, RecordNo] = It->second;
        if (LastRecordKind != A)
          Add(LineNo, false, TCheckKind::DistantAttribute,
              Key + " follows a " + KindName(LastRecordKind) + " record but sets " + KindName(A) + " " +
                  Num(RecordNo) + " of line " + Num(RecordLine));
        const std::string Slot = Key + "@" + Num(RecordLine);
        const auto Before = SetAt.find(Slot);
        if (Before != SetAt.end())
          Add(LineNo, false, TCheckKind::Overwritten,
              Key + " of " + KindName(A) + " " + Num(RecordNo) + " was already set at line " +
                  Num(Before->second) + "; this value replaces it");
        SetAt[Slot] = LineNo;
        continue;
      }
      if (Key == "DEPEND") {
        CheckDepend(LineNo, Line);
        continue;
      }
      if (!IsMultiOrSelfContained(Key)) {
        const auto Before = SetAt.find(Key);
        if (Before != SetAt.end())
          Add(LineNo, false, TCheckKind::Overwritten,
              Key + " was already set at line " + Num(Before->second) + "; this value replaces it");
        SetAt[Key] = LineNo;
      }
    }
    if (FStopLine) {
      const int Rest = static_cast<int>(FInfo.Lines.size()) - FStopLine;
      Add(FStopLine, true, TCheckKind::Conversion,
          FStopMessage + " The program shows this message and stops reading here" +
              (Rest > 0 ? "; the remaining " + Num(Rest) + " line(s) are not read" : std::string()) + ".");
    }
  }

  // A column of a line that converted when the program read it.
  static std::int32_t FieldNumber(std::string_view Line, int N) {
    std::int32_t Value = 0;
    TryScriptStrToInt(LineField(Line, N), Value);
    return Value;
  }

  void CheckDepend(int LineNo, std::string_view Line) {
    for (int Column = 1; Column <= 2; ++Column) {
      const auto No = FieldNumber(Line, Column);
      const int GroupLine = FirstGroupLine(No);
      if (GroupLine && GroupLine < LineNo) continue;
      const std::string Which = Column == 1 ? "DEPEND names" : "DEPEND's second column names";
      std::string Text;
      TCheckKind Kind;
      if (GroupLine) {
        Kind = TCheckKind::DependLater;
        Text = Which + " group " + Num(No) + ", which comes later (line " + Num(GroupLine) + ")";
      } else if (FDirLines.count(No) || FFileLines.count(No)) {
        Kind = TCheckKind::DependNotGroup;
        const bool IsDir = FDirLines.count(No) != 0;
        Text = Which + " " + (IsDir ? "DIR" : "FILE") + " record " + Num(No) + " (line " +
               Num(IsDir ? FDirLines.at(No) : FFileLines.at(No)) + "), not a group";
      } else {
        Kind = TCheckKind::DependMissing;
        Text = Which + " " + Num(No) + ", which no record has";
      }
      Add(LineNo, false, Kind, Text + "; the line has no effect");
    }
  }

  void CheckRecords() {
    std::unordered_map<std::int32_t, int> FirstGroup;
    for (const auto& G : FInfo.Groups) {
      const auto [It, New] = FirstGroup.emplace(G->ItemNo, G->LineNo);
      if (!New)
        Add(G->LineNo, false, TCheckKind::DuplicateGroup,
            "group number " + Num(G->ItemNo) + " is already used by the group of line " + Num(It->second) +
                "; parents and owners find the first of them, DEPEND the last");
      if (G->ParentNo != 0 && !G->Parent) {
        const int Later = FirstGroupLine(G->ParentNo);
        Add(G->LineNo, false, TCheckKind::ParentNotEarlier,
            "parent " + Num(G->ParentNo) + " of group " + Num(G->ItemNo) + " is no earlier group" +
                (Later ? " (it comes at line " + Num(Later) + ")" : std::string()) + "; the group becomes top-level");
      }
    }
    // Problems name their record by its line; find the owner number the same way.
    std::unordered_map<int, std::pair<const char*, std::int32_t>> Owners;
    for (const auto& D : FInfo.Dirs) Owners[D->LineNo] = {"DIR", D->ParentNo};
    for (const auto& F : FInfo.Files) Owners[F->LineNo] = {"FILE", F->ParentNo};
    for (const auto& P : FInfo.FindModelProblems()) {
      const auto Owner = Owners.find(P.LineNo);
      if (P.What == TModelProblem::mpOwnAncestor) {
        Add(P.LineNo, true, TCheckKind::Cycle,
            "group " + Num(P.ItemNo) + " is its own ancestor; the program refuses the script: " + P.Message);
        continue;
      }
      if (P.What == TModelProblem::mpDuplicateFile) {
        Add(P.LineNo, true, TCheckKind::DuplicateFile,
            "file number " + Num(P.ItemNo) + " is already used by the file of line " + Num(FFileLines.at(P.ItemNo)) +
                "; the cabinet entry " + Num(P.ItemNo) +
                " installs only that one, so the program refuses the script: " + P.Message);
        continue;
      }
      if (P.What == TModelProblem::mpLongName) {
        Add(P.LineNo, true, TCheckKind::LongName,
            "the product's name is longer than the 255 characters of a registry key's name, so its "
            "uninstall entry cannot be written; the program refuses the script: " + P.Message);
        continue;
      }
      if (P.What == TModelProblem::mpDotPath) {
        Add(P.LineNo, true, TCheckKind::DotPath,
            std::string(Owner == Owners.end() ? "a path" : Owner->second.first + std::string(" ") + Num(P.ItemNo)) +
                " has a '.' or '..' component, which leads out of its folder; the program refuses the script: " +
                P.Message);
        continue;
      }
      if (Owner == Owners.end()) continue;
      const auto [Kind, OwnerNo] = Owner->second;
      const int Later = FirstGroupLine(OwnerNo);
      Add(P.LineNo, true, TCheckKind::MissingOwner,
          std::string(Kind) + " " + Num(P.ItemNo) + " names group " + Num(OwnerNo) +
              " as its owner, but no such group comes before it" +
              (Later ? " (it comes at line " + Num(Later) + ")" : std::string()) +
              "; the program refuses the script: " + P.Message);
    }
  }

  TInstallInfo FInfo;
  int FStopLine = 0;
  std::string FStopMessage;
  std::unordered_map<std::int32_t, std::vector<int>> FGroupLines;
  std::unordered_map<std::int32_t, int> FDirLines, FFileLines;
  TCheckResult FResult;
};

}  // namespace

bool TCheckResult::Ok() const {
  return std::none_of(Issues.begin(), Issues.end(), [](const TCheckIssue& I) { return I.Error; });
}

TCheckResult CheckScript(std::string_view Bytes) { return Checker(Bytes).Run(); }

}  // namespace setup
